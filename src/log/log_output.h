// What of the child's output a launch copies into its log: all of it (the
// default), none ("logoutput=none"), or all up to a bound on the log file's
// size ("logmax"). The console gets the whole output in every case, and the
// launcher's own lines are always logged.
#pragma once

#include <cstdint>
#include <string>

namespace kb {

struct OutputLogging {
  bool copy = true;
  // The log file's size past which no more of the child's output is
  // copied; 0: no bound.
  std::uint64_t max_bytes = 0;
};

// A "logoutput" value: "all" or "none" in any letter case. False for any
// other text, *copy then true; an absent or empty value is "all".
bool ParseLogOutput(const std::string& value, bool* copy);

// A "logmax" value: a decimal number of bytes from 1, with an optional
// unit K, M or G (any letter case; powers of 1,024) right after it. False
// for anything else (a sign, a blank, a fraction, zero, a size past 2^63),
// *bytes then 0, no bound; an absent or empty value is no bound either.
bool ParseLogMax(const std::string& value, std::uint64_t* bytes);

}  // namespace kb
