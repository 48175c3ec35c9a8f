// Two real launchers: one holds its application's name while its child
// runs, the other names that application in "norunwith".
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/constants.h"
#include "platform/mutex.h"
#include "platform/child.h"
#include "platform/pipe.h"
#include "support/e2e_support.h"

namespace kbtest {
namespace {

class Conflict : public LauncherTest {
 protected:
  // Starts the holder launcher (id appB) whose child sleeps; returns once
  // its name is visible.
  platform::Child StartHolder(int sleep_ms) {
    Install("holder_console");
    WriteIni("[wx6]\nlaunchercmd=" + Child() + "\nlauncherargs=--tc-quiet --tc-sleep=" +
                 std::to_string(sleep_ms) + "\nid=appB\n",
             "holder.ini");
    platform::Child holder;
    platform::StartOptions options;
    EXPECT_EQ(platform::StartChild(LaunchLine("-nocleanup", "holder_console"), options, &holder),
              0);
    const std::string name = std::string(kb::kMutexNamePrefix) + "appb";
    for (int i = 0; i < 400; ++i) {
      bool exists = false;
      if (platform::ProbeNamedMutex(name, &exists) == 0 && exists) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return holder;
  }
};

TEST_F(Conflict, SecondLauncherIsRefusedWhileTheFirstRuns) {
  platform::Child holder = StartHolder(4000);
  Install();
  WriteIni(
      "[default]\nnorunwith_display_appb=Setup B\nnorunwith_display_app1=Tool A\n"
      "[wx6]\nlaunchercmd=" +
      Child() + "\nlauncherargs=started\nnorunwith= appX,,AppB ,appC\nid=app1\n");
  const RunResult refused = Launch("-autorun");
  EXPECT_EQ(refused.exit_code, 183);
  EXPECT_TRUE(ChildArgs(refused.output).empty()) << refused.output;
  const std::string log = LogContent("tool_console");
  EXPECT_NE(log.find("WARNING: MutexObj::IsRunning=The Tool A cannot be invoked while the "
                     "Setup B is running.\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Launcher::Run::start::launchercmd"), std::string::npos);
  EXPECT_NE(log.find("INFO: Launcher::main=183\r\n"), std::string::npos);

  ASSERT_EQ(holder.Wait(), 0);
  std::int32_t code = -1;
  ASSERT_EQ(holder.ExitCode(&code), 0);
  EXPECT_EQ(code, 0);

  // Once the holder has ended its name is gone and the launch goes ahead.
  RemoveLogs();
  const RunResult later = Launch("-autorun");
  EXPECT_EQ(later.exit_code, 0);
  EXPECT_EQ(ChildArgs(later.output), std::vector<std::string>{"started"});
}

TEST_F(Conflict, LeadingBlankMakesADifferentNameSoNoConflict) {
  platform::Child holder = StartHolder(3000);
  Install();
  WriteIni("[wx6]\nlaunchercmd=" + Child() + "\nlauncherargs=started\nnorunwith=appA, appB\n");
  const RunResult r = Launch("-autorun");
  EXPECT_EQ(r.exit_code, 0) << LogContent("tool_console");
  EXPECT_EQ(holder.Wait(), 0);
}

TEST_F(Conflict, OwnIdInTheListAllowsOnlyOneCopy) {
  platform::Child holder = StartHolder(3000);
  WriteIni("[wx6]\nlaunchercmd=" + Child() + "\nlauncherargs=second\nid=appB\nnorunwith=appB\n",
           "holder.ini");
  const RunResult r = Launch("-autorun", "holder_console");
  EXPECT_EQ(r.exit_code, 183);
  EXPECT_EQ(holder.Wait(), 0);
}

}  // namespace
}  // namespace kbtest
