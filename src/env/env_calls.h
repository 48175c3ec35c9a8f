// EnvCalls: the launcher's questions about its surroundings. Stateless free
// operations; a location that cannot be worked out comes back empty.
#pragma once

#include <string>

// BuildArgLine, which the entry point calls beside these queries, lives with
// the other command-line rules.
#include "common/command_line.h"

namespace kb {

// The temporary folder of a run, decided in one place for the launcher and
// for a tool that predicts it.
struct TempFolder {
  // "-templocation"'s value, else the environment's candidate ("TMP", then
  // "TEMP"; POSIX also "TMPDIR", then "/tmp"); kept even when unusable, so
  // that a refusal can name it.
  std::string path;
  // Why the folder cannot be used ("is not an absolute path", ...); empty
  // when it can.
  std::string problem;
};
// Decides the temporary folder. `given` is the "-templocation" value (blank:
// the environment's candidate). A relative path is refused, as the folder
// creation refuses it. With create set, a missing folder is made (mode
// 0700 on POSIX, missing parents included) and, for the environment's
// candidate, the outcome is logged ("EnvCalls::GetTemp::..."); without it
// nothing is created or logged, and a missing folder counts as usable when
// its nearest existing parent is a folder, as creating it would succeed.
TempFolder DecideTempFolder(const std::string& given, bool create);
// Validated temporary directory: DecideTempFolder("", true).path, or empty
// when unusable (logged).
std::string GetTemp();
// Per-user data folder below the given base (empty: the user's profile or
// home); not checked, not created.
std::string GetDataLocation(const std::string& base);
std::string GetCurrentDir();
// Folder of the launcher executable, without trailing separator.
std::string GetLauncherDir();
// Every foreign separator replaced by the native one ("/" to "\" on Windows,
// "\" to "/" on POSIX).
std::string NormalizeSlashes(const std::string& path);
// Selected version field: 1 major (and any unknown selector), 2 minor,
// 3 service pack major, 4 service pack minor. 0.0 when unreadable.
double GetWinVerNum(int selector);
// Platform tag: "win", "wx6", or empty when it cannot be determined.
std::string GetOs();

// The application name: the executable's file name without its extension.
// Fixed by InitApplication at start-up.
const std::string& ApplicationName();
// Start-up of the application object: takes the name from the executable's
// path. False when the path cannot be read.
bool InitApplication();
// Start-up of the application object for a launcher at the given path
// instead of the running executable, for a tool that describes what that
// launcher would do: the application name and GetLauncherDir() follow the
// given path from then on.
bool InitApplicationAs(const std::string& launcher_path);
// For tests: sets the application name directly.
void SetApplicationNameForTesting(const std::string& name);

}  // namespace kb
