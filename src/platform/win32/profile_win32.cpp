#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// GetPrivateProfileStringW takes a DWORD size; a caller's size_t beyond it
// cannot be a real buffer.
DWORD ToDword(std::size_t size) {
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

// The service reads whatever the name opens and waits while it reads: a
// pipe or the console would hold the launcher for ever. The file is handed
// to it only once it has been opened, without waiting, as a regular file.
// A relative name is therefore looked for in the current folder, never in
// the Windows folder where the service would look. Opening costs far more
// than the lookup itself (2,000 numbered keys, each read several times), so
// a file once found regular is opened again only when its attributes, size
// or time of last write change; asking for those opens nothing.
bool IsReadableFile(const std::string& file) {
  static std::mutex lock;
  static std::map<std::string, WIN32_FILE_ATTRIBUTE_DATA> regular;
  WIN32_FILE_ATTRIBUTE_DATA now;
  if (!::GetFileAttributesExW(win32::Wide(file).c_str(), GetFileExInfoStandard, &now) ||
      (now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  std::lock_guard<std::mutex> guard(lock);
  const auto it = regular.find(file);
  if (it != regular.end() && now.dwFileAttributes == it->second.dwFileAttributes &&
      now.nFileSizeHigh == it->second.nFileSizeHigh &&
      now.nFileSizeLow == it->second.nFileSizeLow &&
      ::CompareFileTime(&now.ftLastWriteTime, &it->second.ftLastWriteTime) == 0) {
    return true;
  }
  Handle opened;
  if (OpenRegularFile(file, &opened, nullptr) != 0) return false;
  // A few files per run (configuration and master file); bounded all the
  // same for tools and tests that read many.
  if (regular.size() >= 16) regular.clear();
  regular[file] = now;
  return true;
}

}  // namespace

// The wide service reads an ANSI file through the ANSI code page and a
// UTF-16LE file as it is, so both give their characters; sizes and counts
// are in UTF-16 units, and the text handed back is UTF-8.
unsigned long ReadProfileString(const std::string& section, const std::string& key,
                                std::size_t size, const std::string& file,
                                std::string* value) {
  value->clear();
  if (!IsReadableFile(file)) return 0;
  // A one-unit scratch keeps the pointer valid for a zero size.
  std::vector<wchar_t> buffer(size == 0 ? 1 : size, L'\0');
  const DWORD count = ::GetPrivateProfileStringW(
      win32::Wide(section).c_str(), win32::Wide(key).c_str(), nullptr, buffer.data(),
      ToDword(size), win32::Wide(file).c_str());
  if (count > 0 && count < buffer.size()) {
    // A value cut at the buffer's end inside a surrogate pair keeps only
    // whole characters: the lone first half is dropped, never written.
    const wchar_t last = buffer[count - 1];
    const bool cut_pair = count + 1 == buffer.size() && last >= 0xD800 && last <= 0xDBFF;
    *value = win32::Utf8(buffer.data(), cut_pair ? count - 1 : count);
  }
  return count;
}

unsigned long ReadProfileKeyNames(const std::string& section, std::size_t size,
                                  const std::string& file, std::string* names) {
  names->clear();
  if (!IsReadableFile(file)) return 0;
  std::vector<wchar_t> buffer(size == 0 ? 1 : size, L'\0');
  // A null key asks for the section's key names. Under Wine a cut list
  // leaves the buffer's last unit unwritten, so only `count` units are
  // taken, never a walk to a double NUL. The NULs between names convert
  // to NUL bytes.
  const DWORD count = ::GetPrivateProfileStringW(win32::Wide(section).c_str(), nullptr, nullptr,
                                                 buffer.data(), ToDword(size),
                                                 win32::Wide(file).c_str());
  if (count > 0 && count <= buffer.size()) *names = win32::Utf8(buffer.data(), count);
  return count;
}

}  // namespace platform
