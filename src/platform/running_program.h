// The running launcher itself: where its executable is, the name that
// gives it, its start-up settings and its last-resort message line.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable into *path. Returns 0 or the system
// error code (*path empty). Windows: GetModuleFileNameW. POSIX: the real
// path of /proc/self/exe.
[[nodiscard]] int ExecutablePath(std::string* path);

// The application name that an executable's path gives. Windows: the file
// name (after the last "\" or "/") without its extension. POSIX: the whole
// file name after the last "/", since executables carry no extension there
// ("myapp-1.2_console" is one name) and a backslash is part of a name.
std::string ApplicationNameOf(const std::string& executable_path);

// Process-wide start-up settings of the launcher, made before anything
// else. POSIX: descriptors 0 to 2 that are closed are opened on /dev/null
// first, so no file the launcher opens later becomes a standard stream; a
// write to a standard output whose reader has gone must fail with an error,
// not end the launcher by SIGPIPE. Windows: no error dialogs from the system.
void PrepareProcess();

// Writes one line (text + line end) to standard error, unbuffered. The
// last resort for a message: a failure has nowhere else to be told, so
// none is answered.
void WriteStdErrLine(const std::string& text);

}  // namespace platform
