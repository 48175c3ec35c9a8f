#include "platform/append_file.h"
#include "platform/held_file.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

// The file was created (AppendMode::kNew) without FILE_SHARE_DELETE: while
// a handle of that open lives, nobody can delete it or rename it away.
int AppendFile::Hold(Handle* hold) const {
  if (!handle_.valid()) return ERROR_INVALID_HANDLE;
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), win32::ToHandle(handle_.get()),
                         ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return win32::LastError();
  }
  *hold = Handle(win32::FromHandle(copy));
  return 0;
}

int RemoveUnlessHeld(const std::string& path, bool* held) {
  *held = false;
  if (::DeleteFileW(win32::Wide(path).c_str())) return 0;
  const int error = win32::LastError();
  if (error != ERROR_SHARING_VIOLATION) return error;
  *held = true;
  return 0;
}

int LastWriteTime(const std::string& path, std::int64_t* time) {
  *time = 0;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(win32::Wide(path).c_str(), GetFileExInfoStandard, &data)) {
    return win32::LastError();
  }
  *time = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime)
                                     << 32) |
                                    data.ftLastWriteTime.dwLowDateTime);
  return 0;
}

}  // namespace platform
