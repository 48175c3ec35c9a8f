#include <cstdlib>
#include <string>

#include "platform/system.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::string UserHomeFolder() {
  const char* profile = std::getenv("USERPROFILE");
  return profile != nullptr ? std::string(profile) : std::string();
}

char ClassPathSeparator() { return ';'; }

void PrepareProcess() {
  // A missing DLL or a crashed child must not leave a dialog waiting for a
  // user that a console launcher may not have.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace platform
