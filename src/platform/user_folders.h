// Folders that belong to the user running the launcher: the temporary
// folder, the home folder, the local application-data folder.
#pragma once

#include <string>

namespace platform {

// The temporary directory candidate from the environment: Windows "TMP",
// then "TEMP"; POSIX also "TMPDIR", then "/tmp". Empty when none is set
// (an ordinary answer, which the caller replaces by its own default).
std::string TempDirFromEnvironment();

// The per-user local application-data folder, with a trailing separator,
// below which "Orlan<sep>Kestrelbay" is placed. A non-empty base replaces
// the user's home. Windows: base or USERPROFILE, then "\AppData\Local\"
// (major version 6 and later) or "\Local Settings\Application Data\".
// POSIX: $XDG_DATA_HOME/ when absolute, else home + "/.local/share/";
// the major version is ignored.
std::string LocalAppDataRoot(const std::string& base, double major_version);

// The user's own profile (home) folder: Windows "USERPROFILE"; POSIX "HOME",
// else the password database. Empty when none is known (an ordinary
// answer: a service account may have none).
std::string UserHomeFolder();

}  // namespace platform
