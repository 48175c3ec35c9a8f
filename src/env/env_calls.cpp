#include "env/env_calls.h"

#include "common/constants.h"
#include "common/text.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/running_program.h"
#include "platform/system_version.h"
#include "platform/user_folders.h"

namespace kb {
namespace {

std::string& AppName() {
  static std::string name;
  return name;
}

// The launcher executable a tool stands in for; empty for the running one.
std::string& ExecutableOverride() {
  static std::string path;
  return path;
}

std::string LauncherExecutable() {
  if (!ExecutableOverride().empty()) return ExecutableOverride();
  std::string path;
  // Without its own path the launcher has no folder and no name: callers
  // meet that as an empty path.
  return platform::ExecutablePath(&path) == 0 ? path : std::string();
}

}  // namespace

const std::string& ApplicationName() { return AppName(); }
void SetApplicationNameForTesting(const std::string& name) { AppName() = name; }

bool InitApplication() {
  platform::PrepareProcess();
  const std::string exe = LauncherExecutable();
  if (exe.empty()) return false;
  AppName() = platform::ApplicationNameOf(exe);
  return true;
}

bool InitApplicationAs(const std::string& launcher_path) {
  ExecutableOverride() = launcher_path;
  return InitApplication();
}

namespace {

constexpr char kNotAFolder[] = "it is not a folder";

// The nearest part of a missing path that exists, or "" when none does.
std::string NearestExisting(const std::string& path) {
  std::string at = path;
  while (!at.empty()) {
    std::string::size_type sep = at.size();
    while (sep > 0 && !platform::IsPathSeparator(at[sep - 1])) --sep;
    if (sep == 0) return std::string();
    at.resize(sep - 1);
    // A root keeps its separator: "/" and "C:\", not "" and "C:".
    const std::string probe = platform::RootLength(at + platform::PathSeparator()) > at.size()
                                  ? at + platform::PathSeparator()
                                  : at;
    if (platform::GetPathKind(probe) != platform::PathKind::kMissing) return probe;
  }
  return std::string();
}

std::string WhyNotUsable(const std::string& path, bool create) {
  if (path.empty()) return "no temporary folder is set";
  if (!platform::IsAbsolutePath(path)) return "it is not an absolute path";
  if (create) {
    const int created = platform::CreateDirectoryTree(path);
    if (created != platform::kErrorSuccess && created != platform::kErrorFileExists &&
        created != platform::kErrorAlreadyExists) {
      const std::string words = platform::ErrorText(created);
      return "it cannot be created: " + (words.empty() ? "" : words + " ") + "(error " +
             IntToString(created) + ")";
    }
  }
  switch (platform::GetPathKind(path)) {
    case platform::PathKind::kDirectory:
      return std::string();
    case platform::PathKind::kFile:
      return kNotAFolder;
    case platform::PathKind::kMissing:
      break;
  }
  if (create) return "it cannot be created";
  const std::string parent = NearestExisting(path);
  if (platform::GetPathKind(parent) != platform::PathKind::kDirectory) {
    return "it cannot be created: " + (parent.empty() ? path : parent) + " is not a folder";
  }
  return std::string();
}

}  // namespace

TempFolder DecideTempFolder(const std::string& given, bool create) {
  TempFolder out;
  const bool from_environment = TrimWhitespace(given).empty();
  out.path = from_environment ? platform::TempDirFromEnvironment() : given;
  out.problem = WhyNotUsable(out.path, create);
  if (create && from_environment) {
    if (out.problem.empty()) {
      LogInfo("EnvCalls::GetTemp::TMP", out.path);
    } else if (out.problem == kNotAFolder) {
      LogWarning("EnvCalls::GetTemp::This is not a directory", out.path);
    } else {
      LogWarning("EnvCalls::GetTemp::invalid", out.path);
    }
  }
  return out;
}

std::string GetTemp() {
  const TempFolder temp = DecideTempFolder(std::string(), true);
  return temp.problem.empty() ? temp.path : std::string();
}

std::string GetDataLocation(const std::string& base) {
  const std::string sep(1, platform::PathSeparator());
  return platform::LocalAppDataRoot(base, GetWinVerNum(1)) + kVendorFolder + sep +
         kProductFolder;
}

std::string GetCurrentDir() {
  std::string dir;
  // A folder that cannot be read is logged and used as empty.
  return platform::GetCurrentDir(&dir) == 0 ? dir : std::string();
}

std::string GetLauncherDir() {
  const std::string exe = LauncherExecutable();
  const std::string::size_type sep = exe.rfind(platform::PathSeparator());
  if (sep == std::string::npos) return std::string();
  return exe.substr(0, sep);
}

std::string NormalizeSlashes(const std::string& path) {
  std::string out = path;
  const char foreign = platform::ForeignSeparator();
  const char native = platform::PathSeparator();
  for (char& c : out) {
    if (c == foreign) c = native;
  }
  return out;
}

double GetWinVerNum(int selector) {
  platform::VersionInfo version;
  if (platform::QueryVersion(&version) != 0) {
    LogInfo("EnvCalls::GetWinVerNum", "GetVersionEx NULL");
    return 0.0;
  }
  switch (selector) {
    case 2:
      return static_cast<double>(version.minor);
    case 3:
      return static_cast<double>(version.sp_major);
    case 4:
      return static_cast<double>(version.sp_minor);
    default:
      return static_cast<double>(version.major);
  }
}

std::string GetOs() {
  switch (platform::QueryWow64()) {
    case platform::Wow64Answer::kNoKernelHandle:
      LogInfo("EnvCalls::GetOs", "No handle");
      return std::string();
    case platform::Wow64Answer::kNoProc:
      LogInfo("EnvCalls::isWow64", "is64ProcAdd is FALSE");
      return std::string();
    case platform::Wow64Answer::kCallFailed:
      LogInfo("EnvCalls::isWow64", "rc(is64) FALSE.");
      return std::string();
    case platform::Wow64Answer::kWow64:
      LogInfo("EnvCalls::isWow64", "true");
      return kPlatformWx6;
    case platform::Wow64Answer::kNative:
      break;
  }
  return kPlatformWin;
}

}  // namespace kb
