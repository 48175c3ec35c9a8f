#include "launcher/cleanup_script.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "log/log.h"
#include "platform/fs.h"
#include "platform/io.h"
#include "support/test_support.h"

namespace {

using kbtest::ScratchDir;

// Joins path pieces with the native separator: dir_ / "a" / "b".
std::string operator/(const std::string& folder, const std::string& name) {
  return kbtest::Join(folder, name);
}

using kbtest::IsWindows;

std::string Ext() { return IsWindows() ? ".bat" : ".sh"; }

// The script as the user's system must read it, written out in full.
std::string ExpectedScript(const std::string& parent, const std::string& clean,
                           const std::string& script) {
  if (IsWindows()) {
    return "sleep 2\r\ncd /d \"" + parent + "\"\r\nrmdir /S /Q \"" + clean + "\"\r\ndel \"" +
           script + "\"\r\n";
  }
  return "sleep 2\ncd '" + parent + "'\nrm -rf -- '" + clean + "'\nrm -f -- '" + script + "'\n";
}

class CleanupScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_log_ = kb::LogFilePath();
    kb::LogFilePath() = logs_ / "clean.log";
    dir_path_ = dir_.path();
  }
  void TearDown() override {
    kb::LogFilePath() = saved_log_;
  }
  // Numbers handed out in this order by the script-name source.
  void Numbers(std::vector<int> numbers) {
    auto queue = std::make_shared<std::deque<int>>(numbers.begin(), numbers.end());
    numbers_ = [queue] {
      const int n = queue->front();
      queue->pop_front();
      return n;
    };
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (const std::string& line : kbtest::Lines(kbtest::ReadFile(logs_ / "clean.log"))) {
      if (line.rfind("INFO: ", 0) == 0 || line.rfind("WARNING: ", 0) == 0) entries.push_back(line);
    }
    return entries;
  }

  ScratchDir dir_;
  ScratchDir logs_;
  std::string saved_log_;
  std::string dir_path_;
  std::function<int()> numbers_;  // empty: rand()
};

TEST_F(CleanupScriptTest, WritesTheFourLinesBesideTheCleanDirectory) {
  kbtest::MakeDirs(dir_ / "run1");
  Numbers({41});
  const std::string script = kb::CreateCleanProc(dir_ / "run1", "tool_console", numbers_);
  EXPECT_EQ(script, dir_ / ("clean_tool_console_41" + Ext()));
  EXPECT_EQ(kbtest::ReadFile(script), ExpectedScript(dir_path_, dir_ / "run1", script));
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           "INFO: Launcher::Run::start::cleanroot=" + dir_path_,
                           "INFO: Run::CreateCleanProc::cleanfile=" + script,
                           "INFO: Run::CreateCleanProc::cleanfile=" + script}));
}

// A full disk: files can still be created, but their text is refused.
int RefuseWrites(platform::IoCall call, std::size_t) {
  return call == platform::IoCall::kWrite ? 28 : 0;
}

TEST_F(CleanupScriptTest, ScriptCutOffByAFailedWriteIsRemoved) {
  kbtest::MakeDirs(dir_ / "run1");
  Numbers({5});
  platform::SetIoFaultHookForTesting(RefuseWrites);
  const std::string script = kb::CreateCleanProc(dir_ / "run1", "tool", numbers_);
  platform::SetIoFaultHookForTesting(nullptr);
  EXPECT_EQ(script, "");
  // A script ending inside its folder's path would remove a folder above it.
  EXPECT_FALSE(platform::PathExists(dir_ / ("clean_tool_5" + Ext())));
  EXPECT_TRUE(platform::PathExists(dir_ / "run1"));
}

TEST_F(CleanupScriptTest, NameNumberComesFromTheUnseededRand) {
  kbtest::MakeDirs(dir_ / "run1");
  std::srand(1);  // the state of a process that never seeds
  const int first = std::rand();
  std::srand(1);
  const std::string script = kb::CreateCleanProc(dir_ / "run1", "app", numbers_);
  EXPECT_EQ(script, dir_ / ("clean_app_" + std::to_string(first) + Ext()));
}

TEST_F(CleanupScriptTest, TakenNamesAreDrawnAgainAndLeftUntouched) {
  kbtest::MakeDirs(dir_ / "run1");
  kbtest::WriteFile(dir_ / ("clean_t_7" + Ext()), "keep me");
  kbtest::MakeDirs(dir_ / ("clean_t_9" + Ext()));  // any entry counts, a folder too
  Numbers({7, 9, 7, 1234});
  const std::string script = kb::CreateCleanProc(dir_ / "run1", "t", numbers_);
  EXPECT_EQ(script, dir_ / ("clean_t_1234" + Ext()));
  EXPECT_EQ(kbtest::ReadFile(dir_ / ("clean_t_7" + Ext())), "keep me");
  EXPECT_EQ(kbtest::ReadFile(script), ExpectedScript(dir_path_, dir_ / "run1", script));
}

TEST_F(CleanupScriptTest, NothingIsWrittenForADirectoryTheSearchCannotFind) {
  kbtest::MakeDirs(dir_ / "run1");
  for (const std::string& given :
       {dir_ / "missing", (dir_ / "run1") + kbtest::Sep(), std::string(), std::string("no_such_rel")}) {
    SCOPED_TRACE(given);
    Numbers({5});
    EXPECT_EQ(kb::CreateCleanProc(given, "tool", numbers_), "");
  }
  EXPECT_EQ(Entries(), std::vector<std::string>(4, "INFO: Launcher::Run::start::cleanroot="));
  EXPECT_EQ(kbtest::ListDir(dir_.path()), std::vector<std::string>{"run1"});
}

TEST_F(CleanupScriptTest, RelativeDirectoryIsNamedByItsFullPath) {
  kbtest::MakeDirs(dir_ / "work" / "run1");
  kbtest::MakeDirs(dir_ / "elsewhere");
  Numbers({3});
  std::string script;
  {
    kbtest::ScopedCwd cwd(dir_ / "work");
    script = kb::CreateCleanProc("run1", "tool", numbers_);
  }
  EXPECT_EQ(script, dir_ / "work" / ("clean_tool_3" + Ext()));
  // Run from anywhere, the script removes work/run1, not a run1 beside it.
  EXPECT_EQ(kbtest::ReadFile(script),
            ExpectedScript(dir_ / "work", dir_ / "work" / "run1", script));
}

TEST_F(CleanupScriptTest, DotsInTheGivenPathAreResolvedBeforeWriting) {
  kbtest::MakeDirs(dir_ / "a" / "run1");
  Numbers({8});
  const std::string script =
      kb::CreateCleanProc(dir_ / "a" / ".." / "a" / "run1", "tool", numbers_);
  EXPECT_EQ(script, dir_ / "a" / ("clean_tool_8" + Ext()));
  EXPECT_EQ(kbtest::ReadFile(script), ExpectedScript(dir_ / "a", dir_ / "a" / "run1", script));
}

TEST_F(CleanupScriptTest, SpecialCharactersArePassedLiterallyToTheScript) {
  // A double quote cannot be part of a Windows name; POSIX allows it.
  const std::string name = IsWindows() ? "run 1%PATH%&x'y^!" : "run 1%PATH%&x'y\"$(id)`z`";
  kbtest::MakeDirs(dir_ / name);
  Numbers({77});
  const std::string script = kb::CreateCleanProc(dir_ / name, "tool", numbers_);
  ASSERT_EQ(script, dir_ / ("clean_tool_77" + Ext()));
  const std::string clean = dir_ / name;
  std::string written;
  if (IsWindows()) {
    std::string doubled;
    for (char c : clean) {
      if (c == '%') doubled += '%';
      doubled += c;
    }
    written = ExpectedScript(dir_path_, doubled, script);
  } else {
    std::string escaped;
    for (char c : clean) escaped += c == '\'' ? std::string("'\\''") : std::string(1, c);
    written = ExpectedScript(dir_path_, escaped, script);
  }
  EXPECT_EQ(kbtest::ReadFile(script), written);
}

TEST_F(CleanupScriptTest, HomeAndTheFoldersHoldingItAreRefused) {
  kbtest::MakeDirs(dir_ / "home" / "me" / "inner");
  kbtest::ScopedEnv home("HOME", dir_ / "home" / "me");
  kbtest::ScopedEnv profile("USERPROFILE", dir_ / "home" / "me");
  struct Case {
    std::string given;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir_ / "home" / "me", "is the user's home folder"},
      {dir_ / "home" / "me" / "inner" / "..", "is the user's home folder"},
      {dir_ / "home", "holds the user's home folder"},
      {dir_path_, "holds the user's home folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    kbtest::WriteFile(logs_ / "clean.log", "");
    Numbers({1});
    EXPECT_EQ(kb::CreateCleanProc(c.given, "tool", numbers_), "");
    const std::vector<std::string> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("WARNING: Run::CreateCleanProc::refused=the clean directory " +
                                   c.reason, 0),
              0u)
        << entries[0];
  }
  EXPECT_EQ(kbtest::ListDir(dir_.path()), std::vector<std::string>{"home"});
  EXPECT_EQ(kbtest::ListDir(dir_ / "home"), std::vector<std::string>{"me"});
  // A folder inside the home folder may go.
  Numbers({2});
  EXPECT_EQ(kb::CreateCleanProc(dir_ / "home" / "me" / "inner", "tool", numbers_),
            dir_ / "home" / "me" / ("clean_tool_2" + Ext()));
}

TEST_F(CleanupScriptTest, RootGetsNoScript) {
  const std::string root = IsWindows() ? dir_path_.substr(0, 3) : "/";
  const std::string up_to_root = dir_ / ".." / ".." / ".." / ".." / ".." / ".." / ".." / "..";
  for (const std::string& given : {root, root + ".", up_to_root, up_to_root + kbtest::Sep() + "."}) {
    SCOPED_TRACE(given);
    kbtest::WriteFile(logs_ / "clean.log", "");
    Numbers({1});
    EXPECT_EQ(kb::CreateCleanProc(given, "tool", numbers_), "");
    for (const std::string& entry : Entries()) {
      EXPECT_EQ(entry.find("cleanfile"), std::string::npos) << entry;
    }
    EXPECT_FALSE(kbtest::FileExists(root + "clean_tool_1" + Ext()));
  }
}

TEST(CleanRefusalReasonTest, NamesRootsAndTheHomeFolderAndItsHolders) {
  kbtest::ScratchDir dir;
  const std::string me = kbtest::Join(kbtest::Join(dir.path(), "home"), "me");
  kbtest::MakeDirs(kbtest::Join(me, "inner"));
  kbtest::MakeDirs(kbtest::Join(dir.path(), "other"));
  kbtest::ScopedEnv home("HOME", me);
  kbtest::ScopedEnv profile("USERPROFILE", me);
  const std::string root = IsWindows() ? dir.path().substr(0, 3) : "/";
  const std::vector<std::pair<std::string, std::string>> table = {
      {root, "the clean directory is a file-system root: " + root},
      {me, "the clean directory is the user's home folder: " + me},
      {kbtest::Join(dir.path(), "home"),
       "the clean directory holds the user's home folder: " + kbtest::Join(dir.path(), "home")},
      {kbtest::Join(me, "inner"), ""},
      {kbtest::Join(dir.path(), "other"), ""},
  };
  for (const auto& entry : table) EXPECT_EQ(kb::CleanRefusalReason(entry.first), entry.second);
  // Without a known home folder only roots are refused.
  kbtest::ScopedEnv no_home("HOME", "");
  kbtest::ScopedEnv no_profile("USERPROFILE", "");
  EXPECT_EQ(kb::CleanRefusalReason(me), "");
}

TEST_F(CleanupScriptTest, DirectoryBelowTheRootIsHeldByTheRootItself) {
  const std::string root = IsWindows() ? dir_path_.substr(0, 3) : "/";
  // The scratch folder's own name is unique to this run.
  const std::string folder =
      root + "kbtest_clean_" + dir_path_.substr(dir_path_.find_last_of("\\/") + 1);
  std::error_code error;
  std::filesystem::create_directory(folder, error);
  if (error) GTEST_SKIP() << "cannot create a folder in " << root;
  Numbers({12345});
  const std::string script = kb::CreateCleanProc(folder, "tool", numbers_);
  const std::string text = kbtest::ReadFile(script);
  std::filesystem::remove(script, error);
  std::filesystem::remove(folder, error);
  EXPECT_EQ(script, root + "clean_tool_12345" + Ext());
  // "cd C:" would go to the drive's current folder, not to its root.
  EXPECT_EQ(text, ExpectedScript(root, folder, script));
}

// The script's name when the console cannot hold the application's name.
TEST(CleanupScriptNameTest, AsciiFormKeepsAsciiAndSpellsTheRestAsCodePoints) {
  const struct {
    const char* name;
    const char* ascii;
  } cases[] = {
      {"tool_console", "tool_console"},
      {"\u65e5\u672c_console", "U65E5U672C_console"},
      {"caf\u00e9", "cafU00E9"},
      {"a\U0001F600b", "aU1F600b"},  // four bytes: one character
      {"x\xFFy", "x_y"},             // a byte of no character
  };
  for (const auto& c : cases) EXPECT_EQ(kb::AsciiFormOf(c.name), c.ascii) << c.name;
}

TEST(CleanupPathTest, NormalizesAndFindsParents) {
  struct Case {
    std::string path;
    std::string normalized;
    std::string parent;
  };
  const std::vector<Case> cases =
      IsWindows()
          ? std::vector<Case>{
                {"C:\\Temp\\run1", "C:\\Temp\\run1", "C:\\Temp"},
                {"C:\\run1", "C:\\run1", "C:\\"},
                {"C:\\", "C:\\", ""},
                {"c:/a//b/./c/../d", "c:\\a\\b\\d", "c:\\a\\b"},
                {"C:\\..\\..\\x", "C:\\x", "C:\\"},
                {"\\\\srv\\share\\dir", "\\\\srv\\share\\dir", "\\\\srv\\share\\"},
                {"\\\\srv\\share", "\\\\srv\\share\\", ""},
                {"run1", "", ""},
                {"\\run1", "", ""},
                {"C:run1", "", ""},
            }
          : std::vector<Case>{
                {"/tmp/run1", "/tmp/run1", "/tmp"},
                {"/run1", "/run1", "/"},
                {"/", "/", ""},
                {"//a///b/./c/../d/", "/a/b/d", "/a/b"},
                {"/../../x", "/x", "/"},
                {"/a/b\\c", "/a/b\\c", "/a"},
                {"run1", "", ""},
                {"", "", ""},
            };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string normalized = kb::NormalizeAbsolutePath(c.path);
    EXPECT_EQ(normalized, c.normalized);
    EXPECT_EQ(kb::ParentFolder(normalized), c.parent);
  }
}

}  // namespace
