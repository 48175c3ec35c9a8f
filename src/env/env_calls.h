// EnvCalls: the launcher's questions about its surroundings. Stateless free
// operations; a location that cannot be worked out comes back empty.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

// BuildArgLine, which the entry point calls beside these queries, lives with
// the other command-line rules.
#include "common/command_line.h"

namespace kb {

// Validated temporary directory ("TMP", then "TEMP"; POSIX also "TMPDIR",
// then "/tmp"), created if missing; empty when unusable (logged).
std::string GetTemp();
// Per-user data folder below the given base (empty: the user's profile or
// home); not checked, not created.
std::string GetDataLocation(const std::string& base);
// "<application name>_<date-time stamp>.log".
std::string GetLogFileName();
// "%d-%d-%d-%d.%d.%d": year, month, day, hour, minute, second, unpadded.
std::string GetDateTimeStamp();
// asctime form with a two-digit day, line feed included (25 characters).
std::string GetTimeStamp();
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
// For tests: sets the application name directly.
void SetApplicationNameForTesting(const std::string& name);

// The clock behind both time stamps; tests inject a fixed time.
void SetClockForTesting(std::function<std::time_t()> clock);

}  // namespace kb
