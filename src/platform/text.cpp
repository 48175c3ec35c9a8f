#include "platform/text.h"

#include <cstdio>

namespace platform {

std::string CodePointName(char32_t code_point) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04lX", static_cast<unsigned long>(code_point));
  return buffer;
}

}  // namespace platform
