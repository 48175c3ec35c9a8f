#include "platform/fs.h"

#include <io.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/handle.h"
#include "platform/io.h"
#include "platform/win32/long_path.h"
#include "platform/win32/file_stamp.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;  // 260, terminator included

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasDrivePrefix(const std::string& path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

}  // namespace

int CreateDirectoryTree(const std::string& path) {
  // Nearly every run asks for folders that exist already. The shell answers
  // 183 for any existing entry of a full path, so that answer is given here
  // without loading shell32; paths with "/" are left to the shell, which
  // reads them by rules of its own.
  if (IsAbsolutePath(path) && path.find('/') == std::string::npos &&
      ::GetFileAttributesW(win32::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
    return kErrorAlreadyExists;
  }
  using CreateTree = int(WINAPI*)(HWND, LPCWSTR, const SECURITY_ATTRIBUTES*);
  static const CreateTree create =
      win32::LateBound<CreateTree>("shell32.dll", "SHCreateDirectoryExW");
  if (create == nullptr) return static_cast<int>(ERROR_PROC_NOT_FOUND);
  // The shell call answers the error code itself (GetLastError after it is
  // not meaningful), including 161 for empty and relative paths.
  return create(nullptr, win32::Wide(path).c_str(), nullptr);
}

PathKind GetPathKind(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
  // INVALID_FILE_ATTRIBUTES has every bit set, the directory bit included,
  // so it must be ruled out before the bit is looked at.
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory
                                                      : PathKind::kFile;
}

std::string WhyNotRunnable(const std::string& path) {
  const std::wstring wide = win32::Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "it does not exist";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "it is not a regular file";
  const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "it cannot be read";
  const Handle owner(win32::FromHandle(file));
  // A device or pipe of that name is not an image the loader would map.
  if (::GetFileType(file) != FILE_TYPE_DISK) return "it is not a regular file";
  char magic[2] = {0, 0};
  DWORD got = 0;
  if (!::ReadFile(file, magic, sizeof magic, &got, nullptr)) return "it cannot be read";
  if (got == 0) return "it is empty";
  // Every image CreateProcess starts begins with the DOS header's "MZ".
  if (got < sizeof magic || magic[0] != 'M' || magic[1] != 'Z') {
    return "it is not an executable image";
  }
  return std::string();
}

bool PathExists(const std::string& path) {
  return _waccess(win32::Wide(path).c_str(), 0) == 0;
}

bool IsPlainFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotPlain) == 0;
}

int GetCurrentDir(std::string* dir) {
  dir->clear();
  std::vector<wchar_t> buffer(kPathBufferSize, L'\0');
  DWORD length = ::GetCurrentDirectoryW(kPathBufferSize, buffer.data());
  if (length == 0) return win32::LastError();
  if (length >= kPathBufferSize) {
    // Too long for the usual buffer: the answer is the size needed,
    // terminator included. Read it whole rather than report a failure.
    buffer.assign(length, L'\0');
    length = ::GetCurrentDirectoryW(length, buffer.data());
    if (length == 0) return win32::LastError();
    // It changed meanwhile and grew again.
    if (length >= buffer.size()) return ERROR_FILENAME_EXCED_RANGE;
  }
  *dir = win32::Utf8(buffer.data(), length);
  return 0;
}

int SetCurrentDir(const std::string& path) {
  std::wstring wide = win32::Wide(path);
  // The current folder, and a child's start folder with it, is bound to
  // MAX_PATH less its terminator and a final separator: a folder deeper
  // than that (an application installed deep in a user's folder) is
  // entered by its short form, whose 8.3 names keep it within the bound.
  if (win32::FullPath(wide).size() > MAX_PATH - 2) {
    std::wstring short_form;
    if (win32::ShortPath(win32::OpenablePath(path), &short_form) == 0) {
      if (short_form.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        short_form = L"\\\\" + short_form.substr(8);
      } else if (short_form.rfind(L"\\\\?\\", 0) == 0) {
        short_form = short_form.substr(4);
      }
      if (short_form.size() <= MAX_PATH - 2) wide = short_form;
    }
  }
  return ::SetCurrentDirectoryW(wide.c_str()) ? 0 : win32::LastError();
}

int FullPathName(const std::string& path, std::string* full) {
  full->clear();
  if (path.empty()) return kErrorBadPathname;
  // Not bound to MAX_PATH: an application may be installed deeper.
  const std::wstring wide = win32::FullPath(win32::Wide(path));
  if (wide.empty()) {
    const int error = win32::LastError();
    return error != 0 ? error : ERROR_FILENAME_EXCED_RANGE;
  }
  *full = win32::Utf8(wide);
  return 0;
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t RootLength(const std::string& path) {
  if (HasDrivePrefix(path)) return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 0;
  if (path.size() < 2 || !IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) return 0;
  // "\\server\share\": the root ends after the share's name. "\\.\C:\" is
  // read the same way, with "." as the server and "C:" as the share.
  std::size_t i = 2;
  for (int part = 0; part < 2; ++part) {
    const std::size_t start = i;
    while (i < path.size() && !IsPathSeparator(path[i])) ++i;
    if (i == start) return 0;
    if (part == 0 && i == path.size()) return 0;  // a server without a share
    if (i < path.size()) ++i;
  }
  return i;
}

bool IsRootedPath(const std::string& path) {
  return HasDrivePrefix(path) || (!path.empty() && IsPathSeparator(path[0]));
}

bool IsAbsolutePath(const std::string& path) { return RootLength(path) != 0; }

std::string FindEntry(const std::string& path) {
  // A directory search matches names only: a name that ends in a separator
  // has an empty last part and names nothing.
  if (path.empty() || IsPathSeparator(path.back())) return std::string();
  // The caller goes on to delete what is found, so a pattern must not stand
  // for whichever entry happens to match first ("C:\*" would name the
  // first folder of the drive).
  if (path.find_first_of("*?") != std::string::npos) return std::string();
  // Resolving first folds "." and ".." into the folder they name, so the
  // search never answers with a "." entry; a path that resolves to a root
  // ("C:\.") keeps its trailing separator and, like a root in a search,
  // finds nothing.
  std::string full;
  if (FullPathName(path, &full) != 0) return std::string();
  const std::size_t cut = full.find_last_of("\\/");
  if (cut == std::string::npos || cut + 1 == full.size()) return std::string();
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(win32::Wide(full).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::string();
  ::FindClose(search);
  // The found name replaces the last part, so its letter case is the one
  // on disk.
  return full.substr(0, cut + 1) + win32::Utf8(found.cFileName, wcslen(found.cFileName));
}

int WriteWholeFile(const std::string& path, const std::string& bytes,
                    bool executable) {
  // CREATE_NEW: an entry that appeared since the caller chose the name is
  // never overwritten. Windows has no execute bit; `executable` is unused.
  const std::wstring wide_path = win32::Wide(path);
  Handle file(win32::FromHandle(::CreateFileW(wide_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.valid()) return win32::LastError();
  int error = WriteAll(file, bytes.data(), bytes.size());
  const int close_error = file.Close();
  if (error == 0) error = close_error;
  if (error == 0) return 0;
  // A cut-off file must not stay behind: a script that ends inside a path
  // could name a folder above the one meant.
  ::DeleteFileW(wide_path.c_str());
  return error;
}

namespace win32 {

FileStamp StampOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStamp stamp;
  stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                         info.nFileSizeLow);
  const std::uint64_t written =
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime;
  stamp.written_sec = static_cast<std::int64_t>(written / 10000000u);
  stamp.written_nsec = static_cast<std::int64_t>(written % 10000000u) * 100;
  stamp.id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return stamp;
}

}  // namespace win32

int OpenRegularFile(const std::string& path, Handle* file, FileStamp* stamp) {
  // Backup semantics let a folder be opened too, so that it is told apart
  // from a file that may not be read; sharing everything keeps the file
  // usable by whoever else has it open.
  Handle opened(win32::FromHandle(::CreateFileW(
      win32::OpenablePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (!opened.valid()) return win32::LastError();
  const HANDLE handle = win32::ToHandle(opened.get());
  // A pipe, the console or another device: reading it could wait for ever.
  if (::GetFileType(handle) != FILE_TYPE_DISK) return kErrorNotRegularFile;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return win32::LastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kErrorNotRegularFile;
  if (stamp != nullptr) *stamp = win32::StampOfInfo(info);
  *file = std::move(opened);
  return 0;
}

std::string WhyNotPrivateFolder(const std::string& folder) {
  const int created = CreateDirectoryTree(folder);
  if (created != 0 && created != ERROR_ALREADY_EXISTS) return ErrorText(created);
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorText(win32::LastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "it is not a folder";
  // A junction or link would send what is written there elsewhere.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "it is a link to another place";
  return std::string();
}

int OthersMayChange(const Handle& /*file*/, std::string* why) {
  // Access lists say who may write, and no rule as simple as owner and mode
  // bits reads them; a file in the user's own profile is the user's.
  why->clear();
  return 0;
}

bool IsRootPath(const std::string& path) {
  // A lone separator is the current drive's root, and "C:" the drive.
  if (path.size() == 1) return IsPathSeparator(path[0]);
  if (path.size() == 2 && HasDrivePrefix(path)) return true;
  const std::size_t root = RootLength(path);
  return root != 0 && root == path.size();
}

}  // namespace platform

namespace platform {

int ShortPathName(const std::string& path, std::string* short_path) {
  std::wstring wide;
  const int error = win32::ShortPath(win32::Wide(path), &wide);
  if (error == 0) *short_path = win32::Utf8(wide);
  return error;
}

char PathSeparator() { return '\\'; }
char ForeignSeparator() { return '/'; }

}  // namespace platform
