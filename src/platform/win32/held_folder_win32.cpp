#include "platform/held_folder.h"

#include <cwchar>

#include "platform/java_places.h"
#include "platform/win32/file_stamp.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// The folder is held without sharing its deletion: while it is open, no
// one can remove or rename it, nor put a junction in its place. A junction
// or link found there is opened as itself, not followed.
int OpenHeldFolder(const std::string& path, Handle* folder, std::string* why) {
  why->clear();
  Handle opened(win32::FromHandle(::CreateFileW(
      win32::Wide(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!opened.valid()) return win32::LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(win32::ToHandle(opened.get()), &info)) {
    return win32::LastError();
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *why = "it is not a folder";
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *why = "it is a link to another place";
  } else {
    // Access lists are not judged (see OthersMayChange).
    const int error = OthersMayChange(opened, why);
    if (error != 0) return error;
  }
  *folder = std::move(opened);
  return 0;
}

}  // namespace

int HeldFolder::Open(const std::string& path, std::string* why) {
  if (!IsAbsolutePath(path)) return kErrorBadPathname;
  const int error = OpenHeldFolder(path, &handle_, why);
  if (error == 0) path_ = path;
  return error;
}

int HeldFolder::OpenChild(const std::string& name, HeldFolder* child, std::string* why) const {
  const std::string path = PathOf(name);
  if (!::CreateDirectoryW(win32::Wide(path).c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return win32::LastError();
  }
  const int error = OpenHeldFolder(path, &child->handle_, why);
  if (error == 0) child->path_ = path;
  return error;
}

std::string HeldFolder::PathOf(const std::string& name) const { return path_ + "\\" + name; }

int HeldFolder::CreateNew(const std::string& name, Handle* file) const {
  // Not sharing deletion: the file cannot be removed while it is written.
  *file = Handle(win32::FromHandle(::CreateFileW(
      win32::Wide(PathOf(name)).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  return file->valid() ? 0 : win32::LastError();
}

int HeldFolder::OpenFile(const std::string& name, Handle* file, FileStamp* stamp) const {
  Handle opened(win32::FromHandle(::CreateFileW(
      win32::Wide(PathOf(name)).c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!opened.valid()) return win32::LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(win32::ToHandle(opened.get()), &info)) {
    return win32::LastError();
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      ::GetFileType(win32::ToHandle(opened.get())) != FILE_TYPE_DISK) {
    return kErrorNotRegularFile;
  }
  if (stamp != nullptr) *stamp = win32::StampOfInfo(info);
  *file = std::move(opened);
  return 0;
}

int HeldFolder::OpenLockFile(const std::string& name, Handle* file) const {
  *file = Handle(win32::FromHandle(::CreateFileW(
      win32::Wide(PathOf(name)).c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!file->valid()) return win32::LastError();
  if (::GetFileType(win32::ToHandle(file->get())) != FILE_TYPE_DISK) {
    (void)file->Close();
    return kErrorNotRegularFile;
  }
  return 0;
}

int HeldFolder::Rename(const std::string& from, const std::string& to) const {
  if (!::MoveFileExW(win32::Wide(PathOf(from)).c_str(), win32::Wide(PathOf(to)).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return win32::LastError();
  }
  return 0;
}

int HeldFolder::Remove(const std::string& name) const {
  return ::DeleteFileW(win32::Wide(PathOf(name)).c_str()) ? 0 : win32::LastError();
}

std::vector<std::string> HeldFolder::List() const { return ListFolder(path_); }

int HeldFolder::SyncFileIn(const std::string& name) const {
  const std::wstring path = win32::Wide(PathOf(name));
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    (void)::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  Handle file(win32::FromHandle(::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!file.valid()) return win32::LastError();
  return ::FlushFileBuffers(win32::ToHandle(file.get())) ? 0 : win32::LastError();
}

int HeldFolder::Sync() const { return 0; }

int ReadAt(const Handle& file, std::int64_t offset, char* buffer, std::size_t size,
           std::size_t* count) {
  *count = 0;
  OVERLAPPED at;
  ZeroMemory(&at, sizeof at);
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD read = 0;
  if (!::ReadFile(win32::ToHandle(file.get()), buffer, static_cast<DWORD>(size), &read, &at)) {
    const int error = win32::LastError();
    return error == ERROR_HANDLE_EOF ? 0 : error;
  }
  *count = read;
  return 0;
}

int TryLockFile(const Handle& file) {
  // Far beyond any end: a lock on a byte range keeps others from writing
  // it, and the holder's runtime writes the file from its start.
  OVERLAPPED at;
  ZeroMemory(&at, sizeof at);
  at.OffsetHigh = 0x7FFFFFFF;
  if (::LockFileEx(win32::ToHandle(file.get()), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                   0, 1, 0, &at)) {
    return 0;
  }
  const int error = win32::LastError();
  return error == ERROR_LOCK_VIOLATION ? kErrorBusy : error;
}

}  // namespace platform
