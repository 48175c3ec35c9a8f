// The child's pseudo-terminal: made with the user's terminal's settings
// and window size, and the user's terminal put into raw mode and back.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/child_state.h"
#include "platform/posix/terminal_state_posix.h"
#include "platform/terminal.h"

namespace platform {
namespace {

// tcsetattr with SIGTTOU held back: a launcher that lost the foreground
// meanwhile gets an error instead of being stopped.
void SetMode(const struct termios& mode) {
  sigset_t ttou;
  sigset_t old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  ::pthread_sigmask(SIG_BLOCK, &ttou, &old);
  while (::tcsetattr(0, TCSANOW, &mode) != 0 && errno == EINTR) {
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

namespace posix {
bool InForeground() { return ::tcgetpgrp(0) == ::getpgrp(); }
}  // namespace posix

ChildTerminal::State::~State() { Restore(); }

void ChildTerminal::State::Restore() {
  if (!raw) return;
  raw = false;
  SetMode(saved);
}

void ChildTerminal::State::MakeRaw() {
  if (raw || !have_saved || !posix::InForeground()) return;
  struct termios mode = saved;
  ::cfmakeraw(&mode);
  SetMode(mode);
  raw = true;
}

void ChildTerminal::State::PassWindowSize() const {
  struct winsize size;
  if (::ioctl(1, TIOCGWINSZ, &size) == 0 || ::ioctl(0, TIOCGWINSZ, &size) == 0) {
    // The kernel sends SIGWINCH to the child's foreground group when the
    // size changes.
    (void)::ioctl(master, TIOCSWINSZ, &size);
  }
}


bool StdStreamsAreTerminals() { return ::isatty(0) == 1 && ::isatty(1) == 1; }

ChildTerminal::ChildTerminal() : state_(new State) {}
ChildTerminal::~ChildTerminal() = default;

int ChildTerminal::Open() {
  State& s = *state_;
  s.master_handle = Handle(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!s.master_handle.valid()) return errno;
  s.master = static_cast<int>(s.master_handle.get());
  char name[128];
  if (::grantpt(s.master) != 0 || ::unlockpt(s.master) != 0 ||
      ::ptsname_r(s.master, name, sizeof name) != 0) {
    return errno;
  }
  s.slave_path = name;
  s.have_saved = ::tcgetattr(0, &s.saved) == 0;
  // The child's terminal starts as the user's: the same erase key, the
  // same character handling, echo on.
  if (s.have_saved) {
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
      (void)::tcsetattr(slave, TCSANOW, &s.saved);  // defaults are the fallback
      ::close(slave);
    }
  }
  s.PassWindowSize();
  return 0;
}

int ChildTerminal::Start(const std::string& command_line, Child* child) {
  StartOptions options;
  options.terminal = state_->slave_path;
  options.suspended = true;
  return StartChild(command_line, options, child);
}

bool ChildTerminal::CopiesOutput() const { return true; }

void ChildTerminal::Relay(const Child& child, const ChildSignalScope& signals,
                          TerminalOutput* output) {
  if (child.state() == nullptr) return;
  posix::RunPtyRelay(state_.get(), child.state()->pid, signals, output);
  state_->Restore();
}

}  // namespace platform
