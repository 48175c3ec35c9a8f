// The windowed launcher (kind 100) run as a desktop entry would start it:
// the child's output goes to the log only, failures become messages (a box
// on Windows, standard error on POSIX) unless "-nomessage" is given.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e_support.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";
constexpr char kName[] = "tool";

class WindowedLauncher : public LauncherTest {
 protected:
  WindowedLauncher() { Install(kName, "launcher"); }
  RunResult LaunchWindowed(const std::string& args = "") { return Launch(args, kName); }
};

TEST_F(WindowedLauncher, KeepsJavawAndRelaysIntoTheLogOnly) {
  // Only "javaw.exe" exists: rewriting it to the console runtime would
  // leave nothing to start.
  const std::string bin = dir_ / "jre";
  MakeDirs(bin);
  const std::string javaw = Join(bin, "javaw.exe");
  CopyFile(Child(), javaw);
  WriteIni(std::string(kSection) + "launchercmd=" + javaw +
           "\nlauncherargs=--tc-quiet --tc-out=to-stdout --tc-err=to-stderr --tc-exit=3\n");
  const RunResult r = LaunchWindowed();
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.output, "") << "a windowed launcher echoes nothing";
  const std::string log = LogContent(kName);
  EXPECT_NE(log.find("INFO: launch command==" + javaw + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO: ExeProc::ReadFromPipe=Standard output\r\nto-stdout\r\nto-stderr\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("INFO: Launcher::main=3\r\n"), std::string::npos) << log;
  // It never asks for a standard output of its own, so none is reported
  // missing.
  EXPECT_EQ(log.find("ERROR:"), std::string::npos) << log;
}

TEST_F(WindowedLauncher, FailuresAreShownUnlessNoMessage) {
  struct Case {
    const char* what;
    bool with_ini;
    int exit_code;
    std::string message;
  };
  const Case cases[] = {
      {"no configuration file", false, -100,
       "This file is missing: " + Join(app_dir_, std::string(kName) + ".ini")},
      // A windowed launcher must not fail silently when its child cannot
      // be started; the message points at the log.
      {"child cannot be started", true, -1,
       "Launcher exist with an genetic error. Please check its log file for details. "},
  };
  // The folder a first launch creates: a failure before the log is opened
  // can only be logged into an existing one.
  MakeDirs(DataDir());
  for (const Case& c : cases) {
    for (const std::string option : {"", "-nomessage"}) {
      SCOPED_TRACE(std::string(c.what) + " " + option);
      RemoveLogs();
      if (c.with_ini) {
        WriteIni(std::string(kSection) + "launchercmd=" + Join(dir_ / "nowhere", "javaw.exe") +
                 "\n");
      }
      const RunResult r = LaunchWindowed(option);
      EXPECT_EQ(r.exit_code, SeenExit(c.exit_code));
      const std::string log = LogContent(kName);
      const std::string detail = c.with_ini ? LogPath(kName) : "";
      EXPECT_NE(log.find("INFO: MessageDisplay=" + c.message + detail + "\r\n"), std::string::npos)
          << log;
      // Under Wine without a display the box returns at once and leaves no
      // trace; on POSIX the box is a line on standard error.
      if (!IsWindows()) {
        const bool shown = r.output.find("Error: " + c.message) != std::string::npos;
        EXPECT_EQ(shown, option.empty()) << r.output;
      }
    }
  }
}

}  // namespace
}  // namespace kbtest
