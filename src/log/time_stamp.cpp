#include "log/time_stamp.h"

#include <cstdio>
#include <utility>

namespace kb {
namespace {

std::function<std::time_t()>& Clock() {
  static std::function<std::time_t()> clock = [] { return std::time(nullptr); };
  return clock;
}

std::tm LocalNow() {
  const std::time_t now = Clock()();
  std::tm parts{};
  const std::tm* local = std::localtime(&now);
  if (local) parts = *local;
  return parts;
}

}  // namespace

void SetClockForTesting(std::function<std::time_t()> clock) { Clock() = std::move(clock); }

std::string GetDateTimeStamp() {
  const std::tm t = LocalNow();
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d-%d-%d-%d.%d.%d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

std::string GetTimeStamp() {
  // Formatted here rather than by asctime, whose day field differs between C
  // runtimes (a leading blank in glibc, a leading zero in Microsoft's).
  static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::tm t = LocalNow();
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %d\n",
                kDays[(t.tm_wday % 7 + 7) % 7], kMonths[(t.tm_mon % 12 + 12) % 12], t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buffer;
}

}  // namespace kb
