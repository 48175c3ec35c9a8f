#include <unistd.h>

#include <cerrno>

#include "platform/handle.h"

namespace platform {

bool CloseNative(std::intptr_t value) {
  // close() must not be retried on EINTR: the descriptor is gone either way
  // on Linux, and a retry could close a descriptor another thread reused.
  const int rc = ::close(static_cast<int>(value));
  return rc == 0 || errno == EINTR;
}

}  // namespace platform
