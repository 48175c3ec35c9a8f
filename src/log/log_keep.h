// How many of an application's launcher-made logs a folder keeps.
#pragma once

#include <string>

namespace kb {

// The count a "logkeep" value asks for: a decimal number from 1, or 0 (keep
// everything) for an empty value, a sign, anything but digits, or zero. A
// count too large to hold keeps everything too.
int ParseLogKeep(const std::string& value);

// Where a launcher-made log name stands among its application's, for names
// that were last written at the same moment: the six date and time numbers,
// then the "_<n>" suffix (none before 2).
struct LogNameAge {
  int numbers[6] = {};
  int n = 1;
  bool operator<(const LogNameAge& o) const;
};

// True when `name` is one the launcher could have made for `application`:
// "<application>_<y>-<m>-<d>-<h>.<min>.<s>[_<n>].log", each number decimal
// without a leading zero (a lone 0 is one), in range (year 1 to 9999, month
// 1 to 12, day 1 to 31, hour 0 to 23, minute 0 to 59, second 0 to 60), and
// n from 2 to 1000. The application's part and ".log" compare as the file
// system compares names.
bool ParseLogName(const std::string& name, const std::string& application, LogNameAge* age);

// Removes the oldest launcher-made logs of `application` in `folder` so that
// at most `keep` remain, `own` (this launch's file, a name in that folder)
// always among them. Only plain files (no link, no folder) whose names
// ParseLogName accepts count. The oldest is the one written longest ago
// (the file system's time of the last write, which a reused name or a change
// of the zone's offset does not mislead), names breaking ties. A log that
// another launch still holds (AppendFile::Hold) is never removed. Each
// removal that fails is one WARNING line; nothing else is reported.
// keep < 1: nothing.
void KeepNewestLogs(const std::string& folder, const std::string& application,
                    const std::string& own, int keep);

}  // namespace kb
