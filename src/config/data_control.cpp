#include "config/data_control.h"

#include <utility>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/profile_reader.h"

namespace kb {

bool& NoMessage() {
  static bool no_message = false;
  return no_message;
}

DataControl::DataControl(const std::string& argument_line)
    : DataControl(ParseOptions(argument_line), true) {}

DataControl::DataControl(OptionState options) : DataControl(std::move(options), false) {}

DataControl::DataControl(OptionState options, bool apply)
    : options_(std::move(options)), properties_(1), apply_(apply) {
  autorun = options_.autorun;
  if (apply) {
    NoMessage() = options_.no_message;
    // A log the user named hears of the checks below at once. Without one
    // nothing is logged until the launcher-made name is set, at the end: it
    // is claimed at its first write, once LogOpen has made its folder.
    UseLog(LogPlace{options_.log_location, false});
  }
  // One decision for the launch and for a prediction of it: read again
  // when an argument file is to be written.
  temp_ = DecideTempFolder(options_.temp_location, apply);
  data_location_ = options_.data_location.empty() ? GetDataLocation(std::string())
                                                  : options_.data_location;
  log_ = ChooseLogPlace(options_.log_location, data_location_, ApplicationName());
  if (apply) UseLog(log_);
}

DataControl::~DataControl() { FreeProperties(); }

void DataControl::UseLogFolder(const std::string& folder) {
  if (!options_.log_location.empty()) return;
  std::string path = NormalizeSlashes(TrimChars(folder, " "));
  // "logs/" names the folder "logs": the log's name is joined with one
  // separator, and the folder is later found before the last one.
  while (path.size() > platform::RootLength(path) &&
         platform::IsPathSeparator(path.back())) {
    path.pop_back();
  }
  if (path.empty()) return;
  std::string full;
  if (!platform::IsAbsolutePath(path) && platform::FullPathName(path, &full) == 0) path = full;
  log_ = ChooseLogPlace(std::string(), path, ApplicationName());
  if (apply_) UseLog(log_);
}

std::string DataControl::GetArgLine() const { return JoinArguments(GetArguments()); }

int DataControl::FindOption(const std::string& option, int remove) {
  return options_.arguments.Find(option, remove != 0);
}

std::string DataControl::GetOptionValue(const std::string& option, int* found, int remove) {
  return options_.arguments.ValueOf(option, found, remove != 0);
}

std::string DataControl::GetConfigValue(const std::string& section, const std::string& key,
                                        const std::string& file,
                                        std::vector<TextSpan>* env_spans) {
  int found = 0;
  // An override is consumed even when empty, so it never reaches the child.
  const std::string override_value =
      platform::ProfileValueOf(GetOptionValue("-" + key, &found, 1));
  if (!override_value.empty()) return override_value;
  // The user's own file comes before the shipper's: a value there, even
  // an empty one, hides the configuration file's.
  std::string written = user_ini_.Lookup(section, key);
  if (written.empty()) written = ReadIniValue(section, key, file);
  std::vector<TextSpan> spans;
  std::string value = ReplaceProperties(written, {}, &spans);
  // The values of one launch count together: numbered keys are read up to
  // the first missing number, however many there are.
  if (value.size() > written.size()) {
    values_growth_ += value.size() - written.size();
    if (values_growth_ > kMaxReplacementGrowth) {
      replacement_limit_reached_ = true;
      return written;
    }
  }
  if (env_spans) env_spans->insert(env_spans->end(), spans.begin(), spans.end());
  return value;
}

const UserIni& DataControl::LoadUserIni(const std::string& section, const std::string& file) {
  const std::string written = ReadIniValue(section, kKeyUserIni, file);
  std::string path;
  if (!written.empty() && written != kPresentButEmpty) {
    path = NormalizeSlashes(ReplaceProperties(written));
  }
  user_ini_ = UserIni::Open(path);
  return user_ini_;
}

std::string DataControl::GetNumberedValue(const std::string& section,
                                          const std::string& prefix, int n,
                                          const std::string& file) {
  return GetConfigValue(section, prefix + IntToString(n), file);
}

std::string DataControl::JoinNumberedValues(const std::string& section,
                                            const std::string& prefix,
                                            const std::string& file,
                                            std::vector<TextSpan>* env_spans) {
  std::string result;
  for (int n = 1;; ++n) {
    std::vector<TextSpan> spans;
    const std::string item = GetConfigValue(section, prefix + IntToString(n), file, &spans);
    if (item.empty()) return result;
    if (env_spans) {
      for (const TextSpan& span : spans) {
        env_spans->push_back(TextSpan{result.size() + span.offset, span.length});
      }
    }
    result += item;
    result += ' ';
  }
}

}  // namespace kb
