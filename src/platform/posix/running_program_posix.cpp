#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/signals_posix.h"
#include "platform/running_program.h"

namespace platform {

int ExecutablePath(std::string* path) {
  path->clear();
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n < 0) return errno;
  path->assign(buffer, static_cast<std::size_t>(n));
  return 0;
}

std::string ApplicationNameOf(const std::string& executable_path) {
  return executable_path.substr(executable_path.rfind('/') + 1);
}

void WriteStdErrLine(const std::string& text) {
  std::string line = text + "\n";
  const char* p = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t n = ::write(2, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void PrepareProcess() {
  // A standard stream the launcher was started without would otherwise be
  // taken by the next file it opens (the lock file, the log), and the
  // child's output echoed there.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  // An echo to a closed pipe then fails with EPIPE, and the relay keeps
  // logging. A child gets SIGPIPE back as the launcher found it.
  posix::IgnoreBrokenPipe();
}

}  // namespace platform
