// Faults a user can meet: each has a clear outcome and loses nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "e2e/e2e_support.h"
#include "platform/fs.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";

// The bytes test_child writes for --tc-random=N:SEED.
std::string RandomBytes(std::size_t n, std::uint32_t state) {
  std::string bytes(n, '\0');
  for (char& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

// How relayed text is stored: a bare line feed becomes CR LF, a CR LF the
// child wrote stays as it is.
std::string StoredForm(const std::string& raw) {
  std::string out;
  out.reserve(raw.size() + raw.size() / 64);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) out += '\r';
    out += raw[i];
  }
  return out;
}

// The relayed section of a log: between the "Standard output" entry and
// the time stamp of the exit-code entry.
std::string RelayedSection(const std::string& log) {
  const std::string start_tag = "INFO: ExeProc::ReadFromPipe=Standard output\r\n";
  const std::string::size_type start = log.find(start_tag);
  const std::string::size_type end = log.rfind("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess");
  if (start == std::string::npos || end == std::string::npos) return std::string();
  const std::string::size_type body = start + start_tag.size();
  // Back over the time stamp line (24 characters + CR LF) before the entry.
  return log.substr(body, end - 26 - body);
}

class Faults : public LauncherTest {
 protected:
  void Configure(const std::string& launcher_args) {
    Install();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=" +
             launcher_args + "\n");
  }
};

TEST_F(Faults, NothingLostThroughTheRelay) {
  const std::size_t size = 4 * 1024 * 1024 + 7;
  Configure("--tc-quiet --tc-random=" + std::to_string(size) + ":12345");
  const RunResult r = Launch();
  ASSERT_EQ(r.exit_code, 0);
  const std::string expected = RandomBytes(size, 12345);
  ASSERT_EQ(r.output.size(), expected.size());
  EXPECT_TRUE(r.output == expected) << "console side differs";
  const std::string relayed = RelayedSection(LogContent());
  ASSERT_EQ(relayed.size(), StoredForm(expected).size());
  EXPECT_TRUE(relayed == StoredForm(expected)) << "log side differs";
}

TEST_F(Faults, ZeroBytesAreKeptInTheLog) {
  Configure("--tc-quiet --tc-nul --tc-out=x --tc-bytes=3");
  const RunResult r = Launch();
  ASSERT_EQ(r.exit_code, 0);
  EXPECT_EQ(RelayedSection(LogContent()), std::string("a\0b\r\nx\r\n012", 11));
}

TEST_F(Faults, LogFolderThatCannotBeCreatedStillRunsTheChild) {
  Configure("--tc-out=still-here --tc-exit=6");
  WriteFile(dir_ / "blocker", "a file where a folder should be");
  const std::string log = Join(Join(dir_ / "blocker", "sub"), "run.log");
  const RunResult r = Launch("-applogloc " + kb::QuoteArgument(log));
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_NE(r.output.find("still-here"), std::string::npos);
}

TEST_F(Faults, MissingProgramFailsWithMinusOneAndErrorCode2) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + (dir_ / "no-such-java") +
           "\nMainClass=app.Main\n");
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, SeenExit(-1));
  EXPECT_NE(LogContent().find("ERROR: ExeProc::ExeandDisplay=2\r\n"), std::string::npos)
      << LogContent();
  EXPECT_NE(LogContent().find("INFO: Launcher::main=-1\r\n"), std::string::npos);
}

TEST_F(Faults, ChildClosingItsOutputEarlyIsStillAwaited) {
  Configure("--tc-quiet --tc-out=before --tc-close-stdout --tc-err=after --tc-sleep=300 --tc-exit=4");
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_NE(r.output.find("before"), std::string::npos);
  EXPECT_NE(LogContent().find("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=4"),
            std::string::npos);
}

TEST_F(Faults, ConfigurationFilesOfEveryShape) {
  Install();
  struct Case {
    const char* name;
    std::string content;
    int expected_exit;
  };
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  std::string big = std::string(kSection) + "launchercmd=" + Child() +
                    "\nlauncherargs=--tc-quiet --tc-exit=2\n";
  while (big.size() < 5 * 1024 * 1024) big += "filler_" + std::to_string(big.size()) + "=x\n";
  const Case cases[] = {
      // Nothing to start: an empty command line cannot be created.
      {"empty", "", SeenExit(-1)},
      {"binary", binary, SeenExit(-1)},
      {"five megabytes", big, 2},
  };
  for (const Case& c : cases) {
    WriteIni(c.content);
    const RunResult r = Launch();
    EXPECT_EQ(r.exit_code, c.expected_exit) << c.name;
    EXPECT_NE(LogContent().find("INFO: Launcher::main="), std::string::npos) << c.name;
  }
}

TEST_F(Faults, LongValuesAreCutAtTheReadersLimit) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=" +
           std::string(5000, 'v') + "\n");
  const RunResult r = Launch();
  ASSERT_EQ(ChildArgs(r.output).size(), 1u);
  EXPECT_EQ(ChildArgs(r.output)[0], std::string(4095, 'v'));
}

TEST_F(Faults, TwoThousandNumberedArgumentsAllArrive) {
  Install();
  std::string ini = std::string(kSection) + "launchercmd=" + Child() + "\n";
  for (int i = 1; i <= 2000; ++i) ini += "JavaArgs_" + std::to_string(i) + "=-D" + std::to_string(i) + "\n";
  ini += "JavaArgs_2002=-Dunreachable\n";
  WriteIni(ini);
  const RunResult r = Launch();
  ASSERT_EQ(r.exit_code, 0);
  const std::vector<std::string> args = ChildArgs(r.output);
  ASSERT_EQ(args.size(), 2000u);
  EXPECT_EQ(args.front(), "-D1");
  EXPECT_EQ(args.back(), "-D2000");
}

TEST_F(Faults, BytesAboveAsciiInPathsAndValuesArriveUnchanged) {
  app_dir_ = dir_ / "app\xc3\xa9-\xe4";
  MakeDirs(app_dir_);
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=caf\xc3\xa9 --tc-cwd\n");
  const RunResult r = Launch("\xfc\xdf");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::vector<std::string> args = ChildArgs(r.output);
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(args[0], "caf\xc3\xa9");
  EXPECT_EQ(args[2], "\xfc\xdf");
  EXPECT_NE(r.output.find("CWD=" + app_dir_), std::string::npos);
}

TEST_F(Faults, OptionWordsInsideAnArgumentStayPartOfIt) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nMainClass=app.Main\n");
  // Names as a file association hands them over.
  const std::string planted = dir_ / "a -launchercmd hostname b.myext";
  const std::string log = dir_ / "x";
  const std::string redirect = "a -applogloc " + log + " b";
  const RunResult r = Launch(kb::QuoteArgument(planted) + " " + kb::QuoteArgument(redirect) +
                             " \"report -noconsole .txt\"");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(ChildArgs(r.output),
            (std::vector<std::string>{"app.Main", planted, redirect, "report -noconsole .txt"}));
  EXPECT_FALSE(FileExists(log));
  // Still the relaying runner, logging to the data folder.
  EXPECT_NE(LogContent().find("INFO: ExeProc::ReadFromPipe=Standard output"), std::string::npos);
}

TEST_F(Faults, RelativeDataLocationKeepsTheRunInOneLog) {
  Install();
  // No "startdir": the launcher moves to its own folder before the child.
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-quiet\n");
  ScopedCwd cwd(work_);
  const RunResult r = Launch("-datalocation data");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::vector<std::string> logs = ListDir(Join(work_, "data"));
  ASSERT_EQ(logs.size(), 1u);
  const std::string log = ReadFile(Join(Join(work_, "data"), logs[0]));
  EXPECT_NE(log.find("INFO: LRun::start::USERHOME=" + Join(work_, "data") + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("INFO: Launcher::main=0\r\n"), std::string::npos) << log;
  EXPECT_FALSE(FileExists(Join(app_dir_, "data")));
}

}  // namespace
}  // namespace kbtest
