// Launcher-made logs that launches share a folder with. A launch holds its
// own log for as long as it runs (AppendFile::Hold), so that another
// launch's "logkeep" never removes a log that is still being written.
//
// POSIX: the hold is an exclusive flock(2) on the log's open file
// description; a remover takes the same lock without waiting and removes
// only under it. Windows: the hold is a handle on a log that was created
// without sharing its deletion, so DeleteFileW fails while it lives.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Removes the file unless a launch holds it: *held is then true and
// nothing is removed. Returns 0 (removed, or held), or the system error
// code of a removal that failed. Windows: a file some other program has
// open without sharing its deletion counts as held too.
[[nodiscard]] int RemoveUnlessHeld(const std::string& path, bool* held);

// When the file (not a link's target) was last written, as a count that
// only compares with other answers of this call on this machine (POSIX:
// nanoseconds; Windows: 100-nanosecond ticks). Returns 0 or the system
// error code. In the system's own time, so a change of the local zone's
// offset changes nothing.
[[nodiscard]] int LastWriteTime(const std::string& path, std::int64_t* time);

}  // namespace platform
