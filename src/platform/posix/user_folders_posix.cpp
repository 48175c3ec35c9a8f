#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/user_folders.h"

namespace platform {

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

}  // namespace platform
