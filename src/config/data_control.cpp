#include "config/data_control.h"

#include <cstddef>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/profile_reader.h"

namespace kb {
namespace {

// A relative location fixed against the start folder once, while the
// options are parsed, so that a later change of working directory cannot
// split one run's log (or data) over two places.
std::string FixedLocation(const std::string& path) {
  if (path.empty() || platform::IsAbsolutePath(path)) return path;
  std::string full;
  return platform::FullPathName(path, &full) == 0 ? full : path;
}

// A value of blanks names no place: it means the default, as an empty one
// does. Made absolute, it would name a file or folder " " in the start folder.
std::string GivenLocation(const std::string& value) {
  return TrimChars(value, " ").empty() ? std::string() : value;
}

// The value of one of the launcher's own location options as the launcher
// uses it: "/" written as the native separator, since the folder of a log
// path is found by it (on Windows "/" becomes "\"; on POSIX "/" already is
// the separator, and a backslash is an ordinary character of a name).
std::string OwnLocation(std::string value) {
  value = GivenLocation(value);
  for (char& c : value) {
    if (c == '/') c = platform::PathSeparator();
  }
  return value;
}

}  // namespace

bool& NoMessage() {
  static bool no_message = false;
  return no_message;
}

DataControl::DataControl(const std::string& argument_line)
    : arguments_(SplitArguments(argument_line)), properties_(1) {
  ParseOptions(true);
}

DataControl::DataControl(const std::string& argument_line, InspectOnly)
    : arguments_(SplitArguments(argument_line)), properties_(1) {
  ParseOptions(false);
}

DataControl::~DataControl() { FreeProperties(); }

std::string DataControl::GetArgLine() const { return JoinArguments(arguments_); }

int DataControl::FindOption(const std::string& option, int remove) {
  if (option.empty()) return -1;
  for (std::size_t i = 0; i < arguments_.size(); ++i) {
    if (!EqualsNoCase(arguments_[i], option)) continue;
    if (remove) arguments_.erase(arguments_.begin() + static_cast<std::ptrdiff_t>(i));
    return static_cast<int>(i);
  }
  return -1;
}

std::string DataControl::GetOptionValue(const std::string& option, int* found, int remove) {
  const int at = FindOption(option, remove);
  if (found != nullptr) *found = at >= 0 ? 1 : 0;
  if (at < 0) return std::string();
  // After a removal the value has moved into the option's place.
  const std::size_t value_at = static_cast<std::size_t>(at) + (remove ? 0 : 1);
  if (value_at >= arguments_.size()) return std::string();
  std::string value = arguments_[value_at];
  if (remove) arguments_.erase(arguments_.begin() + static_cast<std::ptrdiff_t>(value_at));
  return value;
}

void DataControl::ParseOptions(bool apply) {
  // The order matters: every removal changes the arguments the later
  // searches see.
  int found = 0;
  FindOption(kOptWait, 1);
  FindOption(kOptConsole, 1);
  console_ = FindOption(kOptNoConsole, 1) >= 0 ? 0 : 1;
  FindOption(kOptQuiet, 0);
  no_message_ = FindOption(kOptNoMessage, 1) >= 0;
  if (apply) NoMessage() = no_message_;

  // The log path and the data location are the launcher's own copies: the
  // options stay in the pass-through arguments as they were given.
  log_path_ = FixedLocation(
      OwnLocation(GetOptionValue(std::string("-") + kKeyAppLogLoc, &found, 0)));
  // Set at once: the temporary folder's checks below log to it.
  if (apply) LogFilePath() = log_path_;

  GetOptionValue(kOptJreHome, &found, 1);
  // One decision for the launch and for a prediction of it: made here, and
  // read again when an argument file is to be written.
  temp_ = DecideTempFolder(OwnLocation(GetOptionValue(kOptTempLocation, &found, 1)), apply);
  cleanup_ = FindOption(kOptNoCleanup, 1) >= 0 ? 0 : 1;

  clean_dir_ = OwnLocation(GetOptionValue(kOptCleanDir, &found, 1));
  data_location_ = FixedLocation(OwnLocation(GetOptionValue(kOptDataLocation, &found, 0)));
  if (data_location_.empty()) data_location_ = GetDataLocation(std::string());
  // A name the launcher makes itself is claimed exclusively when first
  // written; a name the user gives is opened as named.
  const bool launcher_made = log_path_.empty();
  if (launcher_made) {
    log_path_ = data_location_ + platform::PathSeparator() + GetLogFileName();
  }
  if (apply) {
    if (launcher_made) {
      SetLauncherLogPath(log_path_);
    } else {
      LogFilePath() = log_path_;
    }
  }
  autorun = FindOption(kOptAutorun, 1) >= 0 ? 1 : 0;
}

std::string DataControl::GetConfigValue(const std::string& section, const std::string& key,
                                        const std::string& file) {
  int found = 0;
  // An override is consumed even when empty, so it never reaches the child.
  const std::string override_value =
      platform::ProfileValueOf(GetOptionValue("-" + key, &found, 1));
  if (!override_value.empty()) return override_value;
  const std::string written = ReadIniValue(section, key, file);
  std::string value = ReplaceProperties(written);
  // The values of one launch count together: numbered keys are read up to
  // the first missing number, however many there are.
  if (value.size() > written.size()) {
    values_growth_ += value.size() - written.size();
    if (values_growth_ > kMaxReplacementGrowth) {
      replacement_limit_reached_ = true;
      return written;
    }
  }
  return value;
}

std::string DataControl::GetNumberedValue(const std::string& section,
                                          const std::string& prefix, int n,
                                          const std::string& file) {
  return GetConfigValue(section, prefix + IntToString(n), file);
}

std::string DataControl::JoinNumberedValues(const std::string& section,
                                            const std::string& prefix,
                                            const std::string& file) {
  std::string result;
  for (int n = 1;; ++n) {
    const std::string item = GetNumberedValue(section, prefix, n, file);
    if (item.empty()) return result;
    result += item;
    result += ' ';
  }
}

}  // namespace kb
