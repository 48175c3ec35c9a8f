#include "platform/folder_identity.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// What makes a folder itself, whatever the spelling that reached it: its
// file index on its volume, and that volume as its final path names it
// ("C:", "UNC\SRV\SHARE"). Under Wine a drive alias reports another volume
// serial number for the same folder, so the serial is not used.
struct FolderIdentity {
  std::uint64_t index = 0;
  std::string volume;
  std::string final_path;  // without the "\\?\" prefix
  bool operator==(const FolderIdentity& o) const {
    return index == o.index && lstrcmpiW(win32::Wide(volume).c_str(),
                                         win32::Wide(o.volume).c_str()) == 0;
  }
};

bool Identify(const std::string& path, FolderIdentity* id) {
  if (path.empty()) return false;
  // No access rights are needed to read the identity; backup semantics let
  // a folder be opened at all.
  HANDLE handle = ::CreateFileW(win32::Wide(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  wchar_t final_path[MAX_PATH * 4] = {};
  const bool ok =
      ::GetFileInformationByHandle(handle, &info) != FALSE &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      ::GetFinalPathNameByHandleW(handle, final_path, MAX_PATH * 4,
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) - 1 <
          MAX_PATH * 4 - 1;
  ::CloseHandle(handle);
  if (!ok) return false;
  std::string full = win32::Utf8(final_path, wcslen(final_path));
  if (full.compare(0, 4, "\\\\?\\") == 0) full.erase(0, 4);
  std::string volume;
  if (full.compare(0, 4, "UNC\\") == 0) {
    // UNC\server\share: the share is the volume.
    const std::size_t server_end = full.find('\\', 4);
    const std::size_t share_end =
        server_end == std::string::npos ? std::string::npos : full.find('\\', server_end + 1);
    volume = full.substr(0, share_end);
  } else {
    volume = full.substr(0, full.find('\\'));
  }
  id->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id->volume = volume;
  id->final_path = full;
  return true;
}

// The folder that holds a final path, or empty at its volume's root.
std::string Up(const std::string& final_path, const std::string& volume) {
  const std::size_t cut = final_path.find_last_of('\\');
  if (cut == std::string::npos || cut < volume.size() || cut + 1 == final_path.size()) {
    return std::string();  // the volume's root holds nothing above it
  }
  std::string up = final_path.substr(0, cut);
  if (up == volume) up += '\\';
  return up;
}

std::string WithPrefix(const std::string& final_path) {
  return final_path.compare(0, 4, "UNC\\") == 0 ? "\\\\?\\" + final_path : final_path;
}

}  // namespace

bool IsFileSystemRoot(const std::string& path) {
  FolderIdentity id;
  if (!Identify(path, &id)) return false;
  // The root of the volume that really holds the folder, whatever drive
  // letter, alias or "\\.\" spelling reached it.
  FolderIdentity root;
  return Identify(WithPrefix(id.volume + "\\"), &root) && root == id;
}

bool SameFolder(const std::string& a, const std::string& b) {
  FolderIdentity first;
  FolderIdentity second;
  return Identify(a, &first) && Identify(b, &second) && first == second;
}

bool HoldsFolder(const std::string& folder, const std::string& path) {
  FolderIdentity target;
  FolderIdentity here;
  if (!Identify(folder, &target) || !Identify(path, &here)) return false;
  for (std::string up = here.final_path; !up.empty(); up = Up(up, here.volume)) {
    FolderIdentity step;
    if (Identify(WithPrefix(up), &step) && step == target) return true;
  }
  return false;
}

}  // namespace platform
