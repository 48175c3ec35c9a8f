// Named mutexes in the user's session namespace.
//
// Windows: OpenMutexW(SYNCHRONIZE) to probe, CreateMutexW to create. POSIX:
// one lock file per name in a private per-user folder ($XDG_RUNTIME_DIR/
// kestrelbay, else /tmp/kestrelbay-<uid>; mode 0700, owner checked, links not
// followed). A name exists while some process holds a shared lock on its
// file; the kernel drops the lock when the holder ends. When that folder
// exists but cannot be trusted (another owner, open to others, a link),
// the names live in "locks" inside the user's default data folder instead,
// which nobody else can create first; a probe looks in both.
#pragma once

#include <string>

#include "platform/handle.h"

namespace platform {

// Tells whether a mutex of that name exists, without ever creating it.
// Returns 0 when the probe could tell (*exists says which), else the system
// error code of the failed probe (*exists false).
[[nodiscard]] int ProbeNamedMutex(const std::string& name, bool* exists);

// Creates the named mutex, or opens it when it exists already (*existed
// true; Windows reports 183 for that). The handle put in *mutex keeps the
// name alive until it is closed or the process ends. Returns 0, or the
// system error code with *mutex invalid. existed may be null.
[[nodiscard]] int CreateNamedMutex(const std::string& name, bool initially_owned, Handle* mutex,
                     bool* existed);

// What a caller should tell the user about where names live.
struct MutexFolderReport {
  std::string refused;          // the private folder, when it was refused
  std::string reason;           // why it was refused
  std::string fallback;         // the folder used instead
  std::string fallback_reason;  // why that cannot be used either
};
// Examines the folders without creating anything. Returns 0 when names can
// be kept and probed, else the system error code of the last folder tried
// (the guard then cannot work). Windows: the system keeps the names; always
// 0 with an empty report.
[[nodiscard]] int CheckMutexFolder(MutexFolderReport* report);

}  // namespace platform
