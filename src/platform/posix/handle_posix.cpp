#include <unistd.h>

#include <cerrno>

#include "platform/handle.h"

namespace platform {

int CloseNative(std::intptr_t value) {
  // close() must not be retried on EINTR: the descriptor is gone either way
  // on Linux, and a retry could close a descriptor another thread reused.
  if (::close(static_cast<int>(value)) == 0 || errno == EINTR) return 0;
  return errno;
}

}  // namespace platform
