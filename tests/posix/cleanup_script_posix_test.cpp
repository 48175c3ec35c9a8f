// The cleanup script as the shell runs it: the quoting must hand every path
// to rm unchanged, whatever characters the folder's name holds.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/cleanup_script.h"
#include "log/log.h"
#include "support/test_support.h"

namespace {

// Starts the script with /bin/sh in another folder; the process id.
pid_t StartShellScript(const std::string& script, const std::string& cwd) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execl("/bin/sh", "sh", script.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

int WaitFor(pid_t pid) {
  if (pid < 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(CleanupScriptShellTest, RemovesExactlyTheCleanDirectoryAndItself) {
  kbtest::ScratchDir dir;
  kbtest::ScratchDir elsewhere;
  const std::string saved_log = kb::LogFilePath();
  kb::LogFilePath().clear();
  // Each name is a way to break out of careless quoting.
  const std::string names[] = {"run 1'; touch pwned; '", "run$(touch pwned)`touch pwned`",
                               "run\"x\\\" %PATH% & *", "-rf run"};
  kbtest::MakeDirs(dir / "run 1");  // a neighbour with a similar name
  kbtest::WriteFile(dir / "keep", "keep");
  std::vector<std::string> scripts;
  for (const std::string& name : names) {
    kbtest::MakeDirs(dir / name + "/inner/deeper");
    kbtest::WriteFile(dir / name + "/inner/file", "x");
    scripts.push_back(kb::CreateCleanProc(dir / name, "tool_console"));
    ASSERT_FALSE(scripts.back().empty()) << name;
  }
  // Each script pauses two seconds first: run them side by side.
  std::vector<pid_t> running;
  for (const std::string& script : scripts) running.push_back(StartShellScript(script, elsewhere.path()));
  for (std::size_t i = 0; i < running.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(WaitFor(running[i]), 0);
    EXPECT_FALSE(kbtest::FileExists(dir / names[i]));
    EXPECT_FALSE(kbtest::FileExists(scripts[i]));
  }
  EXPECT_TRUE(kbtest::FileExists(dir / "run 1"));
  EXPECT_EQ(kbtest::ReadFile(dir / "keep"), "keep");
  EXPECT_FALSE(kbtest::FileExists(dir / "pwned"));
  EXPECT_FALSE(kbtest::FileExists(elsewhere / "pwned"));
  kb::LogFilePath() = saved_log;
}

// $HOME reached through a link: the folder that really holds it is refused
// too, and so is any folder where another file system is mounted.
TEST(CleanupScriptShellTest, RealHoldersOfHomeAndMountPointsAreRefused) {
  kbtest::ScratchDir dir;
  kbtest::MakeDirs(dir / "real/me");
  kbtest::MakeDirs(dir / "other");
  ASSERT_EQ(::symlink((dir / "real/me").c_str(), (dir / "link").c_str()), 0);
  kbtest::ScopedEnv home("HOME", dir / "link");
  const struct {
    std::string folder;
    std::string reason;
  } table[] = {
      {dir / "real/me", "the clean directory is the user's home folder: " + dir / "real/me"},
      {dir / "real", "the clean directory holds the user's home folder: " + dir / "real"},
      {dir.path(), "the clean directory holds the user's home folder: " + dir.path()},
      {dir / "other", ""},
      {"/dev/shm", "the clean directory is a file-system root: /dev/shm"},
      {"/proc", "the clean directory is a file-system root: /proc"},
  };
  for (const auto& row : table) {
    if (!kbtest::FileExists(row.folder)) continue;
    EXPECT_EQ(kb::CleanRefusalReason(row.folder), row.reason);
  }
}

}  // namespace
