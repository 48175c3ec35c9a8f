// Named mutexes in the user's session namespace.
//
// Windows: OpenMutexA(SYNCHRONIZE) to probe, CreateMutexA to create. POSIX:
// one lock file per name in a private per-user folder ($XDG_RUNTIME_DIR/
// kestrelbay, else /tmp/kestrelbay-<uid>; mode 0700, owner checked, links not
// followed). A name exists while some process holds a shared lock on its
// file; the kernel drops the lock when the holder ends.
#pragma once

#include <string>

#include "platform/handle.h"

namespace platform {

enum class ProbeResult { kAbsent, kExists, kFailed };

// Tells whether a mutex of that name exists, without ever creating it.
// *error holds the system error code of the probe (0 when it exists).
ProbeResult ProbeNamedMutex(const std::string& name, int* error);

// Creates the named mutex, or opens it when it exists already (then *error
// is 183). The returned handle keeps the name alive until it is closed or
// the process ends. Invalid handle on failure.
Handle CreateNamedMutex(const std::string& name, bool initially_owned,
                        int* error);

}  // namespace platform
