// Console interrupts and termination requests while the launch's child runs.
//
// Windows: a console control handler that lets Ctrl-C and Ctrl-Break pass
// the launcher by (the child, on the same console, gets them itself).
// POSIX: SIGTERM and SIGHUP sent to the launcher are passed on to the child;
// SIGINT and SIGQUIT, which a terminal sends to the whole process group,
// are left to the child. A signal the launcher inherited as ignored stays
// ignored and is never passed on (nohup, background jobs).
//
// Order of use: construct the scope, start the child, then Watch it. POSIX:
// the construction blocks the four signals so that none can end the
// launcher between the child's start and the handlers' installation; Watch
// installs the handlers, records the child and unblocks them, and a request
// that arrived meanwhile is handled then. At most one scope exists at a
// time, and only on the thread that starts and waits for the child.
#pragma once

#include "platform/child.h"

namespace platform {

class ChildSignalScope {
 public:
  ChildSignalScope();
  // Restores the dispositions and the signal mask found at construction.
  // POSIX: while a LateRequestHold lives, the scope leaves the requests it
  // held blocked, whether or not a child was started; the hold takes them.
  ~ChildSignalScope();
  ChildSignalScope(const ChildSignalScope&) = delete;
  ChildSignalScope& operator=(const ChildSignalScope&) = delete;

  // Starts handling requests for this child: POSIX: a request passes on
  // to it while it runs; one that arrives once it has ended is only
  // recorded (StopExitCode). The handler touches nothing else: a relay that
  // reads the child's output asks StopExitCode itself (see EchoingReader).
  // Windows: no effect.
  void Watch(const Child& child);

  // POSIX: 128 + N when termination request N arrived after the child had
  // ended (the launcher then ends with that code), else 0. Windows: 0.
  int StopExitCode() const;
};

// Keeps a termination request that arrives while no child runs (before its
// start, during a start that fails, after its scope has ended) from cutting
// the launcher short before it has logged its end. Made on the first line
// of main. POSIX: the requests that were neither blocked nor ignored are
// blocked from construction; a scope hands them on to its child while it
// watches one, and otherwise such a request waits until TakeExitCode, which
// takes it and answers 128 + N (0 when none came, or when the scope had
// already taken one as a request to stop). A request that comes later
// still waits until the hold ends, and then meets the disposition the
// launcher inherited. Windows: no effect; TakeExitCode answers 0.
class LateRequestHold {
 public:
  LateRequestHold();
  ~LateRequestHold();
  LateRequestHold(const LateRequestHold&) = delete;
  LateRequestHold& operator=(const LateRequestHold&) = delete;

  int TakeExitCode();
};

// 128 + N when termination request N waits, held by a LateRequestHold or a
// scope not yet watching a child, else 0. Asked right before a child is
// started: such a request came first, so no child is to be started. The
// request stays pending for the hold to take. Windows: 0.
int HeldRequestExitCode();

}  // namespace platform
