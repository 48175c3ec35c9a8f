// The lock-file mutexes of the POSIX build: where they live, what they
// refuse to trust, and that the kernel, not the holder, ends a name.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>
#include <string>

#include "platform/mutex.h"
#include "support/test_support.h"

namespace {

using platform::ProbeResult;

std::string HexFileName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string file = "n";
  for (unsigned char byte : name) {
    file += kHex[byte >> 4];
    file += kHex[byte & 15];
  }
  return file;
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

ProbeResult Probe(const std::string& name, int* error = nullptr) {
  int ignored = 0;
  return platform::ProbeNamedMutex(name, error ? error : &ignored);
}

class PosixMutexTest : public ::testing::Test {
 protected:
  PosixMutexTest() : runtime_("XDG_RUNTIME_DIR", dir_.path()), folder_(dir_ / "kestrelbay") {}
  kbtest::ScratchDir dir_;
  kbtest::ScopedEnv runtime_;
  std::string folder_;
};

TEST_F(PosixMutexTest, FolderIsCreatedPrivateAndNamesExistWhileHeld) {
  int error = -1;
  platform::Handle first = platform::CreateNamedMutex("app/one", true, &error);
  ASSERT_TRUE(first.valid());
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ModeOf(folder_), 0700u);
  EXPECT_EQ(Probe("app/one"), ProbeResult::kExists);
  EXPECT_EQ(Probe("app/One"), ProbeResult::kAbsent);  // letter case counts

  platform::Handle second = platform::CreateNamedMutex("app/one", false, &error);
  ASSERT_TRUE(second.valid());
  EXPECT_EQ(error, 183);
  first.Close();
  EXPECT_EQ(Probe("app/one"), ProbeResult::kExists);  // the second holder keeps it
  second.Close();
  EXPECT_EQ(Probe("app/one", &error), ProbeResult::kAbsent);
  EXPECT_EQ(error, ENOENT);
}

TEST_F(PosixMutexTest, ProbeCreatesNeitherFolderNorFile) {
  EXPECT_EQ(Probe("nobody"), ProbeResult::kAbsent);
  EXPECT_FALSE(kbtest::FileExists(folder_));
  platform::Handle other = platform::CreateNamedMutex("someone", false, nullptr);
  EXPECT_EQ(Probe("nobody"), ProbeResult::kAbsent);
  EXPECT_FALSE(kbtest::FileExists(folder_ + "/" + HexFileName("nobody")));
}

TEST_F(PosixMutexTest, AnyBytesAndLongNamesKeepNamesApart) {
  const std::string long_a = std::string(300, 'a');
  const std::string long_b = std::string(299, 'a') + "b";
  const std::string names[] = {"../../etc/x", "a\\b", std::string("nul\0in", 6), "\xC4\xE4 ",
                               " lead", long_a};
  std::vector<platform::Handle> held;
  for (const std::string& name : names) {
    held.push_back(platform::CreateNamedMutex(name, true, nullptr));
    EXPECT_TRUE(held.back().valid()) << name;
    EXPECT_EQ(Probe(name), ProbeResult::kExists) << name;
  }
  EXPECT_EQ(Probe(long_b), ProbeResult::kAbsent);
  EXPECT_EQ(Probe("lead"), ProbeResult::kAbsent);
  EXPECT_EQ(Probe(std::string("nul", 3)), ProbeResult::kAbsent);
  // Nothing escaped the folder.
  EXPECT_EQ(kbtest::ListDir(dir_.path()), std::vector<std::string>{"kestrelbay"});
}

TEST_F(PosixMutexTest, UntrustworthyFolderIsRefused) {
  kbtest::MakeDirs(dir_ / "real");
  ::chmod((dir_ / "real").c_str(), 0700);
  struct Setup {
    const char* what;
    void (*make)(const std::string& folder, const std::string& real);
  };
  const Setup setups[] = {
      {"open to the group", [](const std::string& f, const std::string&) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0750);
       }},
      {"open to everyone", [](const std::string& f, const std::string&) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0777);
       }},
      {"a link to a private folder", [](const std::string& f, const std::string& real) {
         ASSERT_EQ(::symlink(real.c_str(), f.c_str()), 0);
       }},
      {"a file", [](const std::string& f, const std::string&) { kbtest::WriteFile(f, ""); }},
  };
  for (const Setup& setup : setups) {
    SCOPED_TRACE(setup.what);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    setup.make(folder_, dir_ / "real");
    int error = 0;
    EXPECT_FALSE(platform::CreateNamedMutex("x", true, &error).valid());
    EXPECT_NE(error, 0);
    EXPECT_EQ(Probe("x"), ProbeResult::kFailed);
  }
  EXPECT_TRUE(kbtest::ListDir(dir_ / "real").empty());
}

TEST_F(PosixMutexTest, FolderOfAnotherOwnerIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder away";
  ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
  ASSERT_EQ(::chown(folder_.c_str(), 4321, 4321), 0);
  int error = 0;
  EXPECT_FALSE(platform::CreateNamedMutex("x", true, &error).valid());
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(Probe("x"), ProbeResult::kFailed);
}

TEST_F(PosixMutexTest, PlantedLinkIsNeverFollowed) {
  ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
  const std::string target = dir_ / "target";
  ASSERT_EQ(::symlink(target.c_str(), (folder_ + "/" + HexFileName("app")).c_str()), 0);
  int error = 0;
  EXPECT_FALSE(platform::CreateNamedMutex("app", true, &error).valid());
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(Probe("app"), ProbeResult::kFailed);
  EXPECT_FALSE(kbtest::FileExists(target));
}

TEST_F(PosixMutexTest, RelativeRuntimeDirFallsBackToTmp) {
  kbtest::ScopedEnv relative("XDG_RUNTIME_DIR", "relative/dir");
  platform::Handle held = platform::CreateNamedMutex("fallback-check", true, nullptr);
  ASSERT_TRUE(held.valid());
  const std::string tmp_folder = "/tmp/kestrelbay-" + std::to_string(::geteuid());
  EXPECT_TRUE(kbtest::FileExists(tmp_folder + "/" + HexFileName("fallback-check")));
  EXPECT_EQ(ModeOf(tmp_folder), 0700u);
  EXPECT_FALSE(kbtest::FileExists(folder_));
}

TEST_F(PosixMutexTest, KilledHolderLeavesNoName) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    platform::Handle held = platform::CreateNamedMutex("victim", true, nullptr);
    const char byte = held.valid() ? 'y' : 'n';
    (void)::write(ready[1], &byte, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(byte, 'y');
  EXPECT_EQ(Probe("victim"), ProbeResult::kExists);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(Probe("victim"), ProbeResult::kAbsent);
  // The next holder starts a fresh name.
  int error = -1;
  platform::Handle again = platform::CreateNamedMutex("victim", true, &error);
  EXPECT_TRUE(again.valid());
  EXPECT_EQ(error, 0);
}

}  // namespace
