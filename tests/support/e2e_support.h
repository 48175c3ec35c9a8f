// Fixture for tests that run the built launcher as a user would: renamed
// beside its configuration file in a scratch folder, with its own data,
// temporary and runtime folders.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kbtest {

// The exit status a caller sees for a launcher result (POSIX: modulo 256).
int SeenExit(int result);

class LauncherTest : public ::testing::Test {
 protected:
  LauncherTest();
  ~LauncherTest() override;

  // Copies a built launcher (the console one unless told) into the
  // application folder under this name (".exe" added on Windows) and
  // returns its path.
  std::string Install(const std::string& name = "tool_console",
                      const std::string& program = "launcher_console");
  void WriteIni(const std::string& text, const std::string& name = "tool.ini");
  // Runs the installed launcher with the argument text; output merged.
  RunResult Launch(const std::string& args = "", const std::string& name = "tool_console");
  // The command line that runs the installed launcher.
  std::string LaunchLine(const std::string& args, const std::string& name = "tool_console");

  // The per-user data folder the launcher uses in this environment.
  std::string DataDir() const;
  // The log file of the data folder ("" when there is none); with a name,
  // the log of the launcher of that name.
  std::string LogPath(const std::string& launcher = "") const;
  std::string LogContent(const std::string& launcher = "") const;
  // The log's lines without the time-stamp lines.
  std::vector<std::string> LogLines() const;
  // Removes the log files of the data folder (between runs of one test).
  void RemoveLogs() const;

  // The "ARG=" lines of the test child's output, in UTF-8 (the child
  // prints in the system's code page).
  static std::vector<std::string> ChildArgs(const std::string& output);

  ScratchDir dir_;
  std::string app_dir_;
  std::string home_;
  std::string work_;

 private:
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

// True when the line is a log time stamp ("Sun Dec 06 18:08:47 2026").
bool IsTimeStampLine(const std::string& line);

}  // namespace kbtest
