// DataControl: the launcher's own options (see config/options.h), the
// configuration lookups with their command-line overrides, and the property
// list that fills the "<name>" placeholders.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/options.h"
#include "config/user_ini.h"
#include "env/env_calls.h"
#include "log/log.h"

namespace kb {

// Process-wide switch set by "-nomessage": while true, user messages are
// only logged, never shown in a dialog box.
bool& NoMessage();

// One "<name>" placeholder and its replacement. Names and values are kept
// whole, whatever their length.
struct PropertyEntry {
  std::string name;
  std::string value;
};

// What placeholders may add to one text, and to all the values of one
// launch together: far more than any real configuration needs (a class
// path of 60,000 characters chained from properties), far less than would
// exhaust memory when placeholders name each other twice at every level or
// thousands of numbered keys name one long property.
constexpr std::size_t kMaxReplacementGrowth = std::size_t(1) << 20;

// Where an environment variable's text was put into a text by "<env:NAME>":
// `length` characters from `offset`. A later pass over a text that holds it
// leaves those characters alone.
struct TextSpan {
  std::size_t offset;
  std::size_t length;
};

class DataControl {
 public:
  // The launch's options: ParseOptions, then the result applied to the
  // process. Sets NoMessage(), makes the log place the process's log (see
  // UseLog) and creates the temporary folder (a failure is kept in
  // GetTempFolder()). Cannot fail.
  explicit DataControl(const std::string& argument_line);
  // Options already parsed, applied to nothing: for a tool that predicts a
  // launch. The temporary folder is judged as the launch would judge it
  // (DecideTempFolder without creating).
  explicit DataControl(OptionState options);
  ~DataControl();
  DataControl(const DataControl&) = delete;
  DataControl& operator=(const DataControl&) = delete;

  // ArgumentList::Find and ValueOf on the arguments the parse left, with
  // remove non-zero consuming.
  int FindOption(const std::string& option, int remove);
  std::string GetOptionValue(const std::string& option, int* found, int remove);

  // The pass-through text: the arguments that are left, joined as
  // BuildArgLine joins them, so that the child splits them back unchanged.
  std::string GetArgLine() const;
  std::vector<std::string> GetArguments() const { return options_.arguments.Left(); }
  std::string GetCleanDir() const { return options_.clean_dir; }
  std::string GetDataDir() const { return data_location_; }
  int IsConsole() const { return options_.console; }
  int IsCleanup() const { return options_.cleanup; }
  // The temporary folder chosen by "-templocation" or the default one,
  // named even when unusable.
  std::string GetTempLocation() const { return temp_.path; }
  // That folder with DecideTempFolder's verdict: the launch created it, an
  // inspecting parse only predicts whether it could.
  const TempFolder& GetTempFolder() const { return temp_; }
  // The log path and "-nomessage" as the parse found them (what a launch
  // puts into LogFilePath() and NoMessage()).
  std::string GetLogPath() const { return log_.path; }
  bool GetNoMessage() const { return options_.no_message; }

  // Command-line override "-<key> value" (consumed even when its value is
  // empty, so that a second read of the key finds the next override or
  // the file), else the user file's value (UserIni::Lookup, once
  // LoadUserIni has found one), else ReadIniValue (section, then "default"),
  // with placeholders replaced: the value, " " for present-but-empty, ""
  // when absent.
  // Placeholders may make the values read through here at most
  // kMaxReplacementGrowth characters longer in all; past that a value is
  // given back as written and ReplacementLimitReached() turns true. The
  // override's value is read as the file's "key=value" would be (outer white
  // space and one pair of outer quotes dropped) and is used as that text
  // written in the file would be, without placeholder replacement.
  // The places where environment text went into the value are added to
  // `env_spans` when it is not null.
  std::string GetConfigValue(const std::string& section, const std::string& key,
                             const std::string& file, std::vector<TextSpan>* env_spans = nullptr);
  // GetConfigValue of prefix + n in decimal.
  std::string GetNumberedValue(const std::string& section, const std::string& prefix,
                               int n, const std::string& file);
  // The values of prefix1, prefix2, ... up to the first absent one, each
  // followed by one blank.
  std::string JoinNumberedValues(const std::string& section, const std::string& prefix,
                                 const std::string& file,
                                 std::vector<TextSpan>* env_spans = nullptr);

  // Loads the section "properties" of the file, then of the master property
  // file it names in "MASTERPROP" (followed by "WORKINGDIR" and
  // "LAUNCHERDIR"). Returns 1, or 0 when memory ran out (entries added so far
  // stay).
  int GetProperties(const std::string& file);
  // Replaces every "<name>" of every entry, in list order: an inserted value
  // is seen by the entries after it, not by its own. Placeholders may make a
  // text at most kMaxReplacementGrowth characters longer: a text they would
  // make longer is given back as it was, and ReplacementLimitReached() turns
  // true for good. The launch then ends as when the properties cannot be
  // loaded.
  // Then every "<env:NAME>" left is replaced by the value of the environment
  // variable NAME (letter case as the platform's names have it) in one
  // left-to-right pass, so an inserted value is never searched again; a
  // property named "env:NAME" is replaced first and so wins. A variable that
  // is unset or empty leaves the placeholder as written, logged once per
  // name. Its growth counts towards the same bound. The spans in `kept`
  // (sorted, not overlapping: text that came from the environment in an
  // earlier pass) are copied unsearched; the places of this pass's
  // environment text are added to `env_spans` when it is not null.
  std::string ReplaceProperties(const std::string& text,
                                const std::vector<TextSpan>& kept = {},
                                std::vector<TextSpan>* env_spans = nullptr);
  bool ReplacementLimitReached() const { return replacement_limit_reached_; }
  // Drops every entry but the first; harmless to call twice.
  void FreeProperties();
  const std::vector<PropertyEntry>& Properties() const { return properties_; }
  // Reads "userini" from the configuration file alone (section, then
  // "default"; no override), with placeholders replaced and separators made
  // native, and judges the file it names (UserIni::Open). From then on
  // GetConfigValue looks in that file before the configuration file. The
  // notes are the caller's to report.
  const UserIni& LoadUserIni(const std::string& section, const std::string& file);

  // Puts the launcher-made log into `folder` (the "logdir" value, as
  // GetConfigValue gives it) instead of the data folder. A log file named
  // with "-applogloc" wins, and an empty or blank value changes nothing.
  // Either separator may be written; a relative folder is taken from the
  // current one, as "-datalocation" is. A launch (the argument-line
  // constructor) makes the new place the process's log; GetLogPath names
  // it either way.
  void UseLogFolder(const std::string& folder);

  // The master property file whose names were read (made absolute beside
  // the configuration file when it was relative); "" without one.
  std::string GetMasterFile() const { return master_file_; }

  int autorun = 0;

 private:
  DataControl(OptionState options, bool apply);
  // `master` "" (an empty "MASTERPROP=") opens nothing and adds only the
  // built-in names.
  void LoadMasterProperties(std::string master, const std::string& folder);
  void AddBuiltInProperties();
  bool HasProperty(const std::string& name) const;
  void AddProperty(const std::string& name, const std::string& file);
  // One stretch of ReplaceProperties appended to `out`; false past the bound.
  bool ReplaceInPiece(const std::string& text, std::size_t* added,
                      std::string* out, std::vector<TextSpan>* env_spans);

  OptionState options_;
  // Never empty: the first entry always exists, and the last one is the
  // empty entry that the next property is written into.
  std::vector<PropertyEntry> properties_;
  TempFolder temp_;
  std::string data_location_;
  LogPlace log_;
  bool apply_ = false;
  std::string master_file_;
  UserIni user_ini_;
  std::size_t values_growth_ = 0;
  bool replacement_limit_reached_ = false;
  // The unset variables already logged, so each is logged once per launch.
  std::vector<std::string> unset_logged_;
};

}  // namespace kb
