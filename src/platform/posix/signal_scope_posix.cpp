// Passing termination requests on to the child, and remembering a request
// that came once the child had ended. The handler does nothing else: the
// relay looks at that record itself (see ShutRequestsOut).
//
// The state lives in globals because the handler needs it; one scope at a
// time, on the thread that starts and waits for the child.
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/posix/child_state.h"
#include "platform/posix/signals_posix.h"
#include "platform/signal_scope.h"

namespace platform {
namespace {

// Sent to the launcher alone: passed on to the child. SIGINT and SIGQUIT,
// sent by a terminal to the whole process group, reach the child already.
constexpr int kForwarded[] = {SIGTERM, SIGHUP};
constexpr int kRequests[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
constexpr int kRequestCount = 4;

volatile sig_atomic_t g_target_pid = 0;
volatile sig_atomic_t g_stop_signal = 0;
// A request was passed on to the child while it ran.
volatile sig_atomic_t g_passed_on = 0;

// The requests this scope blocked that were not blocked before it.
sigset_t g_held;
bool g_holding = false;
sigset_t g_mask_before;
struct sigaction g_saved[kRequestCount];
bool g_installed[kRequestCount] = {};
// A LateRequestHold lives: the requests it blocked, and those a scope held
// when it ended, stay blocked (g_left) until the hold takes or releases
// them.
bool g_hold_enabled = false;
bool g_leaving = false;
sigset_t g_left;
struct sigaction g_saved_pipe;
bool g_pipe_installed = false;
// SIGPIPE ignored by the launcher for itself, not inherited so.
bool g_pipe_ignored_by_launcher = false;
// The mask a relay waits with: the one it found, the requests let in.
sigset_t g_relay_wait_mask;
bool g_relay_shut = false;

sigset_t RequestSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kRequests) sigaddset(&set, signal_number);
  return set;
}

bool IsForwarded(int signal_number) {
  for (const int forwarded : kForwarded) {
    if (forwarded == signal_number) return true;
  }
  return false;
}

// A child that is a zombie or already reaped has ended.
bool TargetEnded(pid_t pid) {
  if (pid <= 0) return true;
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return true;
  }
  return info.si_pid == pid;
}

void OnRequest(int signal_number) {
  const int saved_errno = errno;
  const pid_t pid = static_cast<pid_t>(g_target_pid);
  if (!TargetEnded(pid)) {
    if (IsForwarded(signal_number)) {
      ::kill(pid, signal_number);
      g_passed_on = 1;
    }
  } else {
    if (g_stop_signal == 0) g_stop_signal = signal_number;
  }
  errno = saved_errno;
}

void Block(const sigset_t& set, sigset_t* old) { ::pthread_sigmask(SIG_BLOCK, &set, old); }

bool Ignored(int signal_number) {
  struct sigaction now = {};
  return ::sigaction(signal_number, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
}
void SetMask(const sigset_t& mask) { ::pthread_sigmask(SIG_SETMASK, &mask, nullptr); }

}  // namespace

namespace posix {

void IgnoreBrokenPipe() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction old = {};
  if (::sigaction(SIGPIPE, &ignore, &old) == 0 && old.sa_handler != SIG_IGN) {
    g_pipe_ignored_by_launcher = true;
  }
}

void SignalsForChild(sigset_t* mask, sigset_t* to_default) {
  ::pthread_sigmask(SIG_SETMASK, nullptr, mask);
  for (const int signal_number : kRequests) {
    if ((g_holding && sigismember(&g_held, signal_number)) ||
        (g_leaving && sigismember(&g_left, signal_number))) {
      sigdelset(mask, signal_number);
    }
  }
  sigemptyset(to_default);
  if (g_pipe_ignored_by_launcher) sigaddset(to_default, SIGPIPE);
}

int ReapEnded(pid_t pid, int* status) {
  const sigset_t requests = RequestSet();
  sigset_t old;
  Block(requests, &old);
  if (g_target_pid == pid) g_target_pid = 0;
  int error = 0;
  for (;;) {
    if (::waitpid(pid, status, 0) >= 0) break;
    if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  SetMask(old);
  return error;
}

void ShutRequestsOut() {
  const sigset_t requests = RequestSet();
  Block(requests, &g_relay_wait_mask);
  g_relay_shut = true;
}

void LetRequestsBackIn() {
  if (!g_relay_shut) return;
  g_relay_shut = false;
  SetMask(g_relay_wait_mask);
}

bool RequestPassedOn() { return g_passed_on != 0; }

int PollLettingRequestsIn(struct pollfd* fds, nfds_t count, const struct timespec* timeout) {
  return ::ppoll(fds, count, timeout, g_relay_shut ? &g_relay_wait_mask : nullptr);
}

}  // namespace posix

ChildSignalScope::ChildSignalScope() {
  const sigset_t requests = RequestSet();
  Block(requests, &g_mask_before);
  // What an earlier scope left held was not blocked before it.
  if (g_leaving) {
    for (const int signal_number : kRequests) {
      if (sigismember(&g_left, signal_number)) sigdelset(&g_mask_before, signal_number);
    }
    g_leaving = false;
  }
  sigemptyset(&g_held);
  for (const int signal_number : kRequests) {
    if (!sigismember(&g_mask_before, signal_number)) sigaddset(&g_held, signal_number);
  }
  g_holding = true;
  g_target_pid = 0;
  g_stop_signal = 0;
  g_passed_on = 0;
}

void ChildSignalScope::Watch(const Child& child) {
  g_target_pid = child.state() != nullptr ? child.state()->pid : 0;

  struct sigaction handle = {};
  handle.sa_handler = OnRequest;
  handle.sa_mask = RequestSet();  // one request at a time
  handle.sa_flags = SA_RESTART;
  for (int i = 0; i < kRequestCount; ++i) {
    struct sigaction now = {};
    ::sigaction(kRequests[i], nullptr, &now);
    // Inherited as ignored (nohup, a background job): it stays ignored.
    if (now.sa_handler == SIG_IGN) continue;
    g_installed[i] = ::sigaction(kRequests[i], &handle, &g_saved[i]) == 0;
  }
  // A reader of the launcher's output that went away must show up as a
  // failed write of the echo, not end the launcher before it has logged.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  g_pipe_installed = ::sigaction(SIGPIPE, &ignore, &g_saved_pipe) == 0;

  // Requests held back since construction are delivered here.
  g_holding = false;
  SetMask(g_mask_before);
}

int ChildSignalScope::StopExitCode() const {
  return g_stop_signal == 0 ? 0 : 128 + static_cast<int>(g_stop_signal);
}

ChildSignalScope::~ChildSignalScope() {
  const sigset_t requests = RequestSet();
  Block(requests, nullptr);
  // Under a LateRequestHold, a request stays blocked once its handler is
  // gone, so that it cannot end the launcher before the hold takes it:
  // also one held since construction when no child was started, or its
  // start failed. One ignored stays unblocked, or it would wait as pending.
  sigset_t mask_after = g_mask_before;
  sigemptyset(&g_left);
  for (int i = 0; i < kRequestCount; ++i) {
    if (g_installed[i]) ::sigaction(kRequests[i], &g_saved[i], nullptr);
    g_installed[i] = false;
    if (g_hold_enabled && sigismember(&g_held, kRequests[i]) && !Ignored(kRequests[i])) {
      sigaddset(&g_left, kRequests[i]);
      sigaddset(&mask_after, kRequests[i]);
      g_leaving = true;
    }
  }
  if (g_pipe_installed) ::sigaction(SIGPIPE, &g_saved_pipe, nullptr);
  g_pipe_installed = false;
  g_target_pid = 0;
  g_holding = false;
  SetMask(mask_after);
}

// Blocked from here on, the requests wait until a scope hands them on to
// a child, or until TakeExitCode. Those blocked or ignored already are left
// as they are: an ignored signal that is blocked would wait as pending.
LateRequestHold::LateRequestHold() {
  g_hold_enabled = true;
  sigset_t blocked;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &blocked);
  sigemptyset(&g_left);
  for (const int signal_number : kRequests) {
    if (sigismember(&blocked, signal_number) || Ignored(signal_number)) continue;
    sigaddset(&g_left, signal_number);
    g_leaving = true;
  }
  Block(g_left, nullptr);
}

int HeldRequestExitCode() {
  sigset_t held;
  if (g_holding) {
    held = g_held;
  } else if (g_leaving) {
    held = g_left;
  } else {
    return 0;
  }
  sigset_t pending;
  if (::sigpending(&pending) != 0) return 0;
  for (const int signal_number : kRequests) {
    // A scope blocks an ignored request too, and blocked it waits as
    // pending; ignored, it asks for nothing (nohup).
    if (sigismember(&held, signal_number) && sigismember(&pending, signal_number) &&
        !Ignored(signal_number)) {
      return 128 + signal_number;
    }
  }
  return 0;
}

int LateRequestHold::TakeExitCode() {
  if (!g_leaving) return 0;
  sigset_t pending;
  if (::sigpending(&pending) != 0) return 0;
  int taken = 0;
  for (const int signal_number : kRequests) {
    if (!sigismember(&g_left, signal_number) || !sigismember(&pending, signal_number)) continue;
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal_number);
    const struct timespec now = {0, 0};
    if (::sigtimedwait(&one, nullptr, &now) == signal_number && taken == 0) taken = signal_number;
  }
  // A request the scope took as a stop decided the result already.
  if (taken == 0 || g_stop_signal != 0) return 0;
  return 128 + taken;
}

LateRequestHold::~LateRequestHold() {
  g_hold_enabled = false;
  if (!g_leaving) return;
  g_leaving = false;
  ::pthread_sigmask(SIG_UNBLOCK, &g_left, nullptr);
}

}  // namespace platform
