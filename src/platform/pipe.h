// The pipe that carries a child's output. Reads and writes on the handles are in io.h, the child itself in
// child.h, the signal scope in signal_scope.h, the worker thread in
// worker.h.
//
// Windows: CreatePipe, SetHandleInformation, GetStdHandle. POSIX: pipe2
// with O_CLOEXEC.
#pragma once

#include "platform/handle.h"

namespace platform {

struct Pipe {
  Handle read;
  Handle write;
};

// Creates an anonymous pipe with the system's default size. Windows: both
// ends inheritable (security attributes with the inherit flag set). POSIX:
// both ends close-on-exec; the child gets the write end only through its
// standard output and standard error. Returns 0 or the system error code.
[[nodiscard]] int CreateChildPipe(Pipe* pipe);

// Stops a handle from being inherited by children. Returns 0 or the system
// error code. POSIX: already so, always 0.
[[nodiscard]] int MakeNotInheritable(const Handle& handle);

}  // namespace platform
