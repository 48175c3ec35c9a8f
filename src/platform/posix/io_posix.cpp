#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "platform/io.h"
#include "platform/posix/signals_posix.h"
#include "platform/signal_scope.h"

namespace platform {
namespace {

IoFaultHook g_fault_hook = nullptr;

// Where the relay's echo writes, and how.
struct EchoTarget {
  int fd = -1;
  bool can_stall = false;
  // A write answers EAGAIN instead of sleeping (a description of the
  // echo's own, or a socket written with MSG_DONTWAIT).
  bool nonblocking = false;
  bool socket = false;
};

int Fd(const Handle& handle) { return static_cast<int>(handle.get()); }

// -1 with errno set when the test hook refuses the call, else 0.
int Refused(IoCall call, std::size_t size) {
  if (g_fault_hook == nullptr) return 0;
  const int error = g_fault_hook(call, size);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

// Waits until fd is ready for events (or reports an error or hang-up,
// which the next call on it then shows). A parent that set O_NONBLOCK on
// our standard output and reads late must not lose the rest of the output.
void WaitUntil(int fd, short events) {
  struct pollfd entry = {fd, events, 0};
  ::poll(&entry, 1, -1);
}

// The relay's wait for one descriptor, which lets the scope's requests in.
// False when one came (or another signal's handler ran): the caller looks
// at the scope again before it waits on.
bool WaitLettingRequestsIn(int fd, short events) {
  struct pollfd entry = {fd, events, 0};
  return posix::PollLettingRequestsIn(&entry, 1, nullptr) >= 0 || errno != EINTR;
}

bool StopAsked(const ChildSignalScope* requests) {
  return requests != nullptr && requests->StopExitCode() != 0;
}

// Kinds of output that a reader can leave full for good. A file or
// /dev/null always takes a write in the end.
bool CanStall(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return true;
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
         (S_ISCHR(info.st_mode) && ::isatty(fd));
}

bool IsSocket(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

// A non-blocking open file description of the echo's own, for a terminal:
// room that poll reports in a terminal does not guarantee that a write of
// any size is taken. O_NONBLOCK on the description the launcher inherited
// would reach everyone who shares it: the shell, and a child that reads the
// same terminal. Reopening through /proc makes a new description of the
// same terminal. -1 when it cannot be made (no /proc, a terminal that hung
// up). Pipes keep their PIPE_BUF guarantee instead: a description of our
// own would hold the pipe open after our standard output is closed.
int OpenOwnNonBlocking(int fd) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int own = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (own < 0) return -1;
  struct stat inherited;
  struct stat reopened;
  // Only the very object the echo writes to will do.
  if (::fstat(fd, &inherited) != 0 || ::fstat(own, &reopened) != 0 ||
      inherited.st_dev != reopened.st_dev || inherited.st_ino != reopened.st_ino ||
      inherited.st_rdev != reopened.st_rdev) {
    ::close(own);
    return -1;
  }
  return own;
}

// Gives the requests a moment to come in, for an echo that refused a write
// although a wait had shown room: a terminal stopped by Ctrl-S reports
// room that it does not take.
void PauseLettingRequestsIn() {
  const struct timespec pause = {0, 20 * 1000 * 1000};
  (void)posix::PollLettingRequestsIn(nullptr, 0, &pause);  // EINTR is the point
}

// Writes the chunk onto the echo. False when the echo is to end: a write
// failed, or a request to stop came while it waited for room. A write on an
// echo that can stall never sleeps with the requests shut out: it goes
// through a non-blocking description of the echo's own, or a socket's
// MSG_DONTWAIT, and a refusal is waited out in ppoll with the requests let
// in. Without either, a pipe's guarantee is used: a write only after a
// wait has shown room, PIPE_BUF bytes at a time (a free buffer takes those
// whole).
bool Echo(const EchoTarget& echo, const char* data, std::size_t size,
          const ChildSignalScope* requests) {
  const bool guarded = echo.can_stall && !echo.nonblocking;
  int refusals = 0;
  while (size > 0) {
    if (StopAsked(requests)) return false;
    if (guarded && !WaitLettingRequestsIn(echo.fd, POLLOUT)) continue;
    const std::size_t piece = guarded && size > PIPE_BUF ? PIPE_BUF : size;
    ssize_t n = Refused(IoCall::kWrite, piece);
    if (n == 0) {
      n = echo.socket ? ::send(echo.fd, data, piece, MSG_DONTWAIT | MSG_NOSIGNAL)
                      : ::write(echo.fd, data, piece);
    }
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      refusals = 0;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Full, or standard output made non-blocking by the parent: wait for
      // room.
      if (++refusals > 1) {
        PauseLettingRequestsIn();
      } else {
        WaitLettingRequestsIn(echo.fd, POLLOUT);
      }
    } else if (n == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

// write(2) or writev(2) of the pieces, advanced over partial writes.
// 0 or the errno value of the write that failed.
int WritePieces(int fd, struct iovec* pieces, int count) {
  for (;;) {
    while (count > 0 && pieces->iov_len == 0) {
      ++pieces;
      --count;
    }
    if (count == 0) return 0;
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
    ssize_t n = Refused(IoCall::kWrite, total);
    if (n == 0) {
      n = count == 1 ? ::write(fd, pieces->iov_base, pieces->iov_len) : ::writev(fd, pieces, count);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        WaitUntil(fd, POLLOUT);
        continue;
      }
      return errno;
    }
    // Partial write: drop what was taken, piece by piece.
    for (std::size_t done = static_cast<std::size_t>(n); done > 0;) {
      const std::size_t step = done < pieces->iov_len ? done : pieces->iov_len;
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + step;
      pieces->iov_len -= step;
      done -= step;
      if (pieces->iov_len == 0) {
        ++pieces;
        --count;
      }
    }
  }
}

}  // namespace

int ReadSome(const Handle& handle, char* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  for (;;) {
    const ssize_t n = ::read(Fd(handle), buffer, size);
    if (n >= 0) {
      *count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int ReadAt(const Handle& file, std::uint64_t offset, char* buffer, std::size_t size,
           std::size_t* count) {
  *count = 0;
  while (*count < size) {
    const ssize_t n = ::pread(Fd(file), buffer + *count, size - *count,
                              static_cast<off_t>(offset + *count));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      *count = 0;
      return error;
    }
    if (n == 0) break;
    *count += static_cast<std::size_t>(n);
  }
  return 0;
}

int WriteAll(const Handle& handle, const char* data, std::size_t size) {
  struct iovec piece = {const_cast<char*>(data), size};
  return WritePieces(Fd(handle), &piece, 1);
}

int WriteAll(const Handle& handle, const char* head, std::size_t head_size, const char* rest,
             std::size_t rest_size) {
  struct iovec pieces[2] = {{const_cast<char*>(head), head_size},
                            {const_cast<char*>(rest), rest_size}};
  return WritePieces(Fd(handle), pieces, 2);
}

// A duplicate of descriptor 1, so that the relay's echo never depends on
// what later happens to descriptor 1 itself.
StdOutState GetStdOutput(Handle* out, int* error) {
  const int fd = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) {
    *error = errno;
    return StdOutState::kInvalid;
  }
  *out = Handle(fd);
  *error = 0;
  return StdOutState::kValid;
}

int GetStdInput(Handle* in) {
  const int fd = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return errno;
  *in = Handle(fd);
  return 0;
}

void CloseStdOutput(Handle* out) {
  if (!out->valid()) return;  // nothing was taken over
  // The relay has reported every failed echo already; descriptor 1 is
  // replaced below either way.
  (void)out->Close();
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return;
  if (null_fd != 1) {
    // dup2 leaves descriptor 1 open throughout: there is no moment at which
    // another thread's open could take it.
    ::dup2(null_fd, 1);
    ::close(null_fd);
  } else {
    ::fcntl(1, F_SETFD, 0);
  }
}

EchoingReader::EchoingReader(const Handle& source, const Handle* echo,
                             const ChildSignalScope* requests)
    : source_(source), echo_(echo), requests_(requests) {
  // Reads that find the pipe empty come back to the wait below, where a
  // request can end them.
  const int flags = ::fcntl(Fd(source_), F_GETFL);
  if (flags >= 0) ::fcntl(Fd(source_), F_SETFL, flags | O_NONBLOCK);
  if (echo_ != nullptr) {
    const int fd = Fd(*echo_);
    echo_can_stall_ = CanStall(fd);
    echo_socket_ = echo_can_stall_ && IsSocket(fd);
    if (echo_can_stall_ && ::isatty(fd)) own_echo_ = Handle(OpenOwnNonBlocking(fd));
  }
  if (requests_ != nullptr) posix::ShutRequestsOut();
}

EchoingReader::~EchoingReader() {
  if (requests_ != nullptr) posix::LetRequestsBackIn();
}

int EchoingReader::Next(char* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  if (requests_ != nullptr) {
    // Takes in a request that waits, so that it passes on to the child at
    // once also while the output streams and no wait is ever needed.
    const struct timespec now = {0, 0};
    (void)posix::PollLettingRequestsIn(nullptr, 0, &now);  // EINTR is the point
  }
  const int source = Fd(source_);
  bool source_ready = false;
  for (;;) {
    // Asked to stop once the child had ended: what the pipe still holds
    // reaches the log only, and an empty pipe ends the relay.
    const bool stop = StopAsked(requests_);
    if (stop) echo_ = nullptr;
    if (echo_ != nullptr && try_tee_) {
      ssize_t teed = Refused(IoCall::kTee, size);
      if (teed == 0) teed = ::tee(source, Fd(*echo_), size, SPLICE_F_NONBLOCK);
      if (teed == 0) return 0;  // every writer has closed the pipe: the end
      if (teed > 0) {
        // The duplicated bytes are still waiting in the pipe, and nobody
        // else reads it: take exactly those, so the echo and the log see
        // the same chunk.
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(teed)) {
          std::size_t n = 0;
          const int error =
              ReadSome(source_, buffer + got, static_cast<std::size_t>(teed) - got, &n);
          // What was read is handed over first; the next call meets the
          // failure again.
          if (error != 0 || n == 0) {
            *count = got;
            return got > 0 ? 0 : error;
          }
          got += n;
        }
        *count = got;
        return 0;
      }
      switch (errno) {
        case EINTR:
          break;
        case EAGAIN:
          // No data yet, or no room in the echo. A refusal once the source
          // showed data means the echo is full.
          if (!source_ready) {
            source_ready = WaitLettingRequestsIn(source, POLLIN);
          } else {
            source_ready = false;
            WaitLettingRequestsIn(Fd(*echo_), POLLOUT);
          }
          break;
        case EPIPE:
          echo_ = nullptr;  // nobody reads our output any more
          break;
        default:
          // EINVAL: standard output is not a pipe (or tee(2) is not offered
          // here). Anything else is met again, and reported, by read or
          // write.
          try_tee_ = false;
          break;
      }
      continue;
    }
    const ssize_t n = ::read(source, buffer, size);
    if (n >= 0) {
      if (n > 0 && echo_ != nullptr) {
        EchoTarget target;
        target.fd = own_echo_.valid() ? Fd(own_echo_) : Fd(*echo_);
        target.can_stall = echo_can_stall_;
        target.nonblocking = own_echo_.valid() || echo_socket_;
        target.socket = echo_socket_;
        if (!Echo(target, buffer, static_cast<std::size_t>(n), requests_)) echo_ = nullptr;
      }
      *count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN || stop) return errno;
    WaitLettingRequestsIn(source, POLLIN);
  }
}

void SetIoFaultHookForTesting(IoFaultHook hook) { g_fault_hook = hook; }

}  // namespace platform
