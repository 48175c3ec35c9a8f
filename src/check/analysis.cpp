#include "check/analysis.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "config/ini_file.h"
#include "config/options.h"
#include "config/user_ini.h"
#include "env/env_calls.h"
#include "instance/mutex_obj.h"
#include "java/java_cache.h"
#include "log/log_keep.h"
#include "log/log_output.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/mutex.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"
#include "platform/program_info.h"

namespace kb {
namespace check {
namespace {

// Large enough for any key list a file can hold: the check lists what is
// written, whatever the launcher's own buffers take.
constexpr std::size_t kWholeList = 64u << 20;

std::string Sep() { return std::string(1, platform::PathSeparator()); }

bool SamePath(const std::string& a, const std::string& b) {
  // Windows file names ignore letter case.
  return platform::PathSeparator() == '\\' ? EqualsNoCase(a, b) : a == b;
}

std::string FolderOf(const std::string& path) {
  const std::string::size_type sep = path.rfind(platform::PathSeparator());
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string FileNameOf(const std::string& path) {
  const std::string::size_type sep = path.rfind(platform::PathSeparator());
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// The launcher's argument line, as its entry point joins its arguments.
std::string ArgLineOf(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"launcher"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return BuildArgLine(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> KeyNames(const std::string& section, const std::string& file) {
  std::string list;
  platform::ReadProfileKeyNames(section, kWholeList, file, &list);
  return SplitKeyList(list);
}

}  // namespace

std::vector<std::string> LaunchAndPropertySections(const std::string& platform) {
  std::vector<std::string> sections = LookupSections(platform);
  sections.push_back(kSectionProperties);
  return sections;
}

namespace {

// Where the lookups of one launch read: the configuration file and the
// user file, each with its lines.
struct Sources {
  const std::string& file;
  const IniScan& scan;
  const UserIni& user;
  const IniScan& user_scan;
};

// Where the lookup of a key (without override) finds it: the file, the
// section and whether it is written there with an empty value.
// `section_value` answers as ReadSectionValue does for that file.
using SectionValue = std::function<std::string(const std::string&, const std::string&)>;
void LocateIn(const std::string& platform, const std::string& key,
              const SectionValue& section_value, const IniScan& scan, KeyValue* out) {
  for (const std::string& section : LookupSections(platform)) {
    const std::string value = section_value(section, key);
    if (value.empty()) continue;
    out->source = value == kPresentButEmpty ? "present-but-empty" : section;
    out->section = section;
    out->line = scan.LineOf(section, key);
    return;
  }
  out->source = "absent";
}

void LocateIn(const std::string& platform, const std::string& key, const std::string& file,
              const IniScan& scan, KeyValue* out) {
  LocateIn(
      platform, key,
      [&file](const std::string& section, const std::string& name) {
        return ReadSectionValue(section, name, file);
      },
      scan, out);
}

void LocateKey(const std::string& platform, const std::string& key, const Sources& in,
               KeyValue* out) {
  // The launch's own answer says whether the user file holds the key; the
  // bytes it answers from are the ones looked at, never the file again.
  if (!in.user.Lookup(platform, key).empty()) {
    out->file = in.user.path();
    LocateIn(
        platform, key,
        [&in](const std::string& section, const std::string& name) {
          return ReadSectionValue(section, name, in.user.reader());
        },
        in.user_scan, out);
    return;
  }
  LocateIn(platform, key, in.file, in.scan, out);
}

// One launch key read as the launch reads it: override first (consumed),
// then the lookups.
KeyValue ReadLaunchKey(DataControl* values, const std::string& platform, const std::string& key,
                       const Sources& in) {
  KeyValue kv;
  kv.key = key;
  // Looked at first without taking it: an empty override is consumed but
  // leaves the file's value in force.
  int found = 0;
  const bool overridden =
      !platform::ProfileValueOf(values->GetOptionValue("-" + key, &found, 0)).empty();
  kv.value = values->GetConfigValue(platform, key, in.file);
  if (overridden) {
    kv.source = "override";
  } else {
    LocateKey(platform, key, in, &kv);
  }
  return kv;
}

// The launch keys in the order the launch reads them, so that overrides
// are consumed in the same order.
void ReadKeys(const std::string& arg_line, const std::string& platform, const std::string& file,
              const IniScan& scan, Report* report) {
  DataControl values(ParseOptions(arg_line));
  values.GetProperties(file);
  const UserIni& user = values.LoadUserIni(platform, file);
  const IniScan user_scan =
      user.IsRead() ? IniScan::FromBytes(user.path(), user.bytes()) : IniScan();
  const Sources in{file, scan, user, user_scan};
  for (const char* key :
       {kKeyLogDir, kKeyLogKeep, kKeyLogOutput, kKeyLogMax, kKeyStartDir, kKeyStdin, kKeyTerminal,
        kKeyJavaCache, kKeyLauncherCmd, kKeyLauncherArgs}) {
    report->keys.push_back(ReadLaunchKey(&values, platform, key, in));
  }
  const bool java_read = report->keys.back().value.empty();
  auto numbered = [&](const std::string& prefix) {
    for (int n = 1;; ++n) {
      KeyValue kv = ReadLaunchKey(&values, platform, prefix + IntToString(n), in);
      if (kv.value.empty()) break;
      report->keys.push_back(std::move(kv));
    }
  };
  if (java_read) {
    numbered(kKeyJavaArgsPrefix);
    report->keys.push_back(ReadLaunchKey(&values, platform, kKeyClasspath, in));
    report->keys.push_back(ReadLaunchKey(&values, platform, kKeyMainClass, in));
    numbered(kKeyAddtlArgsPrefix);
  } else {
    for (const char* key : {kKeyClasspath, kKeyMainClass}) {
      KeyValue kv;
      kv.key = key;
      LocateKey(platform, key, in, &kv);
      if (kv.source != "absent") kv.source = "not read";
      report->keys.push_back(std::move(kv));
    }
  }
  // The guard's keys: no override, no placeholders.
  for (const char* key : {kKeyId, kKeyNoRunWith}) {
    KeyValue kv;
    kv.key = key;
    kv.value = ReadIniValue(platform, key, file);
    LocateIn(platform, key, file, scan, &kv);
    report->keys.push_back(std::move(kv));
  }
}

void DescribeProperties(const DataControl& options, const std::string& file, const IniScan& scan,
                        Report* report) {
  MasterFile& master = report->master;
  const std::string master_value =
      ReadIniValueIn({kSectionProperties, kSectionDefault}, kKeyMasterProp, file);
  const std::vector<std::string> own = KeyNames(kSectionProperties, file);
  master.named = std::find(own.begin(), own.end(), kKeyMasterProp) != own.end();
  // An empty "MASTERPROP=" is the way to the built-in names without a file.
  master.value = master_value == kPresentButEmpty ? std::string() : NormalizeSlashes(master_value);
  master.path = options.GetMasterFile();
  std::vector<std::string> master_names;
  if (!master.path.empty()) master_names = KeyNames(kSectionProperties, master.path);
  master.found = !master_names.empty();
  const IniScan master_scan = master.found ? IniScan(master.path) : IniScan();
  for (const std::string& name : master_names) {
    if (std::find(own.begin(), own.end(), name) != own.end()) master.shadowed.push_back(name);
  }

  const std::vector<PropertyEntry>& entries = options.Properties();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PropertyEntry& entry = entries[i];
    if (entry.name.empty()) continue;
    Property property;
    property.name = entry.name;
    property.value = entry.value;
    const bool built_in = master.named && i + 2 >= entries.size() &&
                          (entry.name == kPropWorkingDir || entry.name == kPropLauncherDir);
    if (built_in) {
      property.origin = "built-in";
    } else if (std::find(own.begin(), own.end(), entry.name) != own.end()) {
      property.origin = "file";
      property.line = scan.LineOf(kSectionProperties, entry.name);
    } else {
      property.origin = "master";
      property.line = master_scan.LineOf(kSectionProperties, entry.name);
      master.added.push_back(entry.name);
    }
    report->properties.push_back(std::move(property));
  }
}

void AddUse(Property* property, const std::string& use) {
  if (std::find(property->used_by.begin(), property->used_by.end(), use) ==
      property->used_by.end()) {
    property->used_by.push_back(use);
  }
}

// Which keys of the sections the launch reads name each placeholder: the
// configuration file's, and the keys the user file may set.
void FindPropertyUses(const IniScan& scan, const std::string& platform, const UserIni& user,
                      const std::vector<std::string>& args, Report* report) {
  const IniScan user_scan =
      user.IsRead() ? IniScan::FromBytes(user.path(), user.bytes()) : IniScan();
  for (Property& property : report->properties) {
    const std::string placeholder = "<" + property.name + ">";
    for (const std::string& name : LaunchAndPropertySections(platform)) {
      const IniScan::Section* section = scan.FirstSection(name);
      if (section == nullptr) continue;
      for (const IniScan::Key& key : section->keys) {
        if (!key.has_value || key.value.find(placeholder) == std::string::npos) continue;
        AddUse(&property, name == kSectionProperties ? "<" + key.name + ">" : key.name);
      }
    }
    // The user file's section "properties" is ignored, and so are the keys
    // it may not set.
    for (const std::string& name : {platform, std::string(kSectionDefault)}) {
      const IniScan::Section* section = user_scan.FirstSection(name);
      if (section == nullptr) continue;
      for (const IniScan::Key& key : section->keys) {
        if (!key.has_value || !UserIni::MaySet(key.name) ||
            key.value.find(placeholder) == std::string::npos) {
          continue;
        }
        AddUse(&property, key.name);
      }
    }
    for (const std::string& arg : args) {
      if (arg.find(placeholder) != std::string::npos) {
        property.used_by.push_back("launcher arguments");
        break;
      }
    }
  }
}

void DescribeGuard(const std::string& platform, const std::string& file, Report* report) {
  const std::string id = TrimRightChars(ReadIniValue(platform, kKeyId, file), " ");
  report->guard_id = id;
  for (const std::string& entry : NoRunWithEntries(ReadIniValue(platform, kKeyNoRunWith, file))) {
    GuardEntry guard;
    guard.id = entry;
    guard.display = ReadIniValue(platform, kKeyNoRunWithDisplayPrefix + entry, file);
    bool exists = false;
    // A probe only looks: it never brings the name into being.
    if (platform::ProbeNamedMutex(kMutexNamePrefix + entry, &exists) != 0) {
      guard.state = "unknown";
    } else {
      guard.state = exists ? "running" : "not running";
    }
    report->norunwith.push_back(std::move(guard));
  }
}

void AddFinding(Report* report, Severity severity, const std::string& code, const std::string& file,
                std::size_t line, const std::string& message) {
  report->findings.push_back(Finding{severity, code, file, line, message});
}

// A finding on the value of a key: at the line, and in the file, that the
// key was read from (the user file's, when it came from there).
void AddKeyFinding(Report* report, Severity severity, const std::string& code,
                   const std::string& key, const std::string& message) {
  for (const KeyValue& kv : report->keys) {
    if (kv.key != key) continue;
    AddFinding(report, severity, code, kv.file.empty() ? report->config_file : kv.file, kv.line,
               message);
    return;
  }
  AddFinding(report, severity, code, report->config_file, 0, message);
}

// The user file the launch would read, and each thing its log would warn
// about as a finding at its line.
void DescribeUserIni(const UserIni& user, Report* report) {
  report->user_file = user.path();
  for (const UserIniNote& note : user.notes()) {
    switch (note.kind) {
      case UserIniNote::Kind::kRead:
        report->user_file_state = "read";
        break;
      case UserIniNote::Kind::kMissing:
        report->user_file_state = "missing";
        break;
      case UserIniNote::Kind::kRefused:
        report->user_file_state = "refused";
        AddFinding(report, Severity::kWarning, "userini-refused", user.path(), 0,
                   "the user file " + note.text);
        break;
      case UserIniNote::Kind::kIgnored:
        AddFinding(report, Severity::kWarning, "userini-ignored", user.path(), note.line,
                   note.text);
        break;
    }
  }
}

}  // namespace

std::string DefaultLauncherFor(const std::string& config_file) {
  std::string name = FileNameOf(config_file);
  if (EndsWithNoCase(name, kIniExtension)) name.erase(name.size() - (sizeof kIniExtension - 1));
  std::string path = FolderOf(config_file);
  path += (path.empty() ? "" : Sep()) + name + kConsoleSuffix;
  if (platform::PathSeparator() == '\\') path += ".exe";
  return path;
}

int KindOfLauncher(const std::string& launcher_path) {
  return FileNameOf(launcher_path).find(kConsoleSuffix) != std::string::npos ? kKindConsole
                                                                             : kKindWindowed;
}

// The launcher's kind and version as the program itself states them; the
// kind by its name only when there is no program to ask (a configuration
// checked before its launcher is copied beside it).
void DescribeLauncher(const std::string& launcher_path, Report* report) {
  platform::ProgramInfo info;
  if (platform::ReadProgramInfo(launcher_path, &info) != 0) info = platform::ProgramInfo();
  report->launcher_version = info.version;
  switch (info.kind) {
    case platform::ProgramKind::kConsole:
      report->kind = kKindConsole;
      report->kind_from = "program";
      break;
    case platform::ProgramKind::kWindowed:
      report->kind = kKindWindowed;
      report->kind_from = "program";
      break;
    case platform::ProgramKind::kUnknown:
      report->kind = KindOfLauncher(launcher_path);
      report->kind_from = "name";
      break;
  }
}

bool Analyse(const Request& request, Report* report, std::string* error) {
  *report = Report();
  if (!request.platform.empty() && request.platform != kPlatformWin &&
      request.platform != kPlatformWx6) {
    *error = "unknown platform \"" + request.platform + "\": use win or wx6";
    return false;
  }
  std::string config;
  const int full_error = platform::FullPathName(request.config_file, &config);
  switch (full_error != 0 ? platform::PathKind::kMissing : platform::GetPathKind(config)) {
    case platform::PathKind::kMissing:
      *error = "no such file: " + request.config_file;
      return false;
    case platform::PathKind::kDirectory:
      *error = "a folder, not a configuration file: " + request.config_file;
      return false;
    case platform::PathKind::kFile:
      break;
  }
  // The launcher counts a file it cannot open as a regular file as missing;
  // a FIFO or a device could make a read wait for ever.
  platform::Handle opened;
  const int open_error = platform::OpenRegularFile(config, &opened, nullptr);
  if (open_error != 0) {
    *error = (open_error == platform::kErrorNotRegularFile
                  ? "not a regular file: "
                  : "cannot be read (error " + IntToString(open_error) + "): ") +
             request.config_file;
    return false;
  }
  (void)opened.Close();  // only opened to be tested
  report->config_file = config;
  report->platform_given = !request.platform.empty();
  report->platform = report->platform_given ? request.platform : GetOs();
  if (report->platform.empty()) {
    *error = "the platform of this machine cannot be determined: give --platform";
    return false;
  }
  const std::string& tag = report->platform;

  // A bare name is a launcher beside the configuration file.
  std::string launcher = request.launcher;
  if (launcher.empty()) {
    launcher = DefaultLauncherFor(config);
  } else if (launcher.find_first_of("\\/") == std::string::npos) {
    launcher = FolderOf(config) + Sep() + launcher;
  } else {
    const std::string given = launcher;
    // A path without a full form is refused below as an empty one.
    if (platform::FullPathName(given, &launcher) != 0) launcher.clear();
  }
  if (launcher.empty() || !InitApplicationAs(launcher)) {
    *error = "cannot use the launcher path: " + request.launcher;
    return false;
  }
  report->launcher = launcher;
  DescribeLauncher(launcher, report);
  const std::string launcher_dir = GetLauncherDir();
  report->launcher_reads =
      launcher_dir + Sep() + RemoveAll(ApplicationName(), kConsoleSuffix) + kIniExtension;

  const IniScan scan(config);
  const std::string arg_line = ArgLineOf(request.launcher_args);
  DataControl options(ParseOptions(arg_line));
  report->log_file = options.GetLogPath();
  report->temp_folder = options.GetTempLocation();
  if (!SamePath(report->launcher_reads, config)) {
    AddFinding(report, Severity::kWarning, "other-file", "", 0,
               "the launcher " + FileNameOf(launcher) + " reads " + report->launcher_reads +
                   ", not this file");
  }
  if (!options.GetProperties(config)) {
    AddFinding(report, Severity::kError, "properties-failed", "", 0,
               "the properties could not be loaded (out of memory): the launch ends with -103");
  }
  DescribeProperties(options, config, scan, report);
  const UserIni& user = options.LoadUserIni(tag, config);
  DescribeUserIni(user, report);
  ReadKeys(arg_line, tag, config, scan, report);

  // Where the launch's log goes: read as the launch reads it, before the
  // other keys.
  options.UseLogFolder(options.GetConfigValue(tag, kKeyLogDir, config));
  report->log_file = options.GetLogPath();

  // Read first, as the launch reads it, so that its override is consumed.
  const std::string keep = options.GetConfigValue(tag, kKeyLogKeep, config);
  if (!keep.empty() && keep != kPresentButEmpty && ParseLogKeep(keep) < 1) {
    AddKeyFinding(report, Severity::kWarning, "logkeep-value", kKeyLogKeep,
                  "logkeep=" + keep + " is not a positive number: every log is kept");
  }

  const std::string output = options.GetConfigValue(tag, kKeyLogOutput, config);
  bool copy_output = true;
  if (!ParseLogOutput(output, &copy_output)) {
    AddKeyFinding(report, Severity::kWarning, "logoutput-value", kKeyLogOutput,
                  "logoutput=" + output +
                      " is neither all nor none: all of the child's output is logged");
  }
  const std::string max = options.GetConfigValue(tag, kKeyLogMax, config);
  std::uint64_t max_bytes = 0;
  if (!ParseLogMax(max, &max_bytes)) {
    AddKeyFinding(report, Severity::kWarning, "logmax-value", kKeyLogMax,
                  "logmax=" + max +
                      " is not a positive size in bytes (with K, M or G): the log has no bound");
  }

  // The start folder is read first, as the launch does, so that its
  // override is consumed before the command's keys are read.
  const std::string start_dir = options.GetConfigValue(tag, kKeyStartDir, config);
  if (start_dir.empty()) {
    report->working_folder = launcher_dir;
    report->working_folder_reason = "the launcher's folder";
  } else if (start_dir == kPresentButEmpty) {
    report->working_folder = GetCurrentDir();
    report->working_folder_reason = "the folder the launcher is started from";
  } else {
    const std::string dir = NormalizeSlashes(start_dir);
    std::string full = dir;
    if (!platform::IsAbsolutePath(dir) && platform::FullPathName(dir, &full) != 0) full = dir;
    report->working_folder = full;
    report->working_folder_reason = "startdir";
    if (platform::GetPathKind(report->working_folder) != platform::PathKind::kDirectory) {
      // The change of folder fails silently: the child starts wherever the
      // launcher was started.
      AddKeyFinding(report, Severity::kError, "start-folder-missing", kKeyStartDir,
                    "the start folder " + report->working_folder +
                        " does not exist: the child would start in the folder the launcher "
                        "is started from");
    }
  }

  // Read before the command, as the launch reads it, so that its override
  // is not passed on to the child.
  const std::string input = options.GetConfigValue(tag, kKeyStdin, config);
  const bool inherit_input = EqualsNoCase(input, kStdinInherit);
  if (!inherit_input && !input.empty() && input != kPresentButEmpty && !EqualsNoCase(input, "none")) {
    AddKeyFinding(report, Severity::kWarning, "stdin-value", kKeyStdin,
                  "stdin=" + input + " is neither inherit nor none: the child gets no input");
  }
  const std::string terminal = options.GetConfigValue(tag, kKeyTerminal, config);
  const bool terminal_wanted = EqualsNoCase(terminal, kTerminalAuto);
  if (!terminal_wanted && !terminal.empty() && terminal != kPresentButEmpty) {
    AddKeyFinding(report, Severity::kWarning, "terminal-value", kKeyTerminal,
                  "terminal=" + terminal + " is not auto: the child's output goes through a pipe");
  }

  const std::string java_cache = options.GetConfigValue(tag, kKeyJavaCache, config);
  const bool cache_wanted = EqualsNoCase(java_cache, kJavaCacheAuto);
  if (!cache_wanted && !java_cache.empty() && java_cache != kPresentButEmpty) {
    AddKeyFinding(report, Severity::kWarning, "javacache-value", kKeyJavaCache,
                  "javacache=" + java_cache + " is not auto: no class-data cache is kept");
  }

  DescribeGuard(tag, config, report);
  PredictCommand(&options, tag, config, report->kind, report);
  if (cache_wanted && report->command_known && report->runner != "no-java" &&
      report->runner != "refused") {
    PredictJavaCache(options, report);
    if (!report->java_cache_refusal.empty()) {
      AddKeyFinding(report, Severity::kWarning, "javacache-none", kKeyJavaCache,
                    "javacache=auto keeps no class-data cache here: " +
                        report->java_cache_refusal);
    }
  }
  if (options.ReplacementLimitReached()) {
    // The launch ends before the guard or the child: nothing to predict.
    report->command_known = false;
    report->runner = "no-properties";
    AddFinding(report, Severity::kError, "properties-failed", "", 0,
               "placeholders would make a value more than " +
                   IntToString(static_cast<long long>(kMaxReplacementGrowth)) +
                   " characters longer: the launch ends with -103");
  }
  const bool relayed_console =
      report->runner != "hidden" && report->runner != "uninstall" && report->kind == kKindConsole;
  if (terminal_wanted && !relayed_console) {
    AddKeyFinding(report, Severity::kNote, "terminal-no-effect", kKeyTerminal,
                  "terminal=auto has no effect here: only the console launcher's relayed run "
                  "gives the child a terminal, never a hidden (-noconsole), uninstall or "
                  "windowed run");
  } else if (terminal_wanted && !input.empty() && input != kPresentButEmpty) {
    AddKeyFinding(report, Severity::kNote, "stdin-ignored", kKeyStdin,
                  "stdin=" + input + " is ignored whenever terminal=auto is in effect (standard "
                  "input and output both terminals): the child then reads the terminal");
  }
  if (inherit_input && !relayed_console) {
    AddKeyFinding(report, Severity::kNote, "stdin-no-effect", kKeyStdin,
                  "stdin=inherit has no effect here: only the console launcher's relayed run "
                  "passes its input on, never a hidden (-noconsole), uninstall or windowed run");
  }
  if (report->runner == "uninstall") {
    report->working_folder = GetDataLocation(std::string());
    report->working_folder_reason = "the data folder (uninstall run)";
  } else if (options.IsCleanup() == 1) {
    report->clean_folder = options.GetCleanDir();
  }

  AddFileFindings(scan, tag, report);
  AddLaunchFindings(scan, tag, launcher_dir, report);
  // What is left of the launcher's arguments once the keys read above took
  // their overrides: the text the child is given after the configured one.
  if (report->command_known) AddEnvFindings(config, user, options.GetArgLine(), report);
  FindPropertyUses(scan, tag, user, request.launcher_args, report);
  // Errors first, then warnings, then notes; each in file order.
  std::stable_sort(report->findings.begin(), report->findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.severity != b.severity) return a.severity < b.severity;
                     return a.line < b.line;
                   });
  return true;
}

}  // namespace check
}  // namespace kb
