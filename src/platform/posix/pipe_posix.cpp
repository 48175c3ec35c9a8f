#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/pipe.h"

namespace platform {
namespace {

// A descriptor below 3 would be overwritten by the child's standard streams
// (it happens when the launcher itself was started with one of them closed),
// so pipe ends are moved above them.
int MoveAboveStdStreams(int fd) {
  if (fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

}  // namespace

int CreateChildPipe(Pipe* pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  const int read_end = MoveAboveStdStreams(fds[0]);
  const int read_error = errno;
  const int write_end = MoveAboveStdStreams(fds[1]);
  const int write_error = errno;
  if (read_end < 0 || write_end < 0) {
    if (read_end >= 0) ::close(read_end);
    if (write_end >= 0) ::close(write_end);
    return read_end < 0 ? read_error : write_error;
  }
  pipe->read = Handle(read_end);
  pipe->write = Handle(write_end);
  return 0;
}

int MakeNotInheritable(const Handle&) { return 0; }

}  // namespace platform
