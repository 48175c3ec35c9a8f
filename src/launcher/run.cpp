#include "launcher/run.h"

#include <utility>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "common/text.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "instance/mutex_obj.h"
#include "launcher/cleanup_script.h"
#include "launcher/java_arg_file.h"
#include "launcher/java_search.h"
#include "launcher/messages.h"
#include "log/log.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "process/exe_proc.h"

namespace kb {
namespace {

constexpr char kWindowedJava[] = "javaw.exe";
constexpr char kConsoleJava[] = "java.exe";
constexpr char kUninstallMarker[] = "uninstall.jar";

std::string Sep() { return std::string(1, platform::PathSeparator()); }

// The working directory the child starts in: the launcher's folder by
// default, the current one for a present-but-empty "startdir", else the
// configured folder.
void ApplyStartDir(const std::string& start_dir, const std::string& launcher_dir) {
  if (start_dir.empty()) {
    platform::SetCurrentDir(launcher_dir);
    LogInfo("Launcher::Run::start::startdir(launchhome)", launcher_dir);
  } else if (start_dir == kPresentButEmpty) {
    LogInfo("Launcher::Run::start::startdir(workingdir)", GetCurrentDir());
  } else {
    const std::string dir = NormalizeSlashes(start_dir);
    platform::SetCurrentDir(dir);
    LogInfo("Launcher::Run::start::startdir", dir);
  }
}

// The class path as the Java runtime of this platform reads it.
std::string NativeClassPath(const std::string& class_path) {
  std::string out = NormalizeSlashes(class_path);
  const char list_sep = platform::ClassPathSeparator();
  for (char& c : out) {
    if (c == ';') c = list_sep;
  }
  return out;
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
  if (platform::GetPathKind(path) == platform::PathKind::kMissing) {
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

  LogOpen(kLauncherBannerName);
  LogInfo("LRun::start::templocation", temp_location_);
  LogInfo("LRun::start::USERHOME", data_location);

  const std::string platform_tag = GetOs();
  if (platform_tag.empty()) {
    MessageDisplay(kind_, kExitNoPlatform, "");
    return kExitNoPlatform;
  }
  if (!options.GetProperties(ini_file)) {
    MessageDisplay(kind_, kExitNoProperties, "");
    options.FreeProperties();
    return kExitNoProperties;
  }
  if (trace_) LogInfo("LRun::start::param", argument_line_);
  LogInfo("Launcher::Run::start::inifile", ini_file);
  LogInfo("Launcher::Run::start::platform", platform_tag);

  ApplyStartDir(options.GetConfigValue(platform_tag, kKeyStartDir, ini_file),
                launcher_directory_);

  MutexObj guard(platform_tag, ini_file);
  if (guard.IsRunning(options.autorun) == kExitAlreadyRunning) return kExitAlreadyRunning;

  // The child's command line, piece by piece.
  std::string command_line;
  bool show_window = false;
  std::string launcher_cmd = options.GetConfigValue(platform_tag, kKeyLauncherCmd, ini_file);
  if (launcher_cmd.empty()) {
    // Only a configuration without a program may ask for a search; with a
    // program, "-javamin" and "-javasearch" stay arguments of the child.
    JavaSearchRequest request;
    request.minimum = options.GetConfigValue(platform_tag, kKeyJavaMin, ini_file);
    request.search = options.GetConfigValue(platform_tag, kKeyJavaSearch, ini_file);
    if (!request.minimum.empty() || !request.search.empty()) {
      request.launcher_dir = launcher_directory_;
      request.windowed = kind_ == kKindWindowed;
      const JavaSearchResult found = FindJavaRuntime(request);
      if (!found.found) {
        MessageDisplay(kind_, kMsgJavaMissing, found.detail);
        guard.CloseOwnMutex();
        options.FreeProperties();
        return kMsgJavaMissing;
      }
      launcher_cmd = found.program;
    }
  }
  if (EndsWithNoCase(launcher_cmd, kWindowedJava)) {
    if (kind_ == kKindConsole) {
      launcher_cmd.replace(launcher_cmd.size() - (sizeof kWindowedJava - 1),
                           std::string::npos, kConsoleJava);
    }
    show_window = true;
    LogInfo("launch command=", launcher_cmd);
  }
  if (!launcher_cmd.empty()) {
    launcher_cmd = NormalizeSlashes(launcher_cmd);
    command_line = "\"" + launcher_cmd + "\" ";
  }
  LogInfo("Launcher::Run::start::launchercmd", launcher_cmd);

  const std::string launcher_args =
      options.GetConfigValue(platform_tag, kKeyLauncherArgs, ini_file);
  if (!launcher_args.empty()) {
    command_line += launcher_args + " ";
    LogInfo("Launcher::Run::start::launcherargs", launcher_args);
  } else {
    const std::string java_args =
        options.JoinNumberedValues(platform_tag, kKeyJavaArgsPrefix, ini_file);
    if (!java_args.empty()) {
      command_line += java_args;
      LogInfo("Launcher::Run::start::javaargs", java_args);
    }
    std::string class_path = options.GetConfigValue(platform_tag, kKeyClasspath, ini_file);
    if (!class_path.empty()) {
      class_path = NativeClassPath(class_path);
      command_line += class_path + " ";
      LogInfo("Launcher::Run::start::classpath", class_path);
    }
    const std::string main_class = options.GetConfigValue(platform_tag, kKeyMainClass, ini_file);
    if (!main_class.empty()) {
      command_line += main_class + " ";
      LogInfo("Launcher::Run::start::mainclass", main_class);
    }
    const std::string addtl_args =
        options.JoinNumberedValues(platform_tag, kKeyAddtlArgsPrefix, ini_file);
    if (!addtl_args.empty()) {
      command_line += addtl_args;
      LogInfo("Launcher::Run::start::addtlargs", addtl_args);
    }
  }
  command_line += options.GetArgLine();
  command_line = options.ReplaceProperties(command_line);

  const bool uninstall = ContainsNoCase(command_line, kUninstallMarker);
  std::string arg_file;
  std::string refusal;
  if (command_line.size() > kMaxCommandLine) {
    const std::string length = IntToString(static_cast<long long>(command_line.size()));
    LongCommandLine shorter =
        ShortenWithArgFile(command_line, uninstall, options.GetTempLocation());
    if (shorter.refusal.empty()) {
      LogInfo(kTagArgFile, shorter.arg_file + " holds the arguments of a command line of " +
                               length + " characters");
      command_line = std::move(shorter.command_line);
      arg_file = std::move(shorter.arg_file);
    } else {
      // Starting a cut command line would run the wrong program or arguments.
      refusal = "the command line has " + length + " characters, more than the limit of " +
                IntToString(static_cast<long long>(kMaxCommandLine)) + "; " + shorter.refusal;
    }
  }

  int result;
  if (!refusal.empty()) {
    LogError(kTagCommandLine, refusal);
    result = kExitRunnerFailed;
  } else if (uninstall) {
    std::string directory = temp_location_;
    if (directory.empty()) directory = GetDataLocation(std::string());
    if (directory.empty()) directory = Sep();
    platform::SetCurrentDir(directory);
    LogInfo("Launcher::Run::start::Run as uninstall", command_line);
    result = execute(command_line);
  } else {
    if (options.IsConsole() == 1) {
      if (trace_) LogInfo("Launcher::Run::start::Run with stdout", command_line);
      result = ExeandDisplay(kind_, show_window, command_line);
    } else {
      if (trace_) LogInfo("Launcher::Run::start::Run as without stdout", command_line);
      result = ExeandWait(command_line);
    }
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
  }

  guard.CloseOwnMutex();
  options.FreeProperties();
  return result;
}

}  // namespace kb
