#include "platform/append_file.h"
#include "platform/io.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

int AppendFile::Open(const std::string& path, AppendMode mode, AppendFile* file) {
  *file = AppendFile();
  // FILE_APPEND_DATA alone makes every write land at the current end, also
  // when another process appends to the same file; sharing read, write and
  // delete lets viewers and other launchers keep the file open meanwhile.
  // No security attributes: the handle is not inherited by children.
  // FILE_READ_ATTRIBUTES: for Size. A new file of the launcher's own does
  // not share its deletion: Hold keeps this open alive for the launch, so
  // that another launch's "logkeep" cannot remove the log meanwhile.
  const DWORD share = mode == AppendMode::kNew
                          ? FILE_SHARE_READ | FILE_SHARE_WRITE
                          : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = ::CreateFileW(
      win32::Wide(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share, nullptr,
      mode == AppendMode::kNew ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastError();
  file->handle_ = Handle(win32::FromHandle(handle));
  return 0;
}

int AppendFile::Write(const char* data, std::size_t size) {
  return handle_.valid() ? WriteAll(handle_, data, size) : ERROR_INVALID_HANDLE;
}

int AppendFile::Write(const char* head, std::size_t head_size, const char* rest,
                      std::size_t rest_size) {
  return handle_.valid() ? WriteAll(handle_, head, head_size, rest, rest_size)
                         : ERROR_INVALID_HANDLE;
}

int AppendFile::Size(std::uint64_t* size) const {
  *size = 0;
  if (!handle_.valid()) return ERROR_INVALID_HANDLE;
  HANDLE handle = win32::ToHandle(handle_.get());
  // A pipe or a device has no size to speak of.
  if (::GetFileType(handle) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER bytes;
  if (!::GetFileSizeEx(handle, &bytes)) return win32::LastError();
  *size = static_cast<std::uint64_t>(bytes.QuadPart);
  return 0;
}

}  // namespace platform
