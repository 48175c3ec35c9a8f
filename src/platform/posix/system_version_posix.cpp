#include <sys/utsname.h>

#include <cerrno>
#include <string>

#include "platform/system_version.h"

namespace platform {

int QueryVersion(VersionInfo* out) {
  struct utsname name;
  if (::uname(&name) != 0) return errno;
  unsigned major = 0;
  unsigned minor = 0;
  const char* p = name.release;
  while (*p >= '0' && *p <= '9') major = major * 10 + static_cast<unsigned>(*p++ - '0');
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') minor = minor * 10 + static_cast<unsigned>(*p++ - '0');
  }
  *out = VersionInfo{major, minor, 0, 0};
  return 0;
}

Wow64Answer QueryWow64() {
  // The question a 32-bit launcher asks on Windows is whether the system is
  // 64-bit; here the machine name answers it for every pointer width.
  struct utsname name;
  if (::uname(&name) != 0) return Wow64Answer::kCallFailed;
  const std::string machine = name.machine;
  static const char* const k64BitMachines[] = {"x86_64", "aarch64", "ppc64", "ppc64le",
                                               "s390x", "riscv64", "mips64", "sparc64",
                                               "loongarch64"};
  for (const char* m : k64BitMachines) {
    if (machine == m) return Wow64Answer::kWow64;
  }
  return sizeof(void*) == 8 ? Wow64Answer::kWow64 : Wow64Answer::kNative;
}

SystemKind GetSystemKind() { return SystemKind::kLinux; }

}  // namespace platform
