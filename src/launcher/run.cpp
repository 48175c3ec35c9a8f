#include "launcher/run.h"

#include <utility>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "common/text.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "instance/mutex_obj.h"
#include "java/java_arg_file.h"
#include "java/java_cache.h"
#include "java/short_forms.h"
#include "launcher/child_command.h"
#include "launcher/cleanup_script.h"
#include "launcher/messages.h"
#include "log/log.h"
#include "log/log_keep.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/running_program.h"
#include "platform/text.h"
#include "process/exe_proc.h"

namespace kb {
namespace {

std::string Sep() { return std::string(1, platform::PathSeparator()); }

// The working directory the child starts in: the launcher's folder by
// default, the current one for a present-but-empty "startdir", else the
// configured folder. The change's result is not examined: a folder that
// cannot be entered leaves the child in the current one, and the start
// itself says whether that child can run.
void ApplyStartDir(const std::string& start_dir, const std::string& launcher_dir) {
  if (start_dir.empty()) {
    (void)platform::SetCurrentDir(launcher_dir);
    LogInfo("Launcher::Run::start::startdir(launchhome)", launcher_dir);
  } else if (start_dir == kPresentButEmpty) {
    LogInfo("Launcher::Run::start::startdir(workingdir)", GetCurrentDir());
  } else {
    const std::string dir = NormalizeSlashes(start_dir);
    (void)platform::SetCurrentDir(dir);
    LogInfo("Launcher::Run::start::startdir", dir);
  }
}

void LogAssembly(const ChildCommand& child) {
  for (const ChildCommand::LogLine& line : child.log) LogInfo(line.tag, line.text);
  for (const ChildCommand::LogLine& line : child.warnings) LogWarning(line.tag, line.text);
}

// A Java runtime reads its current folder through the ANSI code page: a
// start folder that the page cannot hold is entered again through its short
// form, so that the child can read it. Other programs keep the long name.
void EnterShortStartFolder(const std::string& command_line) {
  const std::string here = GetCurrentDir();
  if (platform::FirstUnholdable(here) == 0 || !IsJavaRuntimeLine(command_line)) return;
  ShortForms notes;
  const std::string short_form = ShortFormOf(here, SystemPathOracle(), &notes);
  if (short_form != here && platform::SetCurrentDir(short_form) == 0) {
    LogInfo("Launcher::Run::start::startdir", short_form);
  }
  for (const std::string& text : ShortFormWarnings(notes)) LogWarning(kTagCommandLine, text);
}

// What the user file named by "userini" gave, one line each: the file read,
// or why none was, and each line of it that was ignored.
void LogUserIni(const UserIni& user) {
  for (const UserIniNote& note : user.notes()) {
    if (note.IsWarning()) {
      LogWarning(kTagUserIni, user.LogText(note));
    } else {
      LogInfo(kTagUserIni, user.LogText(note));
    }
  }
}

// Once this launch's own log exists, the oldest of the application's
// earlier launcher-made logs beside it go, as "logkeep" asks. A log the
// user named is left as it is, and so is its folder.
void KeepLogs(DataControl* options, const std::string& platform_tag,
              const std::string& ini_file) {
  const int keep = ParseLogKeep(options->GetConfigValue(platform_tag, kKeyLogKeep, ini_file));
  const std::string& own = OwnLogFile();
  if (keep < 1 || own.empty()) return;
  KeepNewestLogs(BeforeLast(own, platform::PathSeparator()), ApplicationName(), own, keep);
}

}  // namespace

Run::Run(std::string argument_line, int kind, int trace)
    : launcher_directory_(GetLauncherDir()),
      argument_line_(std::move(argument_line)),
      kind_(kind),
      trace_(trace) {}

Run::~Run() = default;

std::string Run::GetIniFile() {
  const std::string name = RemoveAll(ApplicationName(), kConsoleSuffix);
  const std::string path = launcher_directory_ + Sep() + name + kIniExtension;
  // Only a regular file is read: a folder, a FIFO or a device of that name
  // counts as missing rather than being waited on.
  platform::Handle file;
  if (platform::OpenRegularFile(path, &file, nullptr) != 0) {
    MessageDisplay(kind_, kExitConfigMissing, path);
    return std::string();
  }
  return path;
}

std::string Run::CreateCleanProc(std::string clean_directory) {
  return kb::CreateCleanProc(clean_directory, ApplicationName());
}

int Run::start() {
  DataControl options(argument_line_);
  const std::string data_location = options.GetDataDir();
  const std::string ini_file = GetIniFile();
  if (ini_file.empty()) return kExitConfigMissing;

  // Only a console has a standard error that someone reads.
  const LogLossSink warn_on_stderr = WarnLostLog;
  SetLogLossSink(kind_ == kKindConsole ? warn_on_stderr : nullptr);
  // Where the log goes ("logdir") is known once the configuration is read:
  // the lines until then wait for the banner.
  DeferLogLines();
  LogInfo("LRun::start::templocation", temp_location_);
  LogInfo("LRun::start::USERHOME", data_location);

  const std::string platform_tag = GetOs();
  const bool properties = !platform_tag.empty() && options.GetProperties(ini_file);
  if (properties) {
    (void)options.LoadUserIni(platform_tag, ini_file);
    options.UseLogFolder(options.GetConfigValue(platform_tag, kKeyLogDir, ini_file));
  }
  LogOpen(kLauncherBannerName);
  if (platform_tag.empty()) {
    MessageDisplay(kind_, kExitNoPlatform, "");
    return kExitNoPlatform;
  }
  if (!properties || options.ReplacementLimitReached()) return PropertiesFailed(&options);
  if (trace_) LogInfo("LRun::start::param", argument_line_);
  LogInfo("Launcher::Run::start::inifile", ini_file);
  LogInfo("Launcher::Run::start::platform", platform_tag);
  const UserIni& user = options.LoadUserIni(platform_tag, ini_file);
  LogUserIni(user);
  // A user whose own settings are set aside hears it where the launch is
  // watched, as of a log that cannot be written: only a console has a
  // standard error that someone reads.
  if (kind_ == kKindConsole && !NoMessage() && !user.RefusalLine().empty()) {
    platform::WriteStdErrLine(user.RefusalLine());
  }
  KeepLogs(&options, platform_tag, ini_file);

  const std::string start_dir = options.GetConfigValue(platform_tag, kKeyStartDir, ini_file);
  if (options.ReplacementLimitReached()) return PropertiesFailed(&options);
  ApplyStartDir(start_dir, launcher_directory_);
  inherit_input_ = EqualsNoCase(options.GetConfigValue(platform_tag, kKeyStdin, ini_file),
                                kStdinInherit);
  terminal_ = EqualsNoCase(options.GetConfigValue(platform_tag, kKeyTerminal, ini_file),
                           kTerminalAuto);
  // An invalid value keeps the default (all of it, no bound); the check
  // reports it.
  (void)ParseLogOutput(options.GetConfigValue(platform_tag, kKeyLogOutput, ini_file),
                       &output_logging_.copy);
  (void)ParseLogMax(options.GetConfigValue(platform_tag, kKeyLogMax, ini_file),
                    &output_logging_.max_bytes);
  java_cache_ = options.GetConfigValue(platform_tag, kKeyJavaCache, ini_file);
  if (options.ReplacementLimitReached()) return PropertiesFailed(&options);

  MutexObj guard(platform_tag, ini_file, SystemOutlets().box);
  if (guard.IsRunning(options.autorun) == kExitAlreadyRunning) return kExitAlreadyRunning;

  const ChildCommand child = BuildChildCommand(options, platform_tag, ini_file, kind_);
  LogAssembly(child);
  if (options.ReplacementLimitReached()) {
    guard.CloseOwnMutex();
    return PropertiesFailed(&options);
  }
  if (child.java_searched && !child.java_search.found) {
    JavaMissingDisplay(kind_, child.java_search.detail, child.java_missing);
    guard.CloseOwnMutex();
    options.FreeProperties();
    return kMsgJavaMissing;
  }
  EnterShortStartFolder(child.command_line);
  const int result = RunChild(options, child);

  guard.CloseOwnMutex();
  options.FreeProperties();
  // A windowed launcher has no console: without a box, a child that could
  // not be started would fail silently. The box points at the log.
  if (kind_ == kKindWindowed && result == kExitRunnerFailed) {
    MessageDisplay(kind_, result, LogFilePath());
  }
  return result;
}

int Run::PropertiesFailed(DataControl* options) {
  if (options->ReplacementLimitReached()) {
    LogError("DataControl::ReplaceProperties",
             "placeholders would make a value more than " +
                 IntToString(static_cast<long long>(kMaxReplacementGrowth)) +
                 " characters longer");
  }
  MessageDisplay(kind_, kExitNoProperties, "");
  options->FreeProperties();
  return kExitNoProperties;
}

int Run::RunChild(const DataControl& options, const ChildCommand& child) {
  std::string command_line = child.command_line;
  const bool uninstall = ContainsNoCase(command_line, kUninstallMarker);
  JavaCacheRun cache;
  if (EqualsNoCase(java_cache_, kJavaCacheAuto)) {
    command_line = cache.Begin(PlanJavaCache(command_line, uninstall, options.GetDataDir(),
                                             GetCurrentDir(), ApplicationName(),
                                             options.GetTempFolder()),
                               command_line);
  } else if (!java_cache_.empty() && java_cache_ != kPresentButEmpty) {
    LogInfo(kTagJavaCache, "no class-data cache: javacache=" + java_cache_ + " is not auto");
  }
  std::string arg_file;
  if (CommandLineTooLong(command_line)) {
    const std::string length = IntToString(static_cast<long long>(CommandLineLength(command_line)));
    LongCommandLine shorter =
        ShortenWithArgFile(command_line, uninstall, options.GetTempFolder(), GetCurrentDir());
    if (!shorter.refusal.empty()) {
      // Starting a cut command line would run the wrong program or arguments.
      const std::string limit = IntToString(static_cast<long long>(kMaxCommandLine));
      LogError(kTagCommandLine, "the command line has " + length +
                                    " characters, more than the limit of " + limit + "; " +
                                    shorter.refusal);
      return kExitRunnerFailed;
    }
    LogInfo(kTagArgFile,
            shorter.arg_file + " holds the arguments of a command line of " + length + " characters");
    for (const std::string& text : shorter.warnings) LogWarning(kTagArgFile, text);
    command_line = std::move(shorter.command_line);
    arg_file = std::move(shorter.arg_file);
  }
  if (uninstall) {
    std::string directory = temp_location_;
    if (directory.empty()) directory = GetDataLocation(std::string());
    if (directory.empty()) directory = Sep();
    // Not examined: the uninstaller is started wherever this leaves the
    // launcher, only so that it holds no handle on the folder it removes.
    (void)platform::SetCurrentDir(directory);
    LogInfo("Launcher::Run::start::Run as uninstall", command_line);
    return execute(command_line);
  }
  int result;
  if (options.IsConsole() == 1) {
    if (trace_) LogInfo("Launcher::Run::start::Run with stdout", command_line);
    // Only the console launcher's relayed run passes its input on: a
    // windowed launcher has none to give.
    result = ExeandDisplay(kind_, child.show_window, command_line,
                           inherit_input_ && kind_ == kKindConsole, output_logging_, terminal_);
  } else {
    if (trace_) LogInfo("Launcher::Run::start::Run as without stdout", command_line);
    result = ExeandWait(command_line);
  }
  cache.End(result);
  if (!arg_file.empty()) {
    const int error = platform::RemoveFile(arg_file);
    if (error != 0) {
      LogError(kTagArgFile, "cannot remove " + arg_file + ": error " + IntToString(error));
    }
  }
  cleanup_script_path_.clear();
  clean_directory_ = options.GetCleanDir();
  if (options.IsCleanup() == 1 && !clean_directory_.empty()) {
    cleanup_script_path_ = CreateCleanProc(clean_directory_);
    LogInfo("Launcher::Run::start::cleanup", cleanup_script_path_);
  }
  return result;
}

}  // namespace kb
