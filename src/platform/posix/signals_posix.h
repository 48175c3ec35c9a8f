// How the POSIX child, the signal scope and the process start-up share the
// launcher's signal state.
#pragma once

#include <signal.h>
#include <sys/types.h>

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

}  // namespace posix
}  // namespace platform
