#include <unistd.h>

#include <cerrno>

#include "platform/io.h"

namespace platform {
namespace {

int Fd(const Handle& handle) { return static_cast<int>(handle.get()); }

}  // namespace

long ReadSome(const Handle& handle, char* buffer, std::size_t size, int* error) {
  for (;;) {
    const ssize_t n = ::read(Fd(handle), buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) {
      *error = errno;
      return -1;
    }
  }
}

bool WriteAll(const Handle& handle, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(Fd(handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
