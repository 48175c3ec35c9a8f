// Questions about the machine and the running process: environment
// variables, the executable's own path, the OS version, the WOW64 test.
#pragma once

#include <string>

namespace platform {

// Native path separator ('\\' on Windows, '/' on POSIX) and the other one,
// which NormalizeSlashes turns into the native one.
char PathSeparator();
char ForeignSeparator();

// Value of an environment variable; empty when unset.
std::string GetEnvVar(const char* name);

// Sets or removes an environment variable of this process (children
// started later inherit it). False on failure.
bool SetEnvVar(const std::string& name, const std::string& value);
bool UnsetEnvVar(const std::string& name);

// Full path of the running executable; empty on failure.
// Windows: GetModuleFileNameW. POSIX: the real path of /proc/self/exe.
std::string ExecutablePath();

// The application name that an executable's path gives. Windows: the file
// name (after the last "\" or "/") without its extension. POSIX: the whole
// file name after the last "/", since executables carry no extension there
// ("myapp-1.2_console" is one name) and a backslash is part of a name.
std::string ApplicationNameOf(const std::string& executable_path);

struct VersionInfo {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned sp_major = 0;
  unsigned sp_minor = 0;
};
// Windows: GetVersionExA with the extended record (size 156), then with the
// plain record (size 148, service pack fields stay 0). POSIX: the kernel
// release's major and minor numbers, service pack 0.
// Returns false when the version cannot be read at all.
bool QueryVersion(VersionInfo* out);

// Outcome of the WOW64 test (is this 32-bit process running on a 64-bit
// system?). Windows: IsWow64Process looked up at run time in the loaded
// KERNEL32. POSIX: the pointer width of the process and the machine.
enum class Wow64Answer {
  kNoKernelHandle,  // the module "KERNEL32" is not loaded
  kNoProc,          // "IsWow64Process" is not exported
  kCallFailed,      // the call failed
  kWow64,           // 64-bit system
  kNative,          // 32-bit system
};
Wow64Answer QueryWow64();

// The temporary directory candidate from the environment: Windows "TMP",
// then "TEMP"; POSIX also "TMPDIR", then "/tmp". Empty when none is set.
std::string TempDirFromEnvironment();

// The per-user local application-data folder, with a trailing separator,
// below which "Orlan<sep>Kestrelbay" is placed. A non-empty base replaces
// the user's home. Windows: base or USERPROFILE, then "\AppData\Local\"
// (major version 6 and later) or "\Local Settings\Application Data\".
// POSIX: $XDG_DATA_HOME/ when absolute, else home + "/.local/share/";
// the major version is ignored.
std::string LocalAppDataRoot(const std::string& base, double major_version);

// The user's own profile (home) folder: Windows "USERPROFILE"; POSIX "HOME",
// else the password database. Empty when it cannot be worked out.
std::string UserHomeFolder();

// The separator between class-path entries that the Java runtime expects:
// ';' on Windows, ':' on POSIX.
char ClassPathSeparator();

// Process-wide start-up settings of the launcher, made before anything
// else. POSIX: descriptors 0 to 2 that are closed are opened on /dev/null
// first, so no file the launcher opens later becomes a standard stream; a
// write to a standard output whose reader has gone must fail with an error,
// not end the launcher by SIGPIPE. Windows: no error dialogs from the system.
void PrepareProcess();

// Writes one line (text + line end) to standard error, unbuffered.
void WriteStdErrLine(const std::string& text);

// The system's own words for an error code, on one line without a final
// period or line end ("Not a directory"; Windows: FormatMessageA). Empty
// when the system has none.
std::string SystemErrorText(int error);

}  // namespace platform
