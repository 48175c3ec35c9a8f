#include "log/log.h"
#include "log/log_output.h"
#include "log/relay_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "env/env_calls.h"
#include "log/time_stamp.h"
#include "support/test_support.h"

namespace {

using kbtest::ReadFile;
using kbtest::ScratchDir;

// 6 December 2026, 18:08:47 local time.
std::time_t FixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 6;
  t.tm_hour = 18;
  t.tm_min = 8;
  t.tm_sec = 47;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kb::SetClockForTesting(FixedTime);
    kb::SetApplicationNameForTesting("setup");
    saved_path_ = kb::LogFilePath();
  }
  void TearDown() override {
    kb::LogFilePath() = saved_path_;
    kb::SetClockForTesting([] { return std::time(nullptr); });
  }
  ScratchDir dir_;
  std::string saved_path_;
};

TEST_F(LogTest, BannerAndEntriesMatchTheExpectedFileByteForByte) {
  const std::string folder = dir_ / "logs";
  const std::string file = kbtest::Join(folder, "run.log");
  kb::LogFilePath() = file;
  kb::LogOpen("Launcher");
  kb::LogInfo("LRun::start::templocation", "");
  kb::LogWarning("EnvCalls::GetTemp::invalid", "C:\\no where");
  kb::LogError("ExeProc::ExeandDisplay", 2);
  kb::LogInfoLong("ExeProc::ExeandDisplay::GetExitCodeProcess", static_cast<std::int32_t>(0xFFFFFFFFu));
  kb::LogInfo("launch command=", "C:\\jre\\bin\\java.exe");
  kb::LogInfo("Launcher::main", 0);
  {
    kb::RelayLog relay;
    const std::string raw = "line one\nline two\r\nend";
    relay.LogText(raw.data(), raw.size());
  }

  std::string expected = ReadFile(std::string(KB_TEST_DATA_DIR) + "/log/entries_expected.log");
  ASSERT_FALSE(expected.empty());
  expected = expected.replace(expected.find("{FOLDER}"), 8, folder);
  expected = expected.replace(expected.find("{FILE}"), 6, file);
  EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(LogTest, SecondOpenAppendsASecondBannerAndKeepsTheFirst) {
  const std::string file = dir_ / "shared.log";
  kb::LogFilePath() = file;
  kb::LogOpen("Launcher");
  const std::string first = ReadFile(file);
  kb::LogOpen("Launcher");
  const std::string both = ReadFile(file);
  ASSERT_EQ(both.size(), 2 * first.size());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size()), first);
}

TEST_F(LogTest, EmptyPathWritesNothingAnywhere) {
  kbtest::ScopedCwd cwd(dir_.path());
  kb::LogFilePath().clear();
  kb::LogOpen("Launcher");
  kb::LogInfo("tag", "text");
  kb::RelayLog relay;
  relay.LogText("raw", 3);
  kb::LogError("tag", 5);
  EXPECT_TRUE(kbtest::ListDir(dir_.path()).empty());
}

struct Loss {
  std::string path;
  int error;
};
std::vector<Loss> g_losses;
void RecordLoss(const std::string& path, int error) { g_losses.push_back({path, error}); }

// A log that cannot be written is told once per run, at its first lost line
// after LogOpen, with its path and the system error; lines before LogOpen
// (the options' parse) may precede the folder LogOpen creates.
TEST_F(LogTest, FirstLostLineIsToldOncePerRun) {
  kbtest::WriteFile(dir_ / "plain", "a file where a folder should be");
  struct Case {
    const char* label;
    kb::LogPlace place;
    std::size_t told;
  };
  const std::string under_file = kbtest::Join(dir_ / "plain", "run.log");
  for (const Case& c : {Case{"named below a file", kb::LogPlace{under_file, false}, 1},
                        Case{"launcher-made below a file",
                             kb::ChooseLogPlace("", dir_ / "plain", "setup"), 1},
                        Case{"written", kb::LogPlace{dir_ / "ok.log", false}, 0}}) {
    SCOPED_TRACE(c.label);
    g_losses.clear();
    kb::SetLogLossSink(RecordLoss);
    kb::UseLog(c.place);
    kb::LogInfo("before", "the options' parse");
    EXPECT_TRUE(g_losses.empty());
    kb::LogOpen("Launcher");
    kb::LogInfo("tag", "text");
    kb::RelayLog relay;
    relay.LogText("raw\n", 4);
    relay.Finish();
    kb::LogError("tag", 5);
    ASSERT_EQ(g_losses.size(), c.told);
    if (c.told == 0) continue;
    EXPECT_EQ(g_losses[0].path, kb::LogFilePath());
    EXPECT_EQ(g_losses[0].path.rfind(dir_ / "plain", 0), 0u) << g_losses[0].path;
    EXPECT_NE(g_losses[0].error, 0);
    kb::SetLogLossSink(RecordLoss);  // a new run tells again
    kb::LogOpen("Launcher");
    EXPECT_EQ(g_losses.size(), 2u);
  }
  kb::SetLogLossSink(nullptr);
}

TEST_F(LogTest, PathEndingInSeparatorCreatesTheFolderButWritesNothing) {
  const std::string folder = dir_ / "asdir";
  kb::LogFilePath() = folder + kbtest::Sep();
  kb::LogOpen("Launcher");
  kb::LogInfo("tag", "text");
  EXPECT_TRUE(kbtest::FileExists(folder));
  EXPECT_TRUE(kbtest::ListDir(folder).empty());
}

TEST_F(LogTest, RelativePathGetsNoBannerButEntriesLandBesideTheCurrentFolder) {
  kbtest::ScopedCwd cwd(dir_.path());
  kb::LogFilePath() = "relative.log";
  kb::LogOpen("Launcher");
  EXPECT_FALSE(kbtest::FileExists(dir_ / "relative.log"));
  kb::LogInfo("Launcher::main", 3);
  const std::string content = ReadFile(dir_ / "relative.log");
  EXPECT_EQ(content, "Sun Dec 06 18:08:47 2026\r\nINFO: Launcher::main=3\r\n");
}

TEST_F(LogTest, WithoutANamedPathTheLauncherNamesTheLogInTheDataFolder) {
  const std::string folder = dir_ / "data";
  kb::UseLog(kb::ChooseLogPlace("", folder, "setup"));
  kb::LogOpen("Launcher");
  EXPECT_EQ(kb::LogFilePath(), kbtest::Join(folder, "setup_2026-12-6-18.8.47.log"));
  const std::string content = ReadFile(kb::LogFilePath());
  EXPECT_NE(content.find("Launcher started.... \r\npath= " + folder + "\r\n"), std::string::npos);
}

// Launches in the same second make the same name; each writes a file of its
// own, while a file the user names stays shared (see the test above).
TEST_F(LogTest, LaunchesInTheSameSecondGetFilesOfTheirOwn) {
  const std::string folder = dir_ / "data";
  const std::string base = kbtest::Join(folder, "setup_2026-12-6-18.8.47");
  const std::string expected[] = {base + ".log", base + "_2.log", base + "_3.log"};
  for (const std::string& file : expected) {
    kb::UseLog(kb::ChooseLogPlace("", folder, "setup"));  // a new launch
    kb::LogOpen("Launcher");
    kb::LogInfo("Launcher::main", 0);
    EXPECT_EQ(kb::LogFilePath(), file);
  }
  for (const std::string& file : expected) {
    const std::string content = ReadFile(file);
    EXPECT_NE(content.find("logfile= " + file + "\r\n"), std::string::npos) << content;
    EXPECT_EQ(kbtest::Lines(content).size(), 6u) << content;
  }
  // Entries after the claim stay in this launch's file.
  kb::RelayLog relay;
  relay.LogText("raw", 3);
  EXPECT_EQ(ReadFile(expected[2]).substr(ReadFile(expected[2]).size() - 3), "raw");
}

TEST_F(LogTest, LineFeedsInsideATextAreStoredAsCarriageReturnLineFeed) {
  kb::LogFilePath() = dir_ / "multi.log";
  kb::LogInfo("tag", "a\nb");
  EXPECT_EQ(ReadFile(kb::LogFilePath()), "Sun Dec 06 18:08:47 2026\r\nINFO: tag=a\r\nb\r\n");
}

TEST(LogOutputValues, EveryFormAndItsNearMisses) {
  struct OutputCase {
    const char* value;
    bool valid;
    bool copy;
  };
  for (const OutputCase& c : {OutputCase{"", true, true}, OutputCase{" ", true, true},
                              OutputCase{"all", true, true}, OutputCase{"ALL", true, true},
                              OutputCase{"none", true, false}, OutputCase{"None", true, false},
                              OutputCase{"no", false, true}, OutputCase{"off", false, true},
                              OutputCase{"none ", false, true}}) {
    bool copy = !c.copy;
    EXPECT_EQ(kb::ParseLogOutput(c.value, &copy), c.valid) << c.value;
    EXPECT_EQ(copy, c.copy) << c.value;
  }
  struct MaxCase {
    const char* value;
    bool valid;
    std::uint64_t bytes;
  };
  const std::uint64_t kGiB = std::uint64_t{1} << 30;
  for (const MaxCase& c :
       {MaxCase{"", true, 0}, MaxCase{" ", true, 0}, MaxCase{"1", true, 1},
        MaxCase{"4096", true, 4096}, MaxCase{"007", true, 7}, MaxCase{"1K", true, 1024},
        MaxCase{"10k", true, 10240}, MaxCase{"3M", true, 3u << 20}, MaxCase{"2m", true, 2u << 20},
        MaxCase{"5G", true, 5 * kGiB}, MaxCase{"8589934592G", true, std::uint64_t{1} << 63},
        MaxCase{"8589934593G", false, 0}, MaxCase{"9223372036854775808", true, std::uint64_t{1} << 63},
        MaxCase{"9223372036854775809", false, 0}, MaxCase{"99999999999999999999999", false, 0},
        MaxCase{"0", false, 0}, MaxCase{"0K", false, 0}, MaxCase{"-1", false, 0},
        MaxCase{"+1", false, 0}, MaxCase{"1.5M", false, 0}, MaxCase{"1 M", false, 0},
        MaxCase{"1MB", false, 0}, MaxCase{"1T", false, 0}, MaxCase{"K", false, 0},
        MaxCase{"M1", false, 0}, MaxCase{"0x10", false, 0}}) {
    std::uint64_t bytes = 99;
    EXPECT_EQ(kb::ParseLogMax(c.value, &bytes), c.valid) << c.value;
    EXPECT_EQ(bytes, c.bytes) << c.value;
  }
}

// The bound counts the whole file: what is there before the relay, and each
// line feed as the CR LF it becomes. Nothing after the first cut is logged,
// and one line says how many of the child's bytes were left out.
TEST_F(LogTest, RelayedOutputStopsAtTheBoundAndSaysHowMuchItLeftOut) {
  struct Case {
    const char* label;
    std::uint64_t max;
    bool copy;
    std::string logged;  // the relayed part of the file
    long long left_out;
  };
  const std::string before = "0123456789";  // already in the file
  const std::string out1 = "abc\ndef\n";       // 10 bytes in the log
  const std::string out2 = "ghij";
  const Case cases[] = {
      {"no bound", 0, true, "abc\r\ndef\r\nghij\r\n", 0},
      {"all fits exactly", 24, true, "abc\r\ndef\r\nghij\r\n", 0},
      {"cut inside the second chunk", 22, true, "abc\r\ndef\r\ngh\r\n", 2},
      {"a line feed that does not fit whole", 19, true, "abc\r\ndef\r\n", 5},
      {"cut inside the first chunk", 13, true, "abc\r\n", 9},
      {"the file is past the bound already", 5, true, "", 12},
      {"none copies nothing, bound or not", 100, false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string file = dir_ / "bound.log";
    kbtest::WriteFile(file, before);
    kb::LogFilePath() = file;
    kb::OutputLogging logging;
    logging.max_bytes = c.max;
    logging.copy = c.copy;
    {
      kb::RelayLog relay(logging);
      relay.LogText(out1.data(), out1.size());
      relay.LogText(out2.data(), out2.size());
    }
    const std::string content = ReadFile(file);
    const std::string note = "INFO: ExeProc::ReadFromPipe::logmax=" + std::to_string(c.left_out) +
                             " bytes of the child's output were left out of the log, which "
                             "reached logmax=" +
                             std::to_string(c.max) + " bytes\r\n";
    std::string expected = before + c.logged;
    if (c.left_out > 0) expected += "Sun Dec 06 18:08:47 2026\r\n" + note;
    EXPECT_EQ(content, expected);
  }
}

}  // namespace
