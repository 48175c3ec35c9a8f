// Paths longer than MAX_PATH. The file services take them only in the
// long-path form ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the
// system passes on without parsing: no "/", ".", ".." or relative part.
#pragma once

#include <string>

namespace platform {
namespace win32 {

// The full path (GetFullPathNameW, without the MAX_PATH bound) in UTF-16.
// Empty when it cannot be worked out.
std::wstring FullPath(const std::wstring& path);

// The form a file service opens `path` by: the path as given while its full
// form fits in MAX_PATH; else that full form as a long path. A path in the
// long-path or device form already is kept.
std::wstring OpenablePath(const std::string& path);

// True when the full form of the path does not fit in MAX_PATH (terminator
// included), which the services bound to MAX_PATH cannot take.
bool ExceedsMaxPath(const std::string& path);

}  // namespace win32
}  // namespace platform
