#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/environment.h"

namespace platform {

std::string GetEnvVar(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

int SetEnvVar(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0 ? 0 : errno;
}

int UnsetEnvVar(const std::string& name) { return ::unsetenv(name.c_str()) == 0 ? 0 : errno; }

}  // namespace platform
