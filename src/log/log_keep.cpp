#include "log/log_keep.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <vector>

#include "common/constants.h"
#include "common/text.h"
#include "log/log.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"
#include "platform/java_places.h"

namespace kb {
namespace {

constexpr char kTagLogKeep[] = "Launcher::logkeep";

// A decimal number as written, its leading zeros dropped, so that numbers
// of any length compare by value: the longer is larger, equal lengths by
// their digits.
struct Number {
  std::string digits;
  bool operator<(const Number& o) const {
    if (digits.size() != o.digits.size()) return digits.size() < o.digits.size();
    return digits < o.digits;
  }
  bool operator==(const Number& o) const { return digits == o.digits; }
};

// Reads one or more decimal digits at *at, stopping at the first other
// character.
bool ReadNumber(const std::string& text, std::size_t* at, Number* number) {
  const std::size_t start = *at;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') ++*at;
  if (*at == start) return false;
  std::string digits = text.substr(start, *at - start);
  const std::size_t first = digits.find_first_not_of('0');
  number->digits = first == std::string::npos ? std::string() : digits.substr(first);
  return true;
}

bool ReadChar(const std::string& text, std::size_t* at, char c) {
  if (*at >= text.size() || text[*at] != c) return false;
  ++*at;
  return true;
}

// Where a launcher-made log stands among its application's: the six date
// and time numbers, then whether it has a "_<n>" suffix, then n.
struct LogAge {
  std::vector<Number> numbers;
  bool numbered = false;
  Number n;
  bool operator<(const LogAge& o) const {
    if (!(numbers == o.numbers)) return numbers < o.numbers;
    if (numbered != o.numbered) return !numbered;
    return n < o.n;
  }
};

// The age of a name that parses exactly as a launcher-made log name of the
// application; false for any other name.
bool ParseLogName(const std::string& name, const std::string& application, LogAge* age) {
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
  std::size_t at = 0;
  age->numbers.assign(6, Number());
  for (int i = 0; i < 6; ++i) {
    if (i > 0 && !ReadChar(stamp, &at, kSeparators[i - 1])) return false;
    if (!ReadNumber(stamp, &at, &age->numbers[i])) return false;
  }
  age->numbered = ReadChar(stamp, &at, '_');
  if (age->numbered && !ReadNumber(stamp, &at, &age->n)) return false;
  return at == stamp.size();
}

struct FoundLog {
  LogAge age;
  std::string path;
};

}  // namespace

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
    logs.push_back(log);
  }
  // The own file takes one of the places kept.
  const std::size_t others_kept = static_cast<std::size_t>(keep - 1);
  if (logs.size() <= others_kept) return;
  std::sort(logs.begin(), logs.end(),
            [](const FoundLog& a, const FoundLog& b) { return b.age < a.age; });
  for (std::size_t i = others_kept; i < logs.size(); ++i) {
    if (const int error = platform::RemoveFile(logs[i].path)) {
      LogWarning(kTagLogKeep, logs[i].path + " could not be removed (error " +
                                  IntToString(error) + ")");
    }
  }
}

}  // namespace kb
