// File-system services, environment and locations of the Windows layer,
// against the real system.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/append_file.h"
#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/user_folders.h"
#include "platform/win32/windows_api.h"
#include "support/test_support.h"

namespace {

using platform::PathKind;

class FsWin32 : public ::testing::Test {
 protected:
  kbtest::ScratchDir dir_;
};

TEST_F(FsWin32, CreateDirectoryTreeAnswersTheShellCodes) {
  kbtest::WriteFile(dir_ / "plain.txt", "x");
  const std::string nested = dir_ / "a\\b\\c";
  struct Case {
    std::string path;
    int expected;
  };
  // In order: each row may rely on the rows before it.
  const Case cases[] = {
      {nested, platform::kErrorSuccess},
      {nested, platform::kErrorAlreadyExists},
      {dir_ / "plain.txt", platform::kErrorAlreadyExists},
      {dir_ / "plain.txt\\below", platform::kErrorPathNotFound},
      {"relative\\dir", platform::kErrorBadPathname},
      {".\\x", platform::kErrorBadPathname},
      {"", platform::kErrorBadPathname},
      {dir_ / "trailing\\", platform::kErrorSuccess},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CreateDirectoryTree(c.path), c.expected) << c.path;
  }
  EXPECT_EQ(platform::GetPathKind(nested), PathKind::kDirectory);
  EXPECT_EQ(platform::GetPathKind(dir_ / "trailing"), PathKind::kDirectory);
  EXPECT_FALSE(platform::PathExists("relative"));
}

TEST_F(FsWin32, PathKindNeverTakesAFailureForAFolder) {
  kbtest::WriteFile(dir_ / "f.txt", "x");
  EXPECT_EQ(platform::GetPathKind(dir_.path()), PathKind::kDirectory);
  EXPECT_EQ(platform::GetPathKind(dir_.path() + "\\"), PathKind::kDirectory);
  EXPECT_EQ(platform::GetPathKind(dir_ / "f.txt"), PathKind::kFile);
  // The failure value has the directory bit set: all of these must still
  // read as missing.
  EXPECT_EQ(platform::GetPathKind(dir_ / "f.txt\\"), PathKind::kMissing);
  EXPECT_EQ(platform::GetPathKind(dir_ / "none"), PathKind::kMissing);
  EXPECT_EQ(platform::GetPathKind(dir_ / "none\\deeper"), PathKind::kMissing);
  EXPECT_EQ(platform::GetPathKind(""), PathKind::kMissing);
  EXPECT_TRUE(platform::PathExists(dir_ / "f.txt"));
  EXPECT_TRUE(platform::PathExists(dir_.path()));
  EXPECT_FALSE(platform::PathExists(dir_ / "none"));
}

TEST_F(FsWin32, FindEntryGivesTheFullPathOfWhatExists) {
  kbtest::MakeDirs(dir_ / "run1");
  EXPECT_EQ(platform::FindEntry(dir_ / "run1"), dir_ / "run1");
  // Forward slashes and a relative name resolve like the folder search.
  const std::string slashed = dir_.path() + "/run1";
  EXPECT_EQ(platform::FindEntry(slashed), dir_ / "run1");
  {
    kbtest::ScopedCwd cwd(dir_.path());
    EXPECT_EQ(platform::FindEntry("run1"), dir_ / "run1");
    EXPECT_EQ(platform::FindEntry("missing"), "");
  }
  EXPECT_EQ(platform::FindEntry(dir_ / "missing"), "");
  EXPECT_EQ(platform::FindEntry(dir_ / "run1\\"), "");
  EXPECT_EQ(platform::FindEntry(dir_ / "run1/"), "");
  EXPECT_EQ(platform::FindEntry(""), "");
  // The search must not pick a match for a pattern: callers remove the
  // entry found.
  EXPECT_EQ(platform::FindEntry(dir_ / "run*"), "");
  EXPECT_EQ(platform::FindEntry(dir_ / "run?"), "");
  EXPECT_EQ(platform::FindEntry(dir_.path() + "\\*"), "");
}

TEST_F(FsWin32, FindEntryNeverFindsARoot) {
  // Drive roots have no entry of their own; "." and ".." at the root find
  // nothing, so no caller ever gets a root to act on.
  const std::string drive = dir_.path().substr(0, 3);  // "C:\"
  for (const std::string& path : {drive + ".", drive + "..", drive,
                                  dir_ / "..\\..\\..\\..\\..\\..\\..\\.."}) {
    EXPECT_EQ(platform::FindEntry(path), "") << path;
  }
  kbtest::MakeDirs(dir_ / "sub");
  EXPECT_EQ(platform::FindEntry(dir_ / "sub\\."), dir_ / "sub");
}

TEST_F(FsWin32, CurrentDirectoryRoundTripsAndResolvesRelativeNames) {
  kbtest::MakeDirs(dir_ / "sub");
  const auto current = [] {
    std::string dir;
    EXPECT_EQ(platform::GetCurrentDir(&dir), 0);
    return dir;
  };
  const auto full_path = [](const std::string& path, int error) {
    std::string full = "stale";
    EXPECT_EQ(platform::FullPathName(path, &full), error) << path;
    return full;
  };
  const std::string before = current();
  {
    kbtest::ScopedCwd cwd(dir_ / "sub");
    EXPECT_EQ(current(), dir_ / "sub");
    EXPECT_EQ(full_path("x.ini", 0), dir_ / "sub\\x.ini");
    EXPECT_EQ(full_path("..\\y", 0), dir_ / "y");
  }
  EXPECT_EQ(current(), before);
  EXPECT_EQ(platform::SetCurrentDir(dir_ / "missing"), platform::kErrorFileNotFound);
  EXPECT_EQ(current(), before);
  EXPECT_EQ(full_path("", platform::kErrorBadPathname), "");
  // Not bound to MAX_PATH: an application may be installed deeper.
  const std::string deep = "C:\\" + std::string(300, 'a') + "\\b";
  EXPECT_EQ(full_path(deep + "\\.\\c\\..\\x.ini", 0), deep + "\\x.ini");
}

// Why a runtime's program cannot be started, so that the search skips it
// with the reason: each refusal, and a real program.
TEST_F(FsWin32, WhyNotRunnableNamesEachRefusal) {
  kbtest::MakeDirs(dir_ / "folder.exe");
  kbtest::WriteFile(dir_ / "empty.exe", "");
  kbtest::WriteFile(dir_ / "script.exe", "#!/bin/sh\necho java\n");
  kbtest::WriteFile(dir_ / "m.exe", "M");
  kbtest::WriteFile(dir_ / "zm.exe", "ZM\x90");
  kbtest::WriteFile(dir_ / "mz.exe", std::string("MZ\x90\0", 4));
  const struct {
    std::string path;
    const char* why;
  } cases[] = {
      {dir_ / "missing.exe", "it does not exist"},
      {dir_ / "folder.exe", "it is not a regular file"},
      {dir_ / "empty.exe", "it is empty"},
      {dir_ / "script.exe", "it is not an executable image"},
      {dir_ / "m.exe", "it is not an executable image"},
      {dir_ / "zm.exe", "it is not an executable image"},
      {dir_ / "mz.exe", ""},  // begins as an image: the start itself decides
      {kbtest::Child(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::WhyNotRunnable(c.path), c.why) << c.path;
}

TEST(FsWin32Paths, AbsoluteAndRootForms) {
  struct Case {
    const char* path;
    std::size_t root_length;
    bool absolute;
    bool root;
  };
  const Case cases[] = {
      {"C:\\", 3, true, true},
      {"c:/", 3, true, true},
      {"C:", 0, false, true},
      {"\\", 0, false, true},
      {"/", 0, false, true},
      {"\\\\srv\\share", 11, true, true},
      {"\\\\srv\\share\\", 12, true, true},
      {"//srv/share/dir", 12, true, false},
      {"\\\\.\\C:\\users\\me", 7, true, false},
      {"\\\\srv\\", 0, false, false},
      {"\\\\srv", 0, false, false},
      {"\\\\\\share", 0, false, false},
      {"C:\\dir", 3, true, false},
      {"C:\\\\", 3, true, false},
      {"C:dir", 0, false, false},
      {"\\dir", 0, false, false},
      {"dir\\x", 0, false, false},
      {"", 0, false, false},
      {"1:\\", 0, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::RootLength(c.path), c.root_length) << c.path;
    EXPECT_EQ(platform::IsAbsolutePath(c.path), c.absolute) << c.path;
    EXPECT_EQ(platform::IsRootPath(c.path), c.root) << c.path;
  }
}

TEST_F(FsWin32, WholeFileIsWrittenOnceAndByteExact) {
  const std::string path = dir_ / "clean.bat";
  const std::string bytes = std::string("sleep 2\r\ncd x\n\0end", 18);
  ASSERT_EQ(platform::WriteWholeFile(path, bytes, true), 0);
  EXPECT_EQ(kbtest::ReadFile(path), bytes);
  // An existing file is never overwritten, and the answer says why.
  EXPECT_EQ(platform::WriteWholeFile(path, "other", false), platform::kErrorFileExists);
  EXPECT_EQ(kbtest::ReadFile(path), bytes);
  EXPECT_EQ(platform::WriteWholeFile(dir_ / "no\\such\\dir.bat", "x", false),
            platform::kErrorPathNotFound);
}

TEST_F(FsWin32, AppendFileAddsExactBytesAndSharesTheFile) {
  const std::string path = dir_ / "launch.log";
  platform::AppendFile first;
  ASSERT_EQ(platform::AppendFile::Open(path, platform::AppendMode::kNew, &first), 0);
  // A second writer (another launcher on the same log) and a reader must be
  // able to open the file while the first one holds it.
  platform::AppendFile second;
  ASSERT_EQ(platform::AppendFile::Open(path, platform::AppendMode::kOwn, &second), 0);
  platform::AppendFile third;
  EXPECT_EQ(platform::AppendFile::Open(path, platform::AppendMode::kNew, &third),
            platform::kErrorFileExists);
  EXPECT_EQ(first.Write("one\r\n"), 0);
  EXPECT_EQ(second.Write(std::string("two\n\0", 5)), 0);
  EXPECT_EQ(first.Write("three"), 0);
  EXPECT_EQ(kbtest::ReadFile(path), std::string("one\r\ntwo\n\0three", 15));
  first.Close();
  EXPECT_EQ(first.Write("x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(platform::AppendFile::Open(dir_ / "no\\dir\\x.log", platform::AppendMode::kNamed,
                                       &third),
            platform::kErrorPathNotFound);
}

TEST(SystemWin32, EnvironmentChangesReachTheRuntime) {
  const std::string name = "KB_WIN32_ENV_PROBE";
  ASSERT_EQ(platform::SetEnvVar(name, "v1 with blanks"), 0);
  EXPECT_EQ(platform::GetEnvVar(name.c_str()), "v1 with blanks");
  ASSERT_EQ(platform::UnsetEnvVar(name), 0);
  EXPECT_EQ(platform::GetEnvVar(name.c_str()), "");
  EXPECT_EQ(platform::UnsetEnvVar(name), 0) << "removing twice is no failure";
  EXPECT_EQ(platform::SetEnvVar("A=B", "x"), ERROR_INVALID_PARAMETER);
}

TEST(SystemWin32, TempDirPrefersTmpAndTreatsEmptyAsUnset) {
  struct Case {
    const char* tmp;  // nullptr: unset
    const char* temp;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\t1", "C:\\t2", "C:\\t1"},
      {nullptr, "C:\\t2", "C:\\t2"},
      {"", "C:\\t2", "C:\\t2"},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    auto tmp = c.tmp ? std::make_unique<kbtest::ScopedEnv>("TMP", c.tmp)
                     : std::make_unique<kbtest::ScopedEnv>("TMP");
    auto temp = c.temp ? std::make_unique<kbtest::ScopedEnv>("TEMP", c.temp)
                       : std::make_unique<kbtest::ScopedEnv>("TEMP");
    EXPECT_EQ(platform::TempDirFromEnvironment(), c.expected)
        << (c.tmp ? c.tmp : "(unset)");
  }
}

TEST(SystemWin32, LocalAppDataRootDependsOnMajorVersion) {
  kbtest::ScopedEnv profile("USERPROFILE", "C:\\Users\\user1");
  EXPECT_EQ(platform::LocalAppDataRoot("", 6.0),
            "C:\\Users\\user1\\AppData\\Local\\");
  EXPECT_EQ(platform::LocalAppDataRoot("", 10.0),
            "C:\\Users\\user1\\AppData\\Local\\");
  EXPECT_EQ(platform::LocalAppDataRoot("", 5.0),
            "C:\\Users\\user1\\Local Settings\\Application Data\\");
  // 0.0 is what an unreadable version gives: the older layout.
  EXPECT_EQ(platform::LocalAppDataRoot("", 0.0),
            "C:\\Users\\user1\\Local Settings\\Application Data\\");
  EXPECT_EQ(platform::LocalAppDataRoot("D:\\base", 6.0),
            "D:\\base\\AppData\\Local\\");
  kbtest::ScopedEnv no_profile("USERPROFILE");
  EXPECT_EQ(platform::LocalAppDataRoot("", 6.0), "\\AppData\\Local\\");
}

}  // namespace
