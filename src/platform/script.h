// The cleanup script's language and the folders it must never remove.
//
// Windows: a batch file (".bat", CR LF line ends, paths in double quotes with
// every "%" doubled so that cmd does not expand it). POSIX: a shell script
// (".sh", LF line ends, every path single-quoted, an embedded "'" written as
// '\''), written with mode 0700.
#pragma once

#include <string>

namespace platform {

// ".bat" on Windows, ".sh" on POSIX.
const char* CleanupScriptExtension();

// The whole text of the four-line script: pause two seconds, change to
// `parent`, remove `clean_dir` with everything in it, delete `script_path`.
// All three paths are absolute; they are quoted here, not by the caller.
std::string CleanupScriptText(const std::string& parent,
                              const std::string& clean_dir,
                              const std::string& script_path);

// True when the existing folder is the root of a file system or volume
// (Windows: it is its own volume mount point, e.g. "C:\", "\\srv\share\";
// POSIX: it is the same directory as its own "..", e.g. "/"). A path that
// cannot be examined is not a root.
bool IsFileSystemRoot(const std::string& path);

// True when both paths name the same existing folder (Windows: the same
// full path, letter case ignored; POSIX: the same device and inode, so a
// link or a "..", does not hide it).
bool SameFolder(const std::string& a, const std::string& b);

}  // namespace platform
