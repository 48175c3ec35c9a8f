#include "platform/system.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// The record sizes that GetVersionExA accepts; any other size fails with
// ERROR_INSUFFICIENT_BUFFER, so the structures must match them exactly.
constexpr DWORD kVersionRecordExSize = 156;
constexpr DWORD kVersionRecordPlainSize = 148;
static_assert(sizeof(OSVERSIONINFOEXA) == kVersionRecordExSize,
              "extended version record size");
static_assert(sizeof(OSVERSIONINFOA) == kVersionRecordPlainSize,
              "plain version record size");

constexpr DWORD kPathBufferSize = MAX_PATH;  // 260, terminator included
constexpr DWORD kLongestPath = 32768;

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace

char PathSeparator() { return '\\'; }
char ForeignSeparator() { return '/'; }

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
bool SetEnvVar(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  // The C runtime cannot hold an empty value (it removes the variable), so
  // an empty value removes it from the system's block too, as "set X=" does:
  // the launcher and its children must agree.
  if (value.empty()) return UnsetEnvVar(name);
  const std::wstring wide_name = win32::Wide(name);
  const std::wstring wide_value = win32::Wide(value);
  const bool crt_ok = _wputenv_s(wide_name.c_str(), wide_value.c_str()) == 0;
  const bool os_ok =
      ::SetEnvironmentVariableW(wide_name.c_str(), wide_value.c_str()) != FALSE;
  return crt_ok && os_ok;
}

bool UnsetEnvVar(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  const std::wstring wide_name = win32::Wide(name);
  // An empty value removes the variable from the C runtime's copy.
  const bool crt_ok = _wputenv_s(wide_name.c_str(), L"") == 0;
  // Removing a variable that is not set is not a failure.
  const bool os_ok = ::SetEnvironmentVariableW(wide_name.c_str(), nullptr) != FALSE ||
                     ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
  return crt_ok && os_ok;
}

std::string ApplicationNameOf(const std::string& executable_path) {
  const std::string::size_type slash = executable_path.find_last_of("\\/");
  std::string name =
      slash == std::string::npos ? executable_path : executable_path.substr(slash + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string ExecutablePath() {
  // GetModuleFileNameW truncates silently (answering the buffer size) when
  // the path does not fit; a longer buffer is tried before giving up, so a
  // deep install folder still yields the whole path.
  for (DWORD size = kPathBufferSize; size <= kLongestPath; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return std::string();
    if (length < size) return win32::Utf8(buffer.data(), length);
  }
  return std::string();
}

bool QueryVersion(VersionInfo* out) {
  OSVERSIONINFOEXA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = kVersionRecordExSize;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
  if (!ok) {
    // Systems before the extended record accept only the plain one; the
    // service-pack fields then keep the zeros written above.
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = kVersionRecordPlainSize;
    ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
  }
#pragma GCC diagnostic pop
  if (!ok) return false;
  out->major = info.dwMajorVersion;
  out->minor = info.dwMinorVersion;
  out->sp_major = info.wServicePackMajor;
  out->sp_minor = info.wServicePackMinor;
  return true;
}

Wow64Answer QueryWow64() {
  // Only the module already loaded into the process is asked: nothing is
  // loaded here, and IsWow64Process is looked up at run time because older
  // systems do not export it.
  HMODULE kernel = ::GetModuleHandleA("KERNEL32");
  if (kernel == nullptr) return Wow64Answer::kNoKernelHandle;
  FARPROC address = ::GetProcAddress(kernel, "IsWow64Process");
  if (address == nullptr) return Wow64Answer::kNoProc;
  // The detour through a plain function pointer type keeps GCC's
  // incompatible-function-cast warning quiet for this deliberate cast.
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void (*)()>(address));
  BOOL flag = FALSE;
  if (!is_wow64(::GetCurrentProcess(), &flag)) return Wow64Answer::kCallFailed;
  return flag ? Wow64Answer::kWow64 : Wow64Answer::kNative;
}

std::string TempDirFromEnvironment() {
  std::string value = GetEnvVar("TMP");
  if (value.empty()) value = GetEnvVar("TEMP");
  return value;
}

std::string LocalAppDataRoot(const std::string& base, double major_version) {
  std::string root = base.empty() ? GetEnvVar("USERPROFILE") : base;
  root += major_version < 6.0 ? "\\Local Settings\\Application Data\\"
                              : "\\AppData\\Local\\";
  return root;
}

void WriteStdErrLine(const std::string& text) {
  // WriteStdText ends the line with CR LF. A message that
  // cannot be written has nowhere else to go.
  (void)WriteStdText(StdStream::kError, text + "\n");
}

std::string UserHomeFolder() { return GetEnvVar("USERPROFILE"); }

char ClassPathSeparator() { return ';'; }

void PrepareProcess() {
  // A missing DLL or a crashed child must not leave a dialog waiting for a
  // user that a console launcher may not have.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::string SystemErrorText(int error) {
  if (error == 0) return std::string();
  // Wide: the system's text may be in a language the code page cannot hold.
  wchar_t buffer[512];
  const DWORD size = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(error), 0, buffer, 512, nullptr);
  std::string text = win32::Utf8(buffer, size);
  // The system's text ends in a period and CR LF.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace platform
