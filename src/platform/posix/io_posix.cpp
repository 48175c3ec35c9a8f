#include <fcntl.h>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/io.h"

namespace platform {
namespace {

IoFaultHook g_fault_hook = nullptr;

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
// A signal ends the wait early, so that the caller looks again at what the
// handler may have changed.
void WaitUntil(int fd, short events) {
  struct pollfd entry = {fd, events, 0};
  ::poll(&entry, 1, -1);
}

bool NonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) != 0;
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

long EchoingReader::Next(char* buffer, std::size_t size, int* error) {
  while (echo_ != nullptr && try_tee_) {
    ssize_t teed = Refused(IoCall::kTee, size);
    if (teed == 0) teed = ::tee(Fd(source_), Fd(*echo_), size, 0);
    if (teed == 0) return 0;  // every writer has closed the pipe
    if (teed > 0) {
      // The duplicated bytes are still waiting in the pipe, and nobody else
      // reads it: take exactly those, so the echo and the log see the same
      // chunk.
      std::size_t got = 0;
      while (got < static_cast<std::size_t>(teed)) {
        const long n = ReadSome(source_, buffer + got, static_cast<std::size_t>(teed) - got, error);
        if (n <= 0) return got > 0 ? static_cast<long>(got) : n;
        got += static_cast<std::size_t>(n);
      }
      return static_cast<long>(got);
    }
    switch (errno) {
      case EINTR:
        break;
      case EAGAIN:
        // A source made non-blocking is asked to stop once it is empty:
        // the plain read below ends the relay as it would without tee(2).
        if (NonBlocking(Fd(source_))) {
          try_tee_ = false;
          break;
        }
        // A non-blocking standard output makes tee(2) non-blocking on both
        // sides: wait for data, then for room.
        WaitUntil(Fd(source_), POLLIN);
        WaitUntil(Fd(*echo_), POLLOUT);
        break;
      case EPIPE:
        echo_ = nullptr;  // nobody reads our output any more
        break;
      default:
        // EINVAL: standard output is not a pipe (or tee(2) is not offered
        // here). Anything else is met again, and reported, by read or write.
        try_tee_ = false;
        break;
    }
  }
  const long n = ReadSome(source_, buffer, size, error);
  if (n > 0 && echo_ != nullptr && WriteAll(*echo_, buffer, static_cast<std::size_t>(n)) != 0) {
    echo_ = nullptr;
  }
  return n;
}

void SetIoFaultHookForTesting(IoFaultHook hook) { g_fault_hook = hook; }

}  // namespace platform
