#include "env/env_calls.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "common/constants.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/system.h"

namespace kb {
namespace {

std::function<std::time_t()>& Clock() {
  static std::function<std::time_t()> clock = [] { return std::time(nullptr); };
  return clock;
}

std::string& AppName() {
  static std::string name;
  return name;
}

std::tm LocalNow() {
  const std::time_t now = Clock()();
  std::tm parts{};
  const std::tm* local = std::localtime(&now);
  if (local) parts = *local;
  return parts;
}

}  // namespace

void SetClockForTesting(std::function<std::time_t()> clock) { Clock() = std::move(clock); }

const std::string& ApplicationName() { return AppName(); }
void SetApplicationNameForTesting(const std::string& name) { AppName() = name; }

bool InitApplication() {
  platform::PrepareProcess();
  const std::string exe = platform::ExecutablePath();
  if (exe.empty()) return false;
  const std::string::size_type slash = exe.find_last_of("\\/");
  std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  AppName() = name;
  return true;
}

std::string GetTemp() {
  const std::string path = platform::TempDirFromEnvironment();
  const int created = platform::CreateDirectoryTree(path);
  if (created != platform::kErrorSuccess && created != platform::kErrorFileExists &&
      created != platform::kErrorAlreadyExists) {
    LogWarning("EnvCalls::GetTemp::invalid", path);
    return std::string();
  }
  // A failed attribute query means the path is not a usable folder, even
  // though its all-ones answer has the directory bit set.
  if (platform::GetPathKind(path) == platform::PathKind::kDirectory) {
    LogInfo("EnvCalls::GetTemp::TMP", path);
    return path;
  }
  LogWarning("EnvCalls::GetTemp::This is not a directory", path);
  return std::string();
}

std::string GetDataLocation(const std::string& base) {
  const std::string sep(1, platform::PathSeparator());
  return platform::LocalAppDataRoot(base, GetWinVerNum(1)) + kVendorFolder + sep +
         kProductFolder;
}

std::string GetLogFileName() {
  return ApplicationName() + kLogNameSeparator + GetDateTimeStamp() + kLogExtension;
}

std::string GetDateTimeStamp() {
  const std::tm t = LocalNow();
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d-%d-%d-%d.%d.%d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

std::string GetTimeStamp() {
  // Formatted here rather than by asctime, whose day field differs between C
  // runtimes (a leading blank in glibc, a leading zero in Microsoft's).
  static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::tm t = LocalNow();
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %d\n",
                kDays[(t.tm_wday % 7 + 7) % 7], kMonths[(t.tm_mon % 12 + 12) % 12], t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buffer;
}

std::string GetCurrentDir() { return platform::GetCurrentDir(); }

std::string GetLauncherDir() {
  const std::string exe = platform::ExecutablePath();
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
  if (!platform::QueryVersion(&version)) {
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
