// How many launcher-made logs of an application a folder keeps.
#pragma once

#include <string>

namespace kb {

// The count a "logkeep" value asks for: a decimal number from 1, or 0 (keep
// everything) for an empty value, a sign, anything but digits, or zero. A
// count too large to hold keeps everything too.
int ParseLogKeep(const std::string& value);

// Removes the oldest launcher-made logs of `application` in `folder` so that
// at most `keep` remain, `own` (this launch's file, a name in that folder)
// always among them. A launcher-made log is a plain file (no link, no
// folder) named exactly "<application>_<y>-<m>-<d>-<h>.<min>.<s>[_<n>].log"
// with decimal numbers; the oldest is the smallest of those numbers, taken
// in that order as numbers and then by n, a name without n before "_2".
// File times and the names' text order play no part. Each removal that
// fails is one WARNING line; nothing else is reported. keep < 1: nothing.
void KeepNewestLogs(const std::string& folder, const std::string& application,
                    const std::string& own, int keep);

}  // namespace kb
