#include <algorithm>

#include "platform/io.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr DWORD kLargestTransfer = 1u << 30;

IoFaultHook g_fault_hook = nullptr;

// WriteFile, or the error the test hook makes it fail with.
bool WriteOnce(HANDLE target, const char* data, DWORD size, DWORD* written, DWORD* error) {
  if (g_fault_hook != nullptr) {
    const int refused = g_fault_hook(IoCall::kWrite, size);
    if (refused != 0) {
      *error = static_cast<DWORD>(refused);
      return false;
    }
  }
  if (::WriteFile(target, data, size, written, nullptr)) {
    if (*written > 0) return true;
    // Nothing taken without a failure: the last error says nothing.
    *error = ERROR_WRITE_FAULT;
    return false;
  }
  *error = ::GetLastError();
  return false;
}

}  // namespace

int ReadSome(const Handle& handle, char* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  DWORD read = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  if (!::ReadFile(win32::ToHandle(handle.get()), buffer, wanted, &read, nullptr)) {
    // ERROR_BROKEN_PIPE is the usual end of a child's output: every write
    // end is closed. It is reported as a failure like any other; callers
    // stop reading either way.
    return win32::LastError();
  }
  *count = read;
  return 0;
}

int ReadAt(const Handle& file, std::uint64_t offset, char* buffer, std::size_t size,
           std::size_t* count) {
  *count = 0;
  while (*count < size) {
    OVERLAPPED at = {};
    const std::uint64_t position = offset + *count;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - *count, kLargestTransfer));
    if (!::ReadFile(win32::ToHandle(file.get()), buffer + *count, wanted, &read, &at)) {
      const int error = win32::LastError();
      if (error == ERROR_HANDLE_EOF) break;
      *count = 0;
      return error;
    }
    if (read == 0) break;
    *count += read;
  }
  return 0;
}

int WriteAll(const Handle& handle, const char* data, std::size_t size) {
  HANDLE target = win32::ToHandle(handle.get());
  // Consoles before Windows 8 take at most a few tens of kilobytes per
  // write and refuse more with ERROR_NOT_ENOUGH_MEMORY; the limit found is
  // kept for the rest of this call.
  DWORD limit = kLargestTransfer;
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, limit));
    DWORD written = 0;
    DWORD error = 0;
    if (!WriteOnce(target, data, piece, &written, &error)) {
      if (error != ERROR_NOT_ENOUGH_MEMORY || piece == 1) return static_cast<int>(error);
      limit = piece / 2;
      continue;
    }
    data += written;
    size -= written;
  }
  return 0;
}

int WriteAll(const Handle& handle, const char* head, std::size_t head_size, const char* rest,
             std::size_t rest_size) {
  if (const int error = WriteAll(handle, head, head_size)) return error;
  return WriteAll(handle, rest, rest_size);
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

int GetStdInput(Handle* in) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  HANDLE copy = nullptr;
  // A copy, so that the launcher's own handle is never closed through it.
  if (!::DuplicateHandle(::GetCurrentProcess(), input, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return win32::LastError();
  }
  *in = Handle(win32::FromHandle(copy));
  return 0;
}

void CloseStdOutput(Handle* out) {
  if (!out->valid()) return;
  // The process's own handle is closed; forgetting it as well keeps a later
  // GetStdHandle from answering a value the system may have given since to
  // another object (the log file).
  ::SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  // The relay has reported every failed echo already.
  (void)out->Close();
}

EchoingReader::EchoingReader(const Handle& source, const Handle* echo,
                             const ChildSignalScope* requests)
    : source_(source), echo_(echo), requests_(requests) {}

EchoingReader::~EchoingReader() = default;

int EchoingReader::Next(char* buffer, std::size_t size, std::size_t* count) {
  const int error = ReadSome(source_, buffer, size, count);
  if (*count > 0 && echo_ != nullptr && WriteAll(*echo_, buffer, *count) != 0) echo_ = nullptr;
  return error;
}

void SetIoFaultHookForTesting(IoFaultHook hook) { g_fault_hook = hook; }

}  // namespace platform
