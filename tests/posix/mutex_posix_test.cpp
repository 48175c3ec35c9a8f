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

enum class ProbeResult { kAbsent, kExists, kFailed };

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

// The probe's three outcomes; *error what it returned.
ProbeResult Probe(const std::string& name, int* error = nullptr) {
  bool exists = true;
  const int result = platform::ProbeNamedMutex(name, &exists);
  if (error != nullptr) *error = result;
  if (result == 0) return exists ? ProbeResult::kExists : ProbeResult::kAbsent;
  EXPECT_FALSE(exists);
  return ProbeResult::kFailed;
}

// *error: the failure's code, else 183 when the name existed already, else 0.
platform::Handle Create(const std::string& name, bool owned, int* error = nullptr) {
  platform::Handle mutex;
  bool existed = false;
  const int result = platform::CreateNamedMutex(name, owned, &mutex, &existed);
  EXPECT_EQ(mutex.valid(), result == 0);
  if (error != nullptr) *error = result != 0 ? result : existed ? 183 : 0;
  return mutex;
}

class PosixMutexTest : public ::testing::Test {
 protected:
  PosixMutexTest()
      : runtime_("XDG_RUNTIME_DIR", dir_.path()),
        data_("XDG_DATA_HOME", dir_ / "data"),
        folder_(dir_ / "kestrelbay"),
        fallback_(dir_ / "data/Orlan/Kestrelbay/locks") {}
  kbtest::ScratchDir dir_;
  kbtest::ScopedEnv runtime_;
  kbtest::ScopedEnv data_;
  std::string folder_;
  std::string fallback_;
};

TEST_F(PosixMutexTest, FolderIsCreatedPrivateAndNamesExistWhileHeld) {
  int error = -1;
  platform::Handle first = Create("app/one", true, &error);
  ASSERT_TRUE(first.valid());
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ModeOf(folder_), 0700u);
  EXPECT_EQ(Probe("app/one"), ProbeResult::kExists);
  EXPECT_EQ(Probe("app/One"), ProbeResult::kAbsent);  // letter case counts

  platform::Handle second = Create("app/one", false, &error);
  ASSERT_TRUE(second.valid());
  EXPECT_EQ(error, 183);
  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(Probe("app/one"), ProbeResult::kExists);  // the second holder keeps it
  EXPECT_EQ(second.Close(), 0);
  EXPECT_EQ(Probe("app/one", &error), ProbeResult::kAbsent);
  EXPECT_EQ(error, 0);
}

TEST_F(PosixMutexTest, ProbeCreatesNeitherFolderNorFile) {
  EXPECT_EQ(Probe("nobody"), ProbeResult::kAbsent);
  EXPECT_FALSE(kbtest::FileExists(folder_));
  platform::Handle other = Create("someone", false, nullptr);
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
    held.push_back(Create(name, true, nullptr));
    EXPECT_TRUE(held.back().valid()) << name;
    EXPECT_EQ(Probe(name), ProbeResult::kExists) << name;
  }
  EXPECT_EQ(Probe(long_b), ProbeResult::kAbsent);
  EXPECT_EQ(Probe("lead"), ProbeResult::kAbsent);
  EXPECT_EQ(Probe(std::string("nul", 3)), ProbeResult::kAbsent);
  // Nothing escaped the folder.
  EXPECT_EQ(kbtest::ListDir(dir_.path()), std::vector<std::string>{"kestrelbay"});
}

// Another user can create /tmp/kestrelbay-<uid> first: the folder is then
// refused, never used, and the names go to a private folder in the data
// folder, which the report names.
TEST_F(PosixMutexTest, UntrustworthyFolderIsReplacedByThePrivateFallback) {
  kbtest::MakeDirs(dir_ / "real");
  ::chmod((dir_ / "real").c_str(), 0700);
  struct Setup {
    const char* what;
    void (*make)(const std::string& folder, const std::string& real);
    const char* reason;
  };
  const Setup setups[] = {
      {"open to the group", [](const std::string& f, const std::string&) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0750);
       }, "others may use it (mode 750)"},
      {"open to everyone", [](const std::string& f, const std::string&) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0777);
       }, "others may use it (mode 777)"},
      {"a link to a private folder", [](const std::string& f, const std::string& real) {
         ASSERT_EQ(::symlink(real.c_str(), f.c_str()), 0);
       }, "it is a symbolic link or not a folder"},
      {"a file", [](const std::string& f, const std::string&) { kbtest::WriteFile(f, ""); },
       "it is a symbolic link or not a folder"},
      {"another user's", [](const std::string& f, const std::string&) {
         ::mkdir(f.c_str(), 0700);
         if (::chown(f.c_str(), 4321, 4321) != 0) ::chmod(f.c_str(), 0755);
       }, ::geteuid() == 0 ? "it belongs to user 4321" : "others may use it (mode 755)"},
  };
  for (const Setup& setup : setups) {
    SCOPED_TRACE(setup.what);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    std::filesystem::remove_all(dir_ / "data", ignored);
    setup.make(folder_, dir_ / "real");
    platform::MutexFolderReport report;
    EXPECT_EQ(platform::CheckMutexFolder(&report), 0);
    EXPECT_EQ(report.refused, folder_);
    EXPECT_EQ(report.reason, setup.reason);
    EXPECT_EQ(report.fallback, fallback_);
    int error = -1;
    platform::Handle held = Create("x", true, &error);
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ModeOf(fallback_), 0700u);
    EXPECT_TRUE(kbtest::FileExists(fallback_ + "/" + HexFileName("x")));
    EXPECT_EQ(Probe("x"), ProbeResult::kExists);
    EXPECT_EQ(held.Close(), 0);
    EXPECT_EQ(Probe("x"), ProbeResult::kAbsent);
  }
  EXPECT_TRUE(kbtest::ListDir(dir_ / "real").empty());
}

TEST_F(PosixMutexTest, NameHeldInTheFallbackIsSeenOnceThePrivateFolderIsUsable) {
  ASSERT_EQ(::mkdir(folder_.c_str(), 0777), 0);
  ::chmod(folder_.c_str(), 0777);
  platform::Handle held = Create("early", true, nullptr);
  ASSERT_TRUE(held.valid());
  ASSERT_EQ(::rmdir(folder_.c_str()), 0);  // whoever planted it gives up
  platform::Handle later = Create("later", true, nullptr);
  ASSERT_TRUE(later.valid());
  EXPECT_TRUE(kbtest::FileExists(folder_ + "/" + HexFileName("later")));
  EXPECT_EQ(Probe("early"), ProbeResult::kExists);
  EXPECT_EQ(Probe("later"), ProbeResult::kExists);
}

// When neither folder can be trusted the guard cannot work, and says so.
TEST_F(PosixMutexTest, NoUsableFolderIsReportedNotHidden) {
  ASSERT_EQ(::symlink((dir_ / "real").c_str(), folder_.c_str()), 0);
  kbtest::MakeDirs(dir_ / "data/Orlan/Kestrelbay");
  ASSERT_EQ(::mkdir(fallback_.c_str(), 0755), 0);
  ::chmod(fallback_.c_str(), 0755);
  platform::MutexFolderReport report;
  EXPECT_EQ(platform::CheckMutexFolder(&report), EACCES);
  EXPECT_EQ(report.refused, folder_);
  EXPECT_EQ(report.fallback_reason, "others may use it (mode 755)");
  int error = 0;
  EXPECT_FALSE(Create("x", true, &error).valid());
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(Probe("x"), ProbeResult::kFailed);
}

TEST_F(PosixMutexTest, PlantedLinkIsNeverFollowed) {
  ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
  const std::string target = dir_ / "target";
  ASSERT_EQ(::symlink(target.c_str(), (folder_ + "/" + HexFileName("app")).c_str()), 0);
  int error = 0;
  EXPECT_FALSE(Create("app", true, &error).valid());
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(Probe("app"), ProbeResult::kFailed);
  EXPECT_FALSE(kbtest::FileExists(target));
}

TEST_F(PosixMutexTest, RelativeRuntimeDirFallsBackToTmp) {
  kbtest::ScopedEnv relative("XDG_RUNTIME_DIR", "relative/dir");
  platform::Handle held = Create("fallback-check", true, nullptr);
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
    platform::Handle held = Create("victim", true, nullptr);
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
  platform::Handle again = Create("victim", true, &error);
  EXPECT_TRUE(again.valid());
  EXPECT_EQ(error, 0);
}

}  // namespace
