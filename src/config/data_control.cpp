#include "config/data_control.h"

#include "common/constants.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/system.h"

namespace kb {
namespace {

// The blanks that separate arguments in the argument line.
bool IsArgBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool& NoMessage() {
  static bool no_message = false;
  return no_message;
}

DataControl::DataControl(std::string argument_line, OptionEffects effects)
    : effects_(effects), arg_line_(std::move(argument_line)), properties_(1) {
  ParseOptions();
}

DataControl::~DataControl() { FreeProperties(); }

int DataControl::FindOption(const std::string& option, int remove) {
  std::size_t trimmed_front = 0;
  return FindOptionAt(option, remove, &trimmed_front);
}

int DataControl::FindOptionAt(const std::string& option, int remove,
                              std::size_t* trimmed_front) {
  *trimmed_front = 0;
  if (option.empty()) return -1;
  const std::string line = ToLowerAscii(arg_line_);
  const std::string needle = ToLowerAscii(option);
  std::string::size_type pos = line.find(needle);
  while (pos != std::string::npos) {
    const std::string::size_type after = pos + needle.size();
    const bool starts_word = pos == 0 || IsArgBlank(line[pos - 1]);
    const bool ends_word = after == line.size() || IsArgBlank(line[after]);
    if (starts_word && ends_word) break;
    pos = line.find(needle, pos + 1);
  }
  if (pos == std::string::npos) return -1;
  if (remove) {
    arg_line_.erase(pos, needle.size());
    const std::string::size_type first = arg_line_.find_first_not_of(" \t\n\v\f\r");
    *trimmed_front = first == std::string::npos ? arg_line_.size() : first;
    arg_line_ = TrimWhitespace(arg_line_);
  }
  return static_cast<int>(pos);
}

std::string DataControl::GetOptionValue(const std::string& option, int* found, int remove) {
  std::size_t trimmed_front = 0;
  const int found_at = FindOptionAt(option, remove, &trimmed_front);
  if (found_at < 0) {
    if (found != nullptr) *found = 0;
    return std::string();
  }
  // Where the option stood in the line as it is now: the removal's trim may
  // have taken blanks from the front of the line.
  std::size_t pos = static_cast<std::size_t>(found_at);
  if (remove) pos = pos > trimmed_front ? pos - trimmed_front : 0;
  pos = std::min(pos, arg_line_.size());

  std::size_t i = remove ? pos : pos + option.size();
  while (i < arg_line_.size() && arg_line_[i] == ' ') ++i;
  std::size_t end = arg_line_.size();  // one past the value's last byte
  if (i < arg_line_.size()) {
    const char closer = arg_line_[i] == '"' ? '"' : ' ';
    const std::string::size_type hit = arg_line_.find(closer, i + 1);
    if (hit != std::string::npos) end = hit + 1;
  }
  const std::string raw = i < end ? arg_line_.substr(i, end - i) : std::string();
  if (remove && pos < arg_line_.size()) arg_line_.erase(pos, end - pos);
  if (found != nullptr) *found = 1;
  return TrimChars(raw, "\" ");
}

void DataControl::ParseOptions() {
  // The order matters: every removal changes the text the later searches see.
  const bool apply = effects_ == OptionEffects::kApply;
  int found = 0;
  FindOption(kOptWait, 1);
  FindOption(kOptConsole, 1);
  console_ = FindOption(kOptNoConsole, 1) >= 0 ? 0 : 1;
  FindOption(kOptQuiet, 0);
  no_message_ = FindOption(kOptNoMessage, 1) >= 0;
  if (apply) NoMessage() = no_message_;

  log_path_ = GetOptionValue(std::string("-") + kKeyAppLogLoc, &found, 0);
  // Fixed once here, so that a later change of working directory cannot
  // split one run's log over two files.
  if (!log_path_.empty() && !platform::IsAbsolutePath(log_path_)) {
    const std::string full = platform::FullPathName(log_path_);
    if (!full.empty()) log_path_ = full;
  }
  // Set before GetTemp, which logs into a log named by "-applogloc".
  if (apply) LogFilePath() = log_path_;

  GetOptionValue(kOptJreHome, &found, 1);
  temp_location_ = GetOptionValue(kOptTempLocation, &found, 1);
  if (temp_location_.empty()) {
    temp_location_ = apply ? GetTemp() : platform::TempDirFromEnvironment();
  }
  cleanup_ = FindOption(kOptNoCleanup, 1) >= 0 ? 0 : 1;
  if (apply) platform::CreateDirectoryTree(temp_location_);  // failure is harmless here

  clean_dir_ = GetOptionValue(kOptCleanDir, &found, 1);
  data_location_ = GetOptionValue(kOptDataLocation, &found, 0);
  if (data_location_.empty()) data_location_ = GetDataLocation(std::string());
  if (log_path_.empty()) {
    log_path_ = data_location_ + platform::PathSeparator() + GetLogFileName();
  }
  if (apply) LogFilePath() = log_path_;
  autorun = FindOption(kOptAutorun, 1) >= 0 ? 1 : 0;
}

std::string DataControl::GetConfigValue(const std::string& section, const std::string& key,
                                        const std::string& file) {
  int found = 0;
  // An override is consumed even when empty, so it never reaches the child.
  const std::string override_value = GetOptionValue("-" + key, &found, 1);
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
