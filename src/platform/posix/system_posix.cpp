#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/signals_posix.h"
#include "platform/system.h"

namespace platform {

char PathSeparator() { return '/'; }
char ForeignSeparator() { return '\\'; }

std::string GetEnvVar(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool SetEnvVar(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnvVar(const std::string& name) { return ::unsetenv(name.c_str()) == 0; }

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::string ApplicationNameOf(const std::string& executable_path) {
  return executable_path.substr(executable_path.rfind('/') + 1);
}

bool QueryVersion(VersionInfo* out) {
  struct utsname name;
  if (::uname(&name) != 0) return false;
  unsigned major = 0;
  unsigned minor = 0;
  const char* p = name.release;
  while (*p >= '0' && *p <= '9') major = major * 10 + static_cast<unsigned>(*p++ - '0');
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') minor = minor * 10 + static_cast<unsigned>(*p++ - '0');
  }
  *out = VersionInfo{major, minor, 0, 0};
  return true;
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

std::string TempDirFromEnvironment() {
  for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
    std::string value = GetEnvVar(name);
    if (!value.empty()) return value;
  }
  return "/tmp";
}


std::string LocalAppDataRoot(const std::string& base, double /*major_version*/) {
  if (!base.empty()) return base + "/.local/share/";
  const std::string xdg = GetEnvVar("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg + "/";
  return UserHomeFolder() + "/.local/share/";
}

std::string UserHomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  // getpwuid_r: the single-threaded launcher could use getpwuid, but tests
  // call this from several threads.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(),
                   &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return std::string();
  }
  return found->pw_dir;
}

void WriteStdErrLine(const std::string& text) {
  std::string line = text + "\n";
  const char* p = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t n = ::write(2, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

char ClassPathSeparator() { return ':'; }

void PrepareProcess() {
  // A standard stream the launcher was started without would otherwise be
  // taken by the next file it opens (the lock file, the log), and the
  // child's output echoed there.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  // An echo to a closed pipe then fails with EPIPE, and the relay keeps
  // logging. A child gets SIGPIPE back as the launcher found it.
  posix::IgnoreBrokenPipe();
}

std::string SystemErrorText(int error) {
  // strerror's buffer is shared; the launcher is single-threaded when it asks.
  return error == 0 ? std::string() : std::string(std::strerror(error));
}

}  // namespace platform
