#include "platform/append_file.h"
#include "platform/io.h"
#include "platform/win32/windows_api.h"

namespace platform {

AppendFile AppendFile::Open(const std::string& path) {
  // FILE_APPEND_DATA alone makes every write land at the current end, also
  // when another process appends to the same file; sharing read, write and
  // delete lets viewers and other launchers keep the file open meanwhile.
  // No security attributes: the handle is not inherited by children.
  HANDLE file = ::CreateFileA(
      path.c_str(), FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  AppendFile result;
  if (file != INVALID_HANDLE_VALUE) result.handle_ = Handle(win32::FromHandle(file));
  return result;
}

bool AppendFile::Write(const char* data, std::size_t size) {
  return is_open() && WriteAll(handle_, data, size);
}

}  // namespace platform
