#include "platform/running_program.h"

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;  // 260, terminator included
constexpr DWORD kLongestPath = 32768;

}  // namespace

int ExecutablePath(std::string* path) {
  path->clear();
  // GetModuleFileNameW truncates silently (answering the buffer size) when
  // the path does not fit; a longer buffer is tried before giving up, so a
  // deep install folder still yields the whole path.
  for (DWORD size = kPathBufferSize; size <= kLongestPath; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return win32::LastError();
    if (length < size) {
      *path = win32::Utf8(buffer.data(), length);
      return 0;
    }
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

std::string ApplicationNameOf(const std::string& executable_path) {
  const std::string::size_type slash = executable_path.find_last_of("\\/");
  std::string name =
      slash == std::string::npos ? executable_path : executable_path.substr(slash + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

void WriteStdErrLine(const std::string& text) {
  // WriteStdText ends the line with CR LF. A message that
  // cannot be written has nowhere else to go.
  (void)WriteStdText(StdStream::kError, text + "\n");
}

void PrepareProcess() {
  // A missing DLL or a crashed child must not leave a dialog waiting for a
  // user that a console launcher may not have.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace platform
