// The clock behind the log: the time stamp of every entry and the date and
// time in a launcher-made log name.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace kb {

// "%d-%d-%d-%d.%d.%d": year, month, day, hour, minute, second, unpadded.
std::string GetDateTimeStamp();
// asctime form with a two-digit day, line feed included (25 characters).
std::string GetTimeStamp();

// The clock behind both time stamps; tests inject a fixed time.
void SetClockForTesting(std::function<std::time_t()> clock);

}  // namespace kb
