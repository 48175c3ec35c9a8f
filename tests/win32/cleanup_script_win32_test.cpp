// The cleanup script as cmd runs it: "%" must reach rmdir undoubled, and
// "&" or "^" in a quoted path must stay part of the name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/cleanup_script.h"
#include "log/log.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

TEST(CleanupScriptCmdTest, RemovesExactlyTheCleanDirectoryAndItself) {
  kbtest::ScratchDir dir;
  kbtest::ScratchDir elsewhere;
  const std::string saved_log = kb::LogFilePath();
  kb::LogFilePath().clear();
  kbtest::ScopedEnv variable("KBTEST_VAR", "run 1");
  const std::string names[] = {"run 1%KBTEST_VAR%", "run 1&mkdir pwned", "run^1 & (x)"};
  kbtest::MakeDirs(dir / "run 1");  // what %KBTEST_VAR% would expand to
  kbtest::WriteFile(dir / "keep", "keep");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    kbtest::MakeDirs(dir / name + "\\inner\\deeper");
    kbtest::WriteFile(dir / name + "\\inner\\file", "x");
    const std::string script = kb::CreateCleanProc(dir / name, "tool_console");
    ASSERT_FALSE(script.empty());
    kbtest::ScopedCwd cwd(elsewhere.path());
    const kbtest::RunResult result = kbtest::Run("cmd /d /c \"" + script + "\"");
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(kbtest::FileExists(dir / name)) << result.output;
    EXPECT_FALSE(kbtest::FileExists(script));
  }
  EXPECT_TRUE(kbtest::FileExists(dir / "run 1"));
  EXPECT_EQ(kbtest::ReadFile(dir / "keep"), "keep");
  EXPECT_FALSE(kbtest::FileExists(dir / "pwned"));
  EXPECT_FALSE(kbtest::FileExists(elsewhere / "pwned"));
  kb::LogFilePath() = saved_log;
}

}  // namespace
