// Raw reads and writes on an open Handle: pipes, the launcher's standard
// output, files opened for appending.
//
// Windows: ReadFile / WriteFile, synchronous. POSIX: read / write, retried
// on EINTR.
#pragma once

#include <cstddef>

#include "platform/handle.h"

namespace platform {

// Blocking read of at most size bytes. Returns the count, 0 at the end of
// the data, -1 on failure (*error set). Windows: a pipe whose every write
// end is closed answers -1 with ERROR_BROKEN_PIPE.
long ReadSome(const Handle& handle, char* buffer, std::size_t size, int* error);

// Writes every byte (looping over partial writes). False on failure.
bool WriteAll(const Handle& handle, const char* data, std::size_t size);

}  // namespace platform
