#include "platform/process.h"

#include <algorithm>

#include "platform/win32/windows_api.h"

namespace platform {

namespace {

constexpr DWORD kLargestTransfer = 1u << 30;

}  // namespace

int CreateChildPipe(Pipe* pipe) {
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof attributes;  // 12
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &attributes, 0)) {
    return win32::LastError();
  }
  pipe->read = Handle(win32::FromHandle(read_end));
  pipe->write = Handle(win32::FromHandle(write_end));
  return 0;
}

int MakeNotInheritable(const Handle& handle) {
  if (!::SetHandleInformation(win32::ToHandle(handle.get()),
                              HANDLE_FLAG_INHERIT, 0)) {
    return win32::LastError();
  }
  return 0;
}

StdOutState GetStdOutput(Handle* out, int* error) {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == INVALID_HANDLE_VALUE) {
    *error = win32::LastError();
    return StdOutState::kInvalid;
  }
  if (output == nullptr) {
    // No standard output attached (a process started without one).
    *error = win32::LastError();
    return StdOutState::kNull;
  }
  *error = 0;
  *out = Handle(win32::FromHandle(output));
  return StdOutState::kValid;
}

long ReadSome(const Handle& handle, char* buffer, std::size_t size,
              int* error) {
  DWORD read = 0;
  const DWORD wanted =
      static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  if (!::ReadFile(win32::ToHandle(handle.get()), buffer, wanted, &read,
                  nullptr)) {
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
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
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
