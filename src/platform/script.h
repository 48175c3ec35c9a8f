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

// The whole text of the four-line script into *text: pause two seconds,
// change to `parent`, remove `clean_dir` with everything in it, delete
// `script_path`. All three paths are absolute; they are quoted here, not by
// the caller. Windows: cmd reads a batch file in the console's (OEM) code
// page, so the paths are written in it, converted without best-fit
// look-alikes; ASCII paths keep their bytes, and under code page 65001
// every character is held. A path with a character the page cannot hold
// is named by its short (8.3) form (the script, which does not exist yet,
// by its folder's). Returns 0, or 1113 (ERROR_NO_UNICODE_TRANSLATION) when
// a path has no exact form there: cmd would then act on another folder, so
// no script may be written. POSIX: always 0.
int CleanupScriptText(const std::string& parent, const std::string& clean_dir,
                      const std::string& script_path, std::string* text);

// True when the existing folder is the root of a file system or volume, or
// where one is mounted (Windows: it is its own volume mount point, e.g.
// "C:\", "\\srv\share\"; POSIX: it is its own ".." like "/", or its
// device differs from its parent's, like /dev/shm). A path that cannot be
// examined is not a root.
bool IsFileSystemRoot(const std::string& path);

// True when both paths name the same existing folder, compared by identity,
// not by spelling (POSIX: device and inode; Windows: the file index
// together with the volume of the folder's final path), so a link, a "..",
// a drive alias, "\\.\" or a short name does not hide it.
bool SameFolder(const std::string& a, const std::string& b);

// True when the existing folder is `path` or holds it, found through the
// folders that really hold `path` (POSIX: its ".." chain; Windows: the
// folders of its final path), so a link in the spelling of `path` does not
// hide them. Compared by identity as SameFolder does.
bool HoldsFolder(const std::string& folder, const std::string& path);

}  // namespace platform
