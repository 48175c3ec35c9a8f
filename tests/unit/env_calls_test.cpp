#include "env/env_calls.h"
#include "log/time_stamp.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "common/command_line.h"
#include "log/log.h"
#include "platform/fs.h"
#include "platform/running_program.h"
#include "support/test_support.h"

namespace {

using kbtest::ReadFile;
using kbtest::ScopedEnv;
using kbtest::ScratchDir;

using kbtest::IsWindows;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

class EnvCallsTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_log_ = kb::LogFilePath(); }
  void TearDown() override {
    kb::LogFilePath() = saved_log_;
    kb::SetClockForTesting([] { return std::time(nullptr); });
  }
  // Routes log lines into a file of the scratch folder; returns its path.
  std::string CaptureLog() {
    kb::LogFilePath() = dir_ / "capture.log";
    return kb::LogFilePath();
  }
  ScratchDir dir_;
  std::string saved_log_;
};

struct StampCase {
  int year, month, day, hour, minute, second;
  const char* date_time;
  const char* time_stamp;
};

TEST_F(EnvCallsTest, StampsAtFixedTimes) {
  const StampCase cases[] = {
      {2026, 12, 6, 18, 8, 46, "2026-12-6-18.8.46", "Sun Dec 06 18:08:46 2026\n"},
      {2027, 3, 1, 9, 5, 7, "2027-3-1-9.5.7", "Mon Mar 01 09:05:07 2027\n"},
      {2030, 10, 31, 23, 59, 59, "2030-10-31-23.59.59", "Thu Oct 31 23:59:59 2030\n"},
      {2028, 2, 29, 0, 0, 0, "2028-2-29-0.0.0", "Tue Feb 29 00:00:00 2028\n"},
  };
  for (const StampCase& c : cases) {
    const std::time_t at = LocalTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
    kb::SetClockForTesting([at] { return at; });
    EXPECT_EQ(kb::GetDateTimeStamp(), c.date_time);
    EXPECT_EQ(kb::GetTimeStamp(), c.time_stamp);
    EXPECT_EQ(kb::GetTimeStamp().size(), 25u);
  }
}

TEST_F(EnvCallsTest, LogFileNameIsApplicationNameAndStamp) {
  const std::time_t at = LocalTime(2027, 3, 1, 9, 5, 7);
  kb::SetClockForTesting([at] { return at; });
  EXPECT_EQ(kb::LauncherLogName("run"), "run_2027-3-1-9.5.7.log");
  EXPECT_EQ(kb::LauncherLogName("tool_console"), "tool_console_2027-3-1-9.5.7.log");
}

TEST(NormalizeSlashesTest, ForeignSeparatorsBecomeNative) {
  const std::string native(1, platform::PathSeparator());
  const std::string foreign(1, platform::ForeignSeparator());
  EXPECT_EQ(kb::NormalizeSlashes("a" + foreign + "b" + native + "c" + foreign + foreign),
            "a" + native + "b" + native + "c" + native + native);
  EXPECT_EQ(kb::NormalizeSlashes("plain"), "plain");
  EXPECT_EQ(kb::NormalizeSlashes(""), "");
}

TEST_F(EnvCallsTest, GetTempAcceptsAnExistingFolderAndLogsIt) {
  const std::string log = CaptureLog();
  ScopedEnv tmp("TMP", dir_.path());
  EXPECT_EQ(kb::GetTemp(), dir_.path());
  EXPECT_NE(ReadFile(log).find("INFO: EnvCalls::GetTemp::TMP=" + dir_.path() + "\r\n"),
            std::string::npos);
}

TEST_F(EnvCallsTest, GetTempCreatesAMissingNestedFolderFromTemp) {
  ScopedEnv tmp("TMP");
  const std::string nested = dir_ / kbtest::Join("new", kbtest::Join("deeper", "tmp"));
  ScopedEnv temp("TEMP", nested);
  EXPECT_EQ(kb::GetTemp(), nested);
  EXPECT_EQ(platform::GetPathKind(nested), platform::PathKind::kDirectory);
}

TEST_F(EnvCallsTest, GetTempRejectsAFile) {
  const std::string log = CaptureLog();
  const std::string file = dir_ / "plain.txt";
  kbtest::WriteFile(file, "x");
  ScopedEnv tmp("TMP", file);
  EXPECT_EQ(kb::GetTemp(), "");
  EXPECT_NE(ReadFile(log).find("WARNING: EnvCalls::GetTemp::This is not a directory=" + file),
            std::string::npos);
}

TEST_F(EnvCallsTest, GetTempRejectsAPathBelowAFile) {
  const std::string log = CaptureLog();
  const std::string file = dir_ / "plain.txt";
  kbtest::WriteFile(file, "x");
  const std::string below = kbtest::Join(file, "sub");
  ScopedEnv tmp("TMP", below);
  EXPECT_EQ(kb::GetTemp(), "");
  EXPECT_NE(ReadFile(log).find("WARNING: EnvCalls::GetTemp::invalid=" + below),
            std::string::npos);
  // The words of the error met: Windows answers 3, POSIX the errno.
  const int error = IsWindows() ? 3 : ENOTDIR;
  EXPECT_EQ(kb::DecideTempFolder(below, true).problem,
            "it cannot be created: " + platform::ErrorText(error) + " (error " +
                std::to_string(error) + ")");
}

TEST_F(EnvCallsTest, GetTempWithoutVariables) {
  const std::string log = CaptureLog();
  ScopedEnv tmp("TMP");
  ScopedEnv temp("TEMP");
  ScopedEnv tmpdir("TMPDIR");
  if (IsWindows()) {
    EXPECT_EQ(kb::GetTemp(), "");
    EXPECT_NE(ReadFile(log).find("WARNING: EnvCalls::GetTemp::invalid=\r\n"), std::string::npos);
  } else {
    EXPECT_EQ(kb::GetTemp(), "/tmp");
  }
}

TEST_F(EnvCallsTest, GetTempRejectsARelativePath) {
  ScopedEnv tmp("TMP", "relative_tmp");
  kbtest::ScopedCwd cwd(dir_.path());
  EXPECT_EQ(kb::GetTemp(), "");
  EXPECT_FALSE(kbtest::FileExists(dir_ / "relative_tmp"));
}

TEST(GetDataLocationTest, FollowsTheUsersProfile) {
  if (IsWindows()) {
    ScopedEnv profile("USERPROFILE", "C:\\Users\\user1");
    EXPECT_EQ(kb::GetDataLocation(""), "C:\\Users\\user1\\AppData\\Local\\Orlan\\Kestrelbay");
    EXPECT_EQ(kb::GetDataLocation("D:\\base"), "D:\\base\\AppData\\Local\\Orlan\\Kestrelbay");
    ScopedEnv unset("USERPROFILE");
    EXPECT_EQ(kb::GetDataLocation(""), "\\AppData\\Local\\Orlan\\Kestrelbay");
  } else {
    {
      ScopedEnv xdg("XDG_DATA_HOME", "/data/home");
      EXPECT_EQ(kb::GetDataLocation(""), "/data/home/Orlan/Kestrelbay");
    }
    ScopedEnv home("HOME", "/home/u1");
    ScopedEnv relative_xdg("XDG_DATA_HOME", "not/absolute");
    EXPECT_EQ(kb::GetDataLocation(""), "/home/u1/.local/share/Orlan/Kestrelbay");
    ScopedEnv no_xdg("XDG_DATA_HOME");
    EXPECT_EQ(kb::GetDataLocation(""), "/home/u1/.local/share/Orlan/Kestrelbay");
  }
}

TEST(GetWinVerNumTest, UnknownSelectorsAnswerTheMajorVersion) {
  const double major = kb::GetWinVerNum(1);
  EXPECT_GT(major, 0.0);
  EXPECT_EQ(kb::GetWinVerNum(0), major);
  EXPECT_EQ(kb::GetWinVerNum(5), major);
  EXPECT_EQ(kb::GetWinVerNum(-3), major);
  EXPECT_GE(kb::GetWinVerNum(2), 0.0);
}

TEST_F(EnvCallsTest, PlatformTagOnThisSixtyFourBitMachineIsWx6WithItsLogLine) {
  const std::string log = CaptureLog();
  EXPECT_EQ(kb::GetOs(), "wx6");
  EXPECT_NE(ReadFile(log).find("INFO: EnvCalls::isWow64=true\r\n"), std::string::npos);
}

TEST(ApplicationNameTest, IsTheExecutableNameWithoutExtension) {
  ASSERT_TRUE(kb::InitApplication());
  EXPECT_EQ(kb::ApplicationName(), "unit_tests");
  EXPECT_EQ(kb::GetLauncherDir(), kbtest::ExeDir());
}

TEST(FullPathNameTest, ResolvesFromTheTextAlone) {
  kbtest::ScratchDir scratch;
  kbtest::ScopedCwd cwd(scratch.path());
  const std::string s = kbtest::Sep();
  const std::string parent = scratch.path().substr(0, scratch.path().rfind(s));
  const struct {
    std::string path;
    std::string full;
    int error;
  } cases[] = {
      // No folder "sub" exists: nothing is asked of the file system.
      {"sub" + s + ".." + s + "m.ini", scratch / "m.ini", 0},
      {"." + s + "a" + s + "." + s + "b", scratch / "a" + s + "b", 0},
      {".." + s + "y", kbtest::Join(parent, "y"), 0},
      {scratch / "gone" + s + ".." + s + "b", scratch / "b", 0},
      {"d" + s, scratch / "d" + s, 0},
      // A failure answers its code and leaves no stale text behind.
      {"", "", platform::kErrorBadPathname},
  };
  for (const auto& c : cases) {
    std::string full = "stale";
    EXPECT_EQ(platform::FullPathName(c.path, &full), c.error) << c.path;
    EXPECT_EQ(full, c.full) << c.path;
  }
}

TEST(ApplicationNameTest, WhatAnExecutablePathGives) {
  const bool windows = platform::PathSeparator() == '\\';
  const struct {
    const char* path;
    const char* windows;
    const char* posix;
  } cases[] = {
      {"C:\\app\\setup_console.exe", "setup_console", "C:\\app\\setup_console.exe"},
      {"/opt/app/myapp-1.2_console", "myapp-1", "myapp-1.2_console"},
      {"/opt/app/my\\app_console", "app_console", "my\\app_console"},
      {"/opt/app/tool.v2.exe", "tool.v2", "tool.v2.exe"},
      {"/opt/app/.hidden", ".hidden", ".hidden"},
      {"tool_console", "tool_console", "tool_console"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ApplicationNameOf(c.path), windows ? c.windows : c.posix) << c.path;
  }
}

}  // namespace
