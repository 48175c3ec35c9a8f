// Private files under unpredictable names: a file that only this process
// created and that nobody could have prepared for it.
#pragma once

#include <string>

namespace platform {

// Creates a new file in `folder` whose name is `prefix`, random characters
// and `suffix`, and writes `bytes` into it. The file is created exclusively
// (POSIX: O_CREAT|O_EXCL|O_NOFOLLOW, mode 0600; Windows: CREATE_NEW), so an
// existing entry or a planted link is never opened; a name that is taken is
// replaced by another random one a few times. Returns 0 and the file's path
// in *path, or the system error code (the last one met). A file that could
// not be written whole is removed again.
[[nodiscard]] int CreateExclusiveFile(const std::string& folder, const std::string& prefix,
                        const std::string& suffix, const std::string& bytes, std::string* path);

// Removes a file. Returns 0 or the system error code.
[[nodiscard]] int RemoveFile(const std::string& path);
// Gives the file `from` the name `to` in one step, replacing a file of that
// name: a reader of `to` sees the old file or the new one, never a part
// (POSIX rename; Windows MoveFileExW with MOVEFILE_REPLACE_EXISTING, which
// fails while another process has `to` open without sharing its deletion).
// Both names are in the same folder. Returns 0 or the system error code.
[[nodiscard]] int MoveFileOver(const std::string& from, const std::string& to);

}  // namespace platform
