#include <cstring>
#include <string>

#include "platform/error_codes.h"

namespace platform {

std::string ErrorText(int error) {
  // strerror's buffer is shared; the launcher is single-threaded when it asks.
  return error == 0 ? std::string() : std::string(std::strerror(error));
}

}  // namespace platform
