// How the POSIX child, the signal scope and the process start-up share the
// launcher's signal state.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/types.h>

#include <ctime>

namespace platform {
namespace posix {

// Ignores SIGPIPE for the launcher, remembering whether that changed its
// disposition: a child then gets it back at its default.
void IgnoreBrokenPipe();

// The signal mask and the signals to reset to default for a child started
// now: the caller's mask without what a ChildSignalScope holds back, and
// the signals the launcher ignores for itself only.
void SignalsForChild(sigset_t* mask, sigset_t* to_default);

// Reaps `pid`, which has ended, with the forwarded signals blocked: a scope
// watching it forgets it first, so no request is ever sent to the id once
// it may belong to another process. Returns 0 or the system error code.
int ReapEnded(pid_t pid, int* status);

// The relay's wait. Between ShutRequestsOut and LetRequestsBackIn the
// requests a scope handles are blocked on the calling thread, and come in
// only during PollLettingRequestsIn: the handler then runs inside the wait,
// which answers -1 with EINTR, so a request that arrives between the
// relay's look at the scope and its wait is never missed. One relay at a
// time, on the thread that watches the child.
void ShutRequestsOut();
void LetRequestsBackIn();
// ppoll(2) with the mask found at ShutRequestsOut. With a zero timeout and
// no descriptors it only takes in a request that is waiting: a relay that
// never has to wait (the child writes without pause) still passes each
// request on at once.
// Whether the scope has passed a request on to the child it watches.
bool RequestPassedOn();
int PollLettingRequestsIn(struct pollfd* fds, nfds_t count, const struct timespec* timeout);

}  // namespace posix
}  // namespace platform
