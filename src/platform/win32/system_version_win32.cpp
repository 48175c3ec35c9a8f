#include "platform/system_version.h"

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

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace

int QueryVersion(VersionInfo* out) {
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
  if (!ok) return win32::LastError();
  out->major = info.dwMajorVersion;
  out->minor = info.dwMinorVersion;
  out->sp_major = info.wServicePackMajor;
  out->sp_minor = info.wServicePackMinor;
  return 0;
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

SystemKind GetSystemKind() { return SystemKind::kWindows; }

}  // namespace platform
