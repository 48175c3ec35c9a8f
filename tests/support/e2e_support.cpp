#include "support/e2e_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/command_line.h"
#include "env/env_calls.h"
#include "platform/exclusive_file.h"
#include "platform/text.h"

namespace kbtest {

int SeenExit(int result) { return IsWindows() ? result : (result & 0xFF); }

LauncherTest::LauncherTest()
    : app_dir_(dir_ / "app"), home_(dir_ / "home"), work_(dir_ / "work") {
  MakeDirs(app_dir_);
  MakeDirs(home_);
  MakeDirs(work_);
  MakeDirs(dir_ / "tmp");
  MakeDirs(dir_ / "run");
  env_.push_back(std::make_unique<ScopedEnv>("USERPROFILE", home_));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", home_));
  env_.push_back(std::make_unique<ScopedEnv>("TMP", dir_ / "tmp"));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", dir_ / "run"));
}

LauncherTest::~LauncherTest() = default;

std::string LauncherTest::Install(const std::string& name, const std::string& program) {
  const std::string target = Join(app_dir_, name + (IsWindows() ? ".exe" : ""));
  CopyFile(BuiltProgram(program), target);
  return target;
}

void LauncherTest::WriteIni(const std::string& text, const std::string& name) {
  WriteFile(Join(app_dir_, name), text);
}

std::string LauncherTest::LaunchLine(const std::string& args, const std::string& name) {
  const std::string exe = Join(app_dir_, name + (IsWindows() ? ".exe" : ""));
  return kb::QuoteArgument(exe) + (args.empty() ? "" : " " + args);
}

RunResult LauncherTest::Launch(const std::string& args, const std::string& name) {
  return kbtest::Run(LaunchLine(args, name));
}

std::string LauncherTest::DataDir() const { return kb::GetDataLocation(""); }

std::string LauncherTest::LogPath(const std::string& launcher) const {
  for (const std::string& name : ListDir(DataDir())) {
    if (!launcher.empty() && name.rfind(launcher + "_", 0) != 0) continue;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0) {
      return Join(DataDir(), name);
    }
  }
  return std::string();
}

std::string LauncherTest::LogContent(const std::string& launcher) const {
  const std::string path = LogPath(launcher);
  return path.empty() ? std::string() : ReadFile(path);
}

void LauncherTest::RemoveLogs() const {
  for (std::string path = LogPath(); !path.empty(); path = LogPath()) {
    // A log that cannot be removed would be found again for ever.
    if (platform::RemoveFile(path) != 0) break;
  }
}

std::vector<std::string> LauncherTest::LogLines() const {
  std::vector<std::string> lines;
  for (const std::string& line : Lines(LogContent())) {
    if (!IsTimeStampLine(line)) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> LauncherTest::ChildArgs(const std::string& output) {
  std::vector<std::string> args;
  for (const std::string& line : Lines(output)) {
    if (line.rfind("ARG=", 0) == 0) args.push_back(platform::SystemTextToUtf8(line.substr(4)));
  }
  return args;
}

bool IsTimeStampLine(const std::string& line) {
  // "Www Mmm dd hh:mm:ss yyyy"
  if (line.size() != 24) return false;
  const char* pattern = "AAA AAA 00 00:00:00 0000";
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    switch (pattern[i]) {
      case 'A':
        if (!std::isalpha(c)) return false;
        break;
      case '0':
        if (!std::isdigit(c)) return false;
        break;
      default:
        if (line[i] != pattern[i]) return false;
    }
  }
  return true;
}

}  // namespace kbtest
