#include "platform/user_folders.h"

#include <string>

#include "platform/environment.h"

namespace platform {

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

std::string UserHomeFolder() { return GetEnvVar("USERPROFILE"); }

}  // namespace platform
