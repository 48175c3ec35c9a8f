// The pipe that carries a child's output, the launcher's own standard
// output, and raw reads and writes. The child itself is in child.h, the
// signal scope in signal_scope.h, the worker thread in worker.h.
//
// Windows: CreatePipe, SetHandleInformation, GetStdHandle, ReadFile /
// WriteFile. POSIX: pipe2 with O_CLOEXEC, read / write.
#pragma once

#include <cstddef>
#include <string>

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
int CreateChildPipe(Pipe* pipe);

// Stops a handle from being inherited by children. Returns 0 or the system
// error code. POSIX: already so, always 0.
int MakeNotInheritable(const Handle& handle);

enum class StdOutState { kValid, kInvalid, kNull };
// The launcher's own standard output (GetStdHandle(STD_OUTPUT_HANDLE)).
// kInvalid / kNull carry the system error code in *error. POSIX: descriptor 1
// when open, else kInvalid with EBADF; never kNull.
StdOutState GetStdOutput(Handle* out, int* error);

// Blocking read of at most size bytes. Returns the count, 0 at the end of
// the data, -1 on failure (*error set). POSIX: retried on EINTR.
long ReadSome(const Handle& handle, char* buffer, std::size_t size, int* error);

// Writes every byte (looping over partial writes). False on failure.
bool WriteAll(const Handle& handle, const char* data, std::size_t size);

}  // namespace platform
