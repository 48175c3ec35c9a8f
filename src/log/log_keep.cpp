#include "log/log_keep.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/constants.h"
#include "common/text.h"
#include "log/log.h"
#include "platform/error_codes.h"
#include "platform/fs.h"
#include "platform/held_file.h"
#include "platform/java_places.h"

namespace kb {
namespace {

constexpr char kTagLogKeep[] = "Launcher::logkeep";

// Reads a decimal number at *at as the launcher writes one ("%d"): no
// leading zero unless it is the lone 0, and within [low, high].
bool ReadNumber(const std::string& text, std::size_t* at, int low, int high, int* number) {
  const std::size_t start = *at;
  long long value = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    value = value * 10 + (text[*at] - '0');
    if (value > high) return false;
    ++*at;
  }
  if (*at == start) return false;
  if (text[start] == '0' && *at - start > 1) return false;
  if (value < low) return false;
  *number = static_cast<int>(value);
  return true;
}

bool ReadChar(const std::string& text, std::size_t* at, char c) {
  if (*at >= text.size() || text[*at] != c) return false;
  ++*at;
  return true;
}

struct FoundLog {
  std::int64_t written = 0;
  LogNameAge age;
  std::string path;
};

}  // namespace

bool LogNameAge::operator<(const LogNameAge& o) const {
  for (int i = 0; i < 6; ++i) {
    if (numbers[i] != o.numbers[i]) return numbers[i] < o.numbers[i];
  }
  return n < o.n;
}

bool ParseLogName(const std::string& name, const std::string& application, LogNameAge* age) {
  const std::string prefix = application + kLogNameSeparator;
  const std::string extension = kLogExtension;
  if (name.size() <= prefix.size() + extension.size()) return false;
  // The application's name as the file system spells it; the rest exactly.
  if (!platform::SameFileName(name.substr(0, prefix.size()), prefix)) return false;
  if (!platform::SameFileName(name.substr(name.size() - extension.size()), extension)) {
    return false;
  }
  const std::string stamp = name.substr(prefix.size(), name.size() - prefix.size() - extension.size());
  static const char kSeparators[] = {'-', '-', '-', '.', '.'};
  static const int kLow[] = {1, 1, 1, 0, 0, 0};
  static const int kHigh[] = {9999, 12, 31, 23, 59, 60};
  // The suffixes a launch tries within one second (see ChooseLogPlace).
  constexpr int kHighestSuffix = 1000;
  std::size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    if (i > 0 && !ReadChar(stamp, &at, kSeparators[i - 1])) return false;
    if (!ReadNumber(stamp, &at, kLow[i], kHigh[i], &age->numbers[i])) return false;
  }
  age->n = 1;
  if (ReadChar(stamp, &at, '_') && !ReadNumber(stamp, &at, 2, kHighestSuffix, &age->n)) {
    return false;
  }
  return at == stamp.size();
}

int ParseLogKeep(const std::string& value) {
  if (value.empty()) return 0;
  long long count = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + (c - '0');
    if (count > INT_MAX) return 0;
  }
  return static_cast<int>(count);
}

void KeepNewestLogs(const std::string& folder, const std::string& application,
                    const std::string& own, int keep) {
  if (keep < 1) return;
  const std::string separator(1, platform::PathSeparator());
  std::vector<FoundLog> logs;
  for (const std::string& name : platform::ListFolder(folder)) {
    FoundLog log;
    if (!ParseLogName(name, application, &log.age)) continue;
    log.path = folder + separator + name;
    // This launch's own file is kept whatever its name says of its age.
    if (log.path == own) continue;
    if (!platform::IsPlainFile(log.path)) continue;
    // Gone since the listing: nothing to keep or remove.
    if (platform::LastWriteTime(log.path, &log.written) != 0) continue;
    logs.push_back(log);
  }
  // The own file takes one of the places kept.
  const std::size_t others_kept = static_cast<std::size_t>(keep - 1);
  if (logs.size() <= others_kept) return;
  std::sort(logs.begin(), logs.end(), [](const FoundLog& a, const FoundLog& b) {
    if (a.written != b.written) return b.written < a.written;
    return b.age < a.age;
  });
  for (std::size_t i = others_kept; i < logs.size(); ++i) {
    bool held = false;
    const int error = platform::RemoveUnlessHeld(logs[i].path, &held);
    // Removed by another launch meanwhile: what was asked for.
    if (error != 0 && error != platform::kErrorFileNotFound) {
      LogWarning(kTagLogKeep, logs[i].path + " could not be removed (error " +
                                  IntToString(error) + ")");
    }
  }
}

}  // namespace kb
