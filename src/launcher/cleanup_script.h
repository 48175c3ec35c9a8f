// The cleanup script: a four-line script written beside a clean directory
// that, when someone runs it later, waits two seconds, removes the directory
// with everything in it, and deletes itself. The launcher never runs it.
#pragma once

#include <functional>
#include <string>

namespace kb {

// Finds the clean directory (a relative one against the current folder),
// writes "clean_<application name>_<n><ext>" into its parent folder and
// returns the script's full path; <n> comes from `numbers`, rand() when it
// is empty (the launcher never seeds it), drawn again while an entry of
// that name exists. The script
// names the directory by the full path that the search found, so it removes
// the right folder wherever it is run from.
//
// Empty result, and no script, when the directory is not found, when the
// file cannot be created, or when the directory is a file-system root, the
// user's home folder or a folder that holds it (refused with a warning).
// When the script's language cannot name the script under that name
// (Windows: cmd reads it in the console's code page, and a file not yet
// written has no short form), the name is "clean_<AsciiFormOf(name)>_<n>".
// Refused, with a warning naming the clean directory, when the directory
// itself cannot be named.
std::string CreateCleanProc(const std::string& clean_dir, const std::string& application_name,
                            const std::function<int()>& numbers = {});

// The name with each character beyond ASCII written as "U" and its code
// point in hex ("tool_日本" gives "tool_U65E5U672C"); ASCII stays.
std::string AsciiFormOf(const std::string& name);

// The absolute form of a path with "." and ".." parts resolved and repeated
// separators folded, in the native separator. The root keeps its separator
// ("/", "C:\", "\\srv\share\"); other paths have none at the end. Empty for
// a path that is not absolute.
std::string NormalizeAbsolutePath(const std::string& path);

// The folder that holds an absolute, normalised path: "/" for "/run1",
// "C:\" for "C:\run1". Empty for a root.
std::string ParentFolder(const std::string& normalized);

// Why a found clean directory (absolute, normalised) must not be removed:
// it is a file-system root, the user's home folder or a folder holding it.
// Empty when it may go.
std::string CleanRefusalReason(const std::string& folder);

}  // namespace kb
