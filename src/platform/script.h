// The cleanup script's language. Which folders it must never remove is
// asked of folder_identity.h.
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
[[nodiscard]] int CleanupScriptText(const std::string& parent, const std::string& clean_dir,
                      const std::string& script_path, std::string* text);

}  // namespace platform
