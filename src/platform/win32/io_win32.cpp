#include "platform/io.h"

#include <algorithm>

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr DWORD kLargestTransfer = 1u << 30;

}  // namespace

long ReadSome(const Handle& handle, char* buffer, std::size_t size, int* error) {
  DWORD read = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  if (!::ReadFile(win32::ToHandle(handle.get()), buffer, wanted, &read, nullptr)) {
    // ERROR_BROKEN_PIPE is the usual end of a child's output: every write
    // end is closed. It is reported as a failure like any other; callers
    // stop reading either way.
    *error = win32::LastError();
    return -1;
  }
  return static_cast<long>(read);
}

bool WriteAll(const Handle& handle, const char* data, std::size_t size) {
  HANDLE target = win32::ToHandle(handle.get());
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
    DWORD written = 0;
    if (!::WriteFile(target, data, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace platform
