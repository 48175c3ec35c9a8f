// The pseudo-terminal relay's loop. Signal handlers here only record what
// came (the child changed state, the window changed size, the launcher was
// continued or asked to stop); the loop waits in ppoll and decides.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "platform/posix/signals_posix.h"
#include "platform/posix/terminal_state_posix.h"
#include "platform/signal_scope.h"

namespace platform {
namespace {

constexpr std::size_t kOutputChunk = 64 * 1024;
constexpr std::size_t kInputChunk = 4096;
// Once the child has ended while another process still holds its terminal
// open, output that stays away this long ends the relay.
constexpr long kQuietAfterEndMs = 100;
// How often a launcher in the background looks whether it has the terminal
// back (a shell's fg also sends SIGCONT, which is seen at once).
constexpr long kBackgroundLookMs = 250;
// Chunks read in a row without a wait while the output streams.
constexpr int kStreamingReads = 16;

volatile sig_atomic_t g_child_changed = 0;
volatile sig_atomic_t g_window_changed = 0;
volatile sig_atomic_t g_continued = 0;
volatile sig_atomic_t g_stop_asked = 0;

void OnChildChanged(int) { g_child_changed = 1; }
void OnWindowChanged(int) { g_window_changed = 1; }
void OnContinued(int) { g_continued = 1; }
void OnStopAsked(int) { g_stop_asked = 1; }

constexpr int kRecorded[] = {SIGCHLD, SIGWINCH, SIGCONT, SIGTSTP};
constexpr void (*kRecorders[])(int) = {OnChildChanged, OnWindowChanged, OnContinued,
                                       OnStopAsked};
constexpr int kRecordedCount = 4;

// A new open file description of the terminal on `fd`, non-blocking and
// ours alone: O_NONBLOCK on the inherited one would reach the shell too.
// -1 when none can be made (no /proc), or it is not the same terminal.
int OpenOwn(int fd, int access) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int own = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (own < 0) return -1;
  struct stat inherited;
  struct stat reopened;
  if (::fstat(fd, &inherited) != 0 || ::fstat(own, &reopened) != 0 ||
      inherited.st_rdev != reopened.st_rdev || !S_ISCHR(reopened.st_mode)) {
    ::close(own);
    return -1;
  }
  return own;
}


// The start of a small file (a /proc status), "" when it cannot be read.
std::string ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  char text[4096];
  const ssize_t n = ::read(fd, text, sizeof text);
  ::close(fd);
  return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// Whether the hexadecimal signal set of a /proc status field holds `sig`.
bool SignalListed(const std::string& status, const char* field, int sig) {
  const std::string::size_type at = status.find(field);
  if (at == std::string::npos) return false;
  const unsigned long long set = std::strtoull(status.c_str() + at + std::strlen(field), nullptr, 16);
  return (set >> (sig - 1)) & 1ull;
}

long ElapsedMs(const struct timespec& since) {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - since.tv_sec) * 1000 + (now.tv_nsec - since.tv_nsec) / 1000000;
}


// The relay's buffers and descriptors, and what it knows of the child.
class PtyRelay {
 public:
  PtyRelay(ChildTerminal::State* terminal, pid_t pid, const ChildSignalScope& signals,
           TerminalOutput* output)
      : t_(*terminal), pid_(pid), signals_(signals), output_(output) {
    keys_ = Handle(OpenOwn(0, O_RDONLY));
    echo_out_ = Handle(OpenOwn(1, O_WRONLY));
    // Without /proc: the inherited descriptions, left blocking (they are
    // the shell's too). Keys are read only once ppoll has shown them; an
    // echo write may then sleep on a terminal that stops reading.
    if (!keys_.valid()) keys_ = Handle(::fcntl(0, F_DUPFD_CLOEXEC, 3));
    if (!echo_out_.valid()) echo_out_ = Handle(::fcntl(1, F_DUPFD_CLOEXEC, 3));
    keys_fd_ = static_cast<int>(keys_.get());
    echo_fd_ = static_cast<int>(echo_out_.get());
    const int flags = ::fcntl(t_.master, F_GETFL);
    if (flags >= 0) ::fcntl(t_.master, F_SETFL, flags | O_NONBLOCK);
  }

  void Run();

 private:
  void LookAtChild();
  void SuspendWithChild();
  void Resume();
  // True when a chunk was read.
  bool ReadOutput();
  void WriteEcho();
  void ReadKeys();
  void StopOnSuspendKey(const char* keys, std::size_t size) const;
  void StopChild(bool by_key) const;
  void WriteKeys();

  ChildTerminal::State& t_;
  pid_t pid_;
  const ChildSignalScope& signals_;
  TerminalOutput* output_;
  Handle keys_;
  Handle echo_out_;
  int keys_fd_ = -1;  // the descriptors of the two above
  int echo_fd_ = -1;
  bool echo_ = true;
  bool keys_open_ = true;
  bool master_open_ = true;
  bool child_ended_ = false;
  // Reads in a row made without a wait (see Run).
  int streaming_ = 0;
  struct timespec ended_at_ = {};
  char out_[kOutputChunk];
  std::size_t out_pos_ = 0;
  std::size_t out_end_ = 0;
  char in_[kInputChunk];
  std::size_t in_pos_ = 0;
  std::size_t in_end_ = 0;
};

void PtyRelay::LookAtChild() {
  siginfo_t info;
  for (;;) {
    std::memset(&info, 0, sizeof info);
    // WSTOPPED without WNOWAIT takes the stop's report; an end is only
    // looked at and left for the child's Wait to reap.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WSTOPPED | WNOHANG) != 0 ||
        info.si_pid != pid_) {
      break;
    }
    SuspendWithChild();
  }
  std::memset(&info, 0, sizeof info);
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid == pid_) {
    if (!child_ended_) ::clock_gettime(CLOCK_MONOTONIC, &ended_at_);
    child_ended_ = true;
  }
}

// The child stopped (Ctrl-Z on its terminal): the shell gets the user's
// terminal back in its own mode, and the launcher stops as the child did.
void PtyRelay::SuspendWithChild() {
  t_.Restore();
  struct sigaction stop = {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction before = {};
  ::sigaction(SIGTSTP, nullptr, &before);
  // Kept at SIG_IGN (a shell without job control): nobody could continue
  // the launcher, so the child goes on at once.
  if (before.sa_handler != SIG_IGN) {
    ::sigaction(SIGTSTP, &stop, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(SIGTSTP);  // returns once continued
    ::pthread_sigmask(SIG_BLOCK, &one, nullptr);
    ::sigaction(SIGTSTP, &before, nullptr);
  }
  Resume();
}

void PtyRelay::Resume() {
  g_continued = 0;
  t_.MakeRaw();
  t_.PassWindowSize();
  // The group on the terminal's foreground, which the stop took.
  const pid_t group = ::tcgetpgrp(t_.master);
  ::kill(group > 0 ? -group : -pid_, SIGCONT);
}

bool PtyRelay::ReadOutput() {
  for (;;) {
    const ssize_t n = ::read(t_.master, out_, sizeof out_);
    if (n > 0) {
      // The log gets it first: an echo that waits loses nothing there.
      output_->Shown(out_, static_cast<std::size_t>(n));
      if (child_ended_) ::clock_gettime(CLOCK_MONOTONIC, &ended_at_);
      out_pos_ = 0;
      out_end_ = echo_ ? static_cast<std::size_t>(n) : 0;
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: every holder of the child's side has closed it.
    if (n == 0 || errno != EAGAIN) master_open_ = false;
    return false;
  }
}

void PtyRelay::WriteEcho() {
  while (out_pos_ < out_end_) {
    const ssize_t n = ::write(echo_fd_, out_ + out_pos_, out_end_ - out_pos_);
    if (n > 0) {
      out_pos_ += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;  // waited for in ppoll
    } else {
      echo_ = false;  // the user's terminal is gone: the log goes on
      out_pos_ = out_end_ = 0;
      return;
    }
  }
}

// The child's session has no parent of its own inside it, so the kernel
// drops a SIGTSTP that would stop it at its default (an orphaned process
// group): the one its terminal sends for the suspend key, and one sent by
// kill. Where the program would have stopped, the launcher stops it with
// SIGSTOP, as the kernel otherwise would; a program that handles SIGTSTP
// gets that instead (`by_key`: its terminal has sent it already).
void PtyRelay::StopChild(bool by_key) const {
  const pid_t group = ::tcgetpgrp(t_.master);
  if (group <= 0) return;
  const std::string status = ReadSmallFile("/proc/" + std::to_string(group) + "/status");
  if (SignalListed(status, "SigCgt:", SIGTSTP) || SignalListed(status, "SigIgn:", SIGTSTP)) {
    if (!by_key) ::kill(-group, SIGTSTP);
    return;
  }
  ::kill(-group, SIGSTOP);
}

void PtyRelay::StopOnSuspendKey(const char* keys, std::size_t size) const {
  struct termios mode;
  if (::tcgetattr(t_.master, &mode) != 0 || (mode.c_lflag & ISIG) == 0) return;
  const cc_t suspend = mode.c_cc[VSUSP];
  if (suspend == _POSIX_VDISABLE || std::memchr(keys, suspend, size) == nullptr) return;
  StopChild(true);
}

void PtyRelay::ReadKeys() {
  const ssize_t n = ::read(keys_fd_, in_, sizeof in_);
  if (n > 0) {
    in_pos_ = 0;
    in_end_ = static_cast<std::size_t>(n);
    StopOnSuspendKey(in_, in_end_);
  } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
    keys_open_ = false;
  }
}

void PtyRelay::WriteKeys() {
  const ssize_t n = ::write(t_.master, in_ + in_pos_, in_end_ - in_pos_);
  if (n > 0) {
    in_pos_ += static_cast<std::size_t>(n);
  } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
    in_pos_ = in_end_;  // the child's side is gone: nobody reads the keys
  }
  if (in_pos_ == in_end_) in_pos_ = in_end_ = 0;
}

void PtyRelay::Run() {
  if (echo_fd_ < 0) echo_ = false;
  if (keys_fd_ < 0) keys_open_ = false;
  t_.MakeRaw();
  g_child_changed = 1;  // it may have changed before the handler was in
  for (;;) {
    if (g_child_changed) {
      g_child_changed = 0;
      LookAtChild();
    }
    if (g_stop_asked) {
      // Asked to stop (not by the child's terminal): the child is stopped
      // the same way; its stop then stops the launcher.
      g_stop_asked = 0;
      StopChild(false);
    }
    if (g_continued) Resume();
    if (g_window_changed) {
      g_window_changed = 0;
      t_.PassWindowSize();
    }
    // A request after the child's end, or one passed on that ended it:
    // what is left goes to the log only, so a terminal that does not read
    // cannot hold the launcher.
    if (signals_.StopExitCode() != 0 || (child_ended_ && posix::RequestPassedOn())) {
      echo_ = false;
      out_pos_ = out_end_ = 0;
    }
    const bool echo_waits = out_pos_ < out_end_;
    // The child's end with nothing left to show ends the relay: its side of
    // the terminal is closed, or (another process holding it open) nothing
    // came for a moment.
    if (child_ended_ && !echo_waits &&
        (!master_open_ || ElapsedMs(ended_at_) >= kQuietAfterEndMs)) {
      // What is waiting still goes out, however late the relay looks.
      if (!master_open_ || !ReadOutput()) break;
      WriteEcho();
      continue;
    }

    // While the output streams, the next chunk is read without a wait; a
    // short look lets the requests and recorded signals in now and then.
    if (streaming_ > 0 && streaming_ < kStreamingReads && !echo_waits && master_open_ &&
        in_pos_ == in_end_) {
      ++streaming_;
      if (ReadOutput()) {
        WriteEcho();
        continue;
      }
    }
    streaming_ = 0;

    struct pollfd fds[3];
    nfds_t count = 0;
    int master_at = -1;
    int echo_at = -1;
    int keys_at = -1;
    short master_events = 0;
    if (master_open_ && !echo_waits) master_events |= POLLIN;
    if (master_open_ && in_pos_ < in_end_) master_events |= POLLOUT;
    if (master_events != 0) {
      master_at = static_cast<int>(count);
      fds[count++] = {t_.master, master_events, 0};
    }
    if (echo_waits) {
      echo_at = static_cast<int>(count);
      fds[count++] = {echo_fd_, POLLOUT, 0};
    }
    const bool foreground = posix::InForeground();
    if (foreground && !t_.raw) t_.MakeRaw();
    if (keys_open_ && foreground && in_pos_ == in_end_ && master_open_) {
      keys_at = static_cast<int>(count);
      fds[count++] = {keys_fd_, POLLIN, 0};
    }
    long wait_ms = -1;
    if (!foreground && keys_open_) wait_ms = kBackgroundLookMs;
    if (child_ended_) {
      const long left = kQuietAfterEndMs - ElapsedMs(ended_at_);
      if (wait_ms < 0 || left < wait_ms) wait_ms = left < 0 ? 0 : left;
    }
    output_->Idle();
    struct timespec timeout = {wait_ms / 1000, (wait_ms % 1000) * 1000000};
    const int ready =
        posix::PollLettingRequestsIn(fds, count, wait_ms < 0 ? nullptr : &timeout);
    if (ready <= 0) continue;  // a signal came, or the time is up: look again
    if (master_at >= 0 && fds[master_at].revents != 0) {
      if (in_pos_ < in_end_ && (fds[master_at].revents & (POLLOUT | POLLERR))) WriteKeys();
      if (!echo_waits && (fds[master_at].revents & (POLLIN | POLLHUP | POLLERR))) {
        ReadOutput();
        WriteEcho();
        streaming_ = 1;
      }
    }
    if (echo_at >= 0 && fds[echo_at].revents != 0) WriteEcho();
    if (keys_at >= 0 && fds[keys_at].revents != 0) {
      ReadKeys();
      if (in_pos_ < in_end_) WriteKeys();
    }
  }
}

}  // namespace

namespace posix {

void RunPtyRelay(ChildTerminal::State* terminal, pid_t pid, const ChildSignalScope& signals,
                 TerminalOutput* output) {
  ShutRequestsOut();
  // Recorded only while the relay runs; between waits they are blocked,
  // so that each comes in during the ppoll that lets the requests in.
  sigset_t recorded;
  sigemptyset(&recorded);
  for (const int signal_number : kRecorded) sigaddset(&recorded, signal_number);
  sigset_t mask_before;
  ::pthread_sigmask(SIG_BLOCK, &recorded, &mask_before);
  struct sigaction saved[kRecordedCount];
  bool installed[kRecordedCount] = {};
  for (int i = 0; i < kRecordedCount; ++i) {
    struct sigaction now = {};
    ::sigaction(kRecorded[i], nullptr, &now);
    // An inherited SIGTSTP ignore (a shell without job control) stays.
    if (kRecorded[i] == SIGTSTP && now.sa_handler == SIG_IGN) continue;
    struct sigaction record = {};
    record.sa_handler = kRecorders[i];
    sigemptyset(&record.sa_mask);
    record.sa_flags = SA_RESTART;
    installed[i] = ::sigaction(kRecorded[i], &record, &saved[i]) == 0;
  }
  g_child_changed = g_window_changed = g_continued = g_stop_asked = 0;
  {
    // The buffers are too large for a worker-sized stack.
    std::unique_ptr<PtyRelay> relay(new PtyRelay(terminal, pid, signals, output));
    relay->Run();
  }
  output->Idle();
  terminal->Restore();
  for (int i = 0; i < kRecordedCount; ++i) {
    if (installed[i]) ::sigaction(kRecorded[i], &saved[i], nullptr);
  }
  ::pthread_sigmask(SIG_SETMASK, &mask_before, nullptr);
  LetRequestsBackIn();
}

}  // namespace posix
}  // namespace platform
