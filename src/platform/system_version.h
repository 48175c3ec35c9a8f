// What system the launcher runs on: its version and whether a 32-bit
// process runs on a 64-bit system (WOW64).
#pragma once

namespace platform {

struct VersionInfo {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned sp_major = 0;
  unsigned sp_minor = 0;
};
// Windows: GetVersionExA with the extended record (size 156), then with the
// plain record (size 148, service pack fields stay 0). POSIX: the kernel
// release's major and minor numbers, service pack 0.
// Returns 0, or the system error code when the version cannot be read at
// all (*out unchanged).
[[nodiscard]] int QueryVersion(VersionInfo* out);

// Outcome of the WOW64 test (is this 32-bit process running on a 64-bit
// system?). An answer, not an error code: each failed step is its own
// outcome, which the caller reports by name, and none comes with a code
// worth showing. Windows: IsWow64Process looked up at run time in the loaded
// KERNEL32. POSIX: the pointer width of the process and the machine.
enum class Wow64Answer {
  kNoKernelHandle,  // the module "KERNEL32" is not loaded
  kNoProc,          // "IsWow64Process" is not exported
  kCallFailed,      // the call failed
  kWow64,           // 64-bit system
  kNative,          // 32-bit system
};
Wow64Answer QueryWow64();

// The operating system this build runs on. It names the configuration
// section only that system reads; POSIX builds answer kLinux.
enum class SystemKind { kWindows, kLinux };
SystemKind GetSystemKind();

}  // namespace platform
