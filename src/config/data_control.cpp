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
#include "platform/system.h"

namespace kb {
namespace {

// A relative location fixed against the start folder once, while the
// options are parsed, so that a later change of working directory cannot
// split one run's log (or data) over two places.
std::string FixedLocation(const std::string& path) {
  if (path.empty() || platform::IsAbsolutePath(path)) return path;
  const std::string full = platform::FullPathName(path);
  return full.empty() ? path : full;
}

}  // namespace

bool& NoMessage() {
  static bool no_message = false;
  return no_message;
}

DataControl::DataControl(const std::string& argument_line)
    : arguments_(SplitArguments(argument_line)), properties_(1) {
  ParseOptions();
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

void DataControl::ParseOptions() {
  // The order matters: every removal changes the text the later searches see.
  int found = 0;
  FindOption(kOptWait, 1);
  FindOption(kOptConsole, 1);
  console_ = FindOption(kOptNoConsole, 1) >= 0 ? 0 : 1;
  FindOption(kOptQuiet, 0);
  NoMessage() = FindOption(kOptNoMessage, 1) >= 0;

  // The log path and the data location are the launcher's own copies: the
  // options stay in the pass-through arguments as they were given.
  LogFilePath() = FixedLocation(GetOptionValue(std::string("-") + kKeyAppLogLoc, &found, 0));

  GetOptionValue(kOptJreHome, &found, 1);
  temp_location_ = GetOptionValue(kOptTempLocation, &found, 1);
  if (temp_location_.empty()) temp_location_ = GetTemp();
  cleanup_ = FindOption(kOptNoCleanup, 1) >= 0 ? 0 : 1;
  platform::CreateDirectoryTree(temp_location_);  // failure is harmless here

  clean_dir_ = GetOptionValue(kOptCleanDir, &found, 1);
  data_location_ = FixedLocation(GetOptionValue(kOptDataLocation, &found, 0));
  if (data_location_.empty()) data_location_ = GetDataLocation(std::string());
  if (LogFilePath().empty()) {
    SetLauncherLogPath(data_location_ + platform::PathSeparator() + GetLogFileName());
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
  return ReplaceProperties(ReadIniValue(section, key, file));
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
