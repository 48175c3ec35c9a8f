#include "platform/registry.h"

#include <string>
#include <vector>

namespace platform {

bool HasRegistry() { return false; }

std::vector<std::string> RegistrySubkeys(const std::string&, RegistryView) { return {}; }

std::string RegistryString(const std::string&, const std::string&, RegistryView) {
  return std::string();
}

}  // namespace platform
