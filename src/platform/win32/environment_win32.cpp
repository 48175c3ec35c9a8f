#include "platform/environment.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::string GetEnvVar(const char* name) {
  const std::wstring wide_name = win32::Wide(name);
  std::vector<wchar_t> buffer(256, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), buffer.data(),
                                              static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    // Too small: the answer is the size needed, terminator included.
    if (n < buffer.size()) return win32::Utf8(buffer.data(), n);
    buffer.assign(n, L'\0');
  }
  return std::string();
}

// The C runtime keeps its own copies of the environment for getenv, while
// CreateProcessW hands children the system's block: both are updated so
// that the launcher, the runtime and its children see the same value.
int SetEnvVar(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return ERROR_INVALID_PARAMETER;
  // The C runtime cannot hold an empty value (it removes the variable), so
  // an empty value removes it from the system's block too, as "set X=" does:
  // the launcher and its children must agree.
  if (value.empty()) return UnsetEnvVar(name);
  const std::wstring wide_name = win32::Wide(name);
  const std::wstring wide_value = win32::Wide(value);
  const errno_t crt_error = _wputenv_s(wide_name.c_str(), wide_value.c_str());
  if (!::SetEnvironmentVariableW(wide_name.c_str(), wide_value.c_str())) return win32::LastError();
  // The runtime answers an errno value; the system's own code stands for it.
  return crt_error == 0 ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

int UnsetEnvVar(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return ERROR_INVALID_PARAMETER;
  const std::wstring wide_name = win32::Wide(name);
  // An empty value removes the variable from the C runtime's copy.
  const errno_t crt_error = _wputenv_s(wide_name.c_str(), L"");
  // Removing a variable that is not set is not a failure.
  if (!::SetEnvironmentVariableW(wide_name.c_str(), nullptr) &&
      ::GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
    return win32::LastError();
  }
  return crt_error == 0 ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace platform
