#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error_codes.h"

namespace platform {

std::string ErrorText(int error) {
  // The Windows numbers this layer answers for the outcomes callers compare
  // against have words of their own: strerror would read 80 as "Accessing
  // a corrupted shared library" and 183 as an unknown error. The layer
  // loads no libraries, so 80 is never ELIBBAD here; 2 is ENOENT either way.
  // It answers 3 for no outcome of its own (a missing folder reports the
  // errno met), so 3 keeps strerror's words.
  switch (error) {
    case 0:
      return std::string();
    case kErrorFileExists:
    case kErrorAlreadyExists:
      return std::strerror(EEXIST);
    case kErrorBadPathname:
      return "Not an absolute path";
    case kErrorNotRegularFile:
      return "Not a regular file";
    default:
      // strerror's buffer is shared; the launcher is single-threaded when
      // it asks.
      return std::strerror(error);
  }
}

}  // namespace platform
