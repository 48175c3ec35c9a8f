#include "process/exe_proc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/command_line.h"
#include "common/text.h"
#include "log/log.h"
#include "platform/append_file.h"
#include "platform/child.h"
#include "platform/environment.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/worker.h"
#include "support/test_support.h"

namespace {

using kbtest::LogForm;

// ExeandDisplay takes over the launcher's standard output (and closes it on
// Windows), so the tests run it in a launcher of their own: this test
// program started again with KB_TEST_RUNNER set runs one runner here,
// before any test, writes its result to a file and ends.
constexpr char kRunnerVar[] = "KB_TEST_RUNNER";
constexpr char kCommandVar[] = "KB_TEST_RUNNER_CMD";
constexpr char kLogVar[] = "KB_TEST_RUNNER_LOG";
constexpr char kResultVar[] = "KB_TEST_RUNNER_RESULT";
constexpr char kCloseStdoutVar[] = "KB_TEST_RUNNER_CLOSE_STDOUT";
constexpr char kFaultVar[] = "KB_TEST_RUNNER_FAULT";

// Injected system failures, named by kFaultVar.
// tee-refused: tee(2) answers EINVAL, as for an output that is no pipe.
int TeeRefused(platform::IoCall call, std::size_t) {
  return call == platform::IoCall::kTee ? EINVAL : 0;
}
// old-console: a Windows console before Windows 8, which refuses writes
// above a few kilobytes with ERROR_NOT_ENOUGH_MEMORY (8). Wine's console
// takes any size, so only the injection shows this.
int OldConsole(platform::IoCall call, std::size_t size) {
  return call == platform::IoCall::kWrite && size > 5000 ? 8 : 0;
}

int RunAsLauncherWhenAsked() {
  const std::string runner = platform::GetEnvVar(kRunnerVar);
  if (runner.empty()) return 0;
  kb::LogFilePath() = platform::GetEnvVar(kLogVar);
  const std::string command = platform::GetEnvVar(kCommandVar);
  if (platform::GetEnvVar(kCloseStdoutVar) == "1") std::fclose(stdout);
  const std::string fault = platform::GetEnvVar(kFaultVar);
  if (fault == "tee-refused") platform::SetIoFaultHookForTesting(TeeRefused);
  if (fault == "old-console") platform::SetIoFaultHookForTesting(OldConsole);
  const std::string result_path = platform::GetEnvVar(kResultVar);
  int result = -12345;
  if (runner == "display" || runner == "display-then-open") {
    result = kb::ExeandDisplay(200, false, command);
  }
  if (runner == "display100") result = kb::ExeandDisplay(100, false, command);
  if (runner == "wait") result = kb::ExeandWait(command);
  if (runner == "display-then-open") {
    // The next file opened after the relay, then whatever the launcher
    // still writes to its standard output.
    platform::AppendFile other;
    // Not examined here, in the child: the test that started it reads
    // what reached each file.
    (void)platform::AppendFile::Open(result_path + ".other", platform::AppendMode::kNamed, &other);
    platform::Handle out;
    int error = 0;
    if (platform::GetStdOutput(&out, &error) == platform::StdOutState::kValid) {
      (void)platform::WriteAll(out, "stray", 5);
    }
  }
  kbtest::WriteFile(result_path, kb::IntToString(result));
  platform::ExitProcessNow(0);
}
const int kLauncherMode = RunAsLauncherWhenAsked();

using kbtest::ChildLine;
using kbtest::IsWindows;

std::string Pattern(std::size_t count) {
  static const char kPattern[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) bytes += kPattern[i % 36];
  return bytes;
}

// The generator that test_child documents for --tc-random.
std::string RandomBytes(std::size_t count, std::uint32_t state) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

// What the relay stores for a child's whole output: its log form, then one
// CR LF when the output does not end a line, so that the next entry's time
// stamp starts a line of its own.
std::string RelayedForm(const std::string& bytes) {
  return LogForm(bytes) + (!bytes.empty() && bytes.back() != '\n' ? "\r\n" : "");
}

struct Launch {
  kbtest::RunResult run;  // the launcher's own standard output
  std::string result;     // the runner's result
  std::string log;
};

class ExeProcTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return log_path_; }

  Launch RunLauncher(const std::string& runner, const std::string& command,
                     bool close_stdout = false, const std::string& fault = std::string()) {
    kbtest::ScopedEnv fault_env(kFaultVar, fault);
    kbtest::ScopedEnv runner_env(kRunnerVar, runner);
    kbtest::ScopedEnv command_env(kCommandVar, command);
    kbtest::ScopedEnv log_env(kLogVar, LogPath());
    kbtest::ScopedEnv result_env(kResultVar, scratch_ / "result.txt");
    kbtest::ScopedEnv close_env(kCloseStdoutVar, close_stdout ? "1" : "0");
    Launch launch;
    launch.run = kbtest::Run(kb::QuoteArgument(kbtest::BuiltProgram("unit_tests")));
    launch.result = kbtest::ReadFile(scratch_ / "result.txt");
    launch.log = kbtest::ReadFile(LogPath());
    return launch;
  }

  // The raw relayed text: between the "Standard output" entry and the time
  // stamp line of the exit-code entry.
  static std::string Relayed(const std::string& log) {
    const std::string start = "INFO: ExeProc::ReadFromPipe=Standard output\r\n";
    const std::size_t begin = log.find(start);
    const std::size_t exit_line = log.rfind("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=");
    const std::size_t stamp = 26;  // "Sun Dec 06 18:08:47 2026\r\n"
    if (begin == std::string::npos || exit_line == std::string::npos) return "<missing>";
    const std::size_t from = begin + start.size();
    if (exit_line < from + stamp) return "<overlap>";
    return log.substr(from, exit_line - stamp - from);
  }

  kbtest::ScratchDir scratch_;
  std::string log_path_ = scratch_ / "run.log";
};

TEST_F(ExeProcTest, RelaysEveryByteToConsoleAndLog) {
  // Far more than a pipe or one relay chunk holds, of an odd size.
  const std::size_t random_size = 4 * 1024 * 1024 + 7;
  const std::string random = RandomBytes(random_size, 12345);
  const struct {
    std::string arguments;
    std::string echo;
  } cases[] = {
      {"--tc-quiet", ""},
      {"--tc-quiet --tc-bytes=1000", Pattern(1000)},
      // Nothing after a zero byte is cut off.
      {"--tc-quiet --tc-nul --tc-out=x --tc-bytes=3", std::string("a\0b\nx\n012", 9)},
      {"--tc-quiet --tc-out=one --tc-err=two --tc-out=three", "one\ntwo\nthree\n"},
      {"--tc-quiet --tc-out=dos\r --tc-out=lone\rcr", "dos\r\nlone\rcr\n"},
      {"--tc-quiet --tc-random=" + kb::IntToString(static_cast<int>(random_size)) + ":12345",
       random},
      // A CR LF split between two chunks (the child pauses between them).
      {"--tc-quiet --tc-raw=a\r --tc-sleep=300 --tc-out= --tc-raw=b", "a\r\nb"},
  };
  // The same bytes when the echo cannot take its fast path: a tee(2) that
  // is refused (POSIX), or a console that refuses large writes (Windows).
  const std::string fault = IsWindows() ? "old-console" : "tee-refused";
  int index = 0;
  for (const auto& c : cases) {
    for (const std::string& injected : {std::string(), fault}) {
      SCOPED_TRACE(c.arguments + " " + injected);
      log_path_ = scratch_ / ("run" + kb::IntToString(++index) + ".log");
      const Launch launch = RunLauncher("display", ChildLine(c.arguments), false, injected);
      EXPECT_EQ(launch.result, "0");
      EXPECT_TRUE(launch.run.output == c.echo) << "echo differs, size " << launch.run.output.size();
      EXPECT_TRUE(Relayed(launch.log) == RelayedForm(c.echo))
          << "log differs, size " << Relayed(launch.log).size();
      EXPECT_NE(launch.log.find("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=0\r\n"),
                std::string::npos);
    }
  }
}

TEST_F(ExeProcTest, WindowedKindLogsWithoutEcho) {
  // A windowed launcher never asks for its standard output, so having none
  // (as when started from the desktop) puts no error into the log.
  for (bool close_stdout : {false, true}) {
    std::remove(LogPath().c_str());
    const Launch launch = RunLauncher(
        "display100", ChildLine("--tc-quiet --tc-out=hidden --tc-exit=4"), close_stdout);
    EXPECT_EQ(launch.result, "4");
    EXPECT_EQ(launch.run.output, "");
    EXPECT_EQ(Relayed(launch.log), "hidden\r\n");
    EXPECT_EQ(launch.log.find("ERROR:"), std::string::npos) << launch.log;
  }
}

TEST_F(ExeProcTest, ReturnsAndLogsTheChildsExitCode) {
  const struct {
    const char* code;
    std::string expected;
  } cases[] = {
      {"0", "0"}, {"3", "3"}, {"255", "255"},
      // A Windows status with the top bit set is returned and logged
      // negative; a POSIX status keeps its low eight bits.
      {"0xC0000005", IsWindows() ? "-1073741819" : "5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const Launch display = RunLauncher("display", ChildLine(std::string("--tc-exit=") + c.code));
    EXPECT_EQ(display.result, c.expected);
    EXPECT_NE(display.log.find("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=" + c.expected +
                               "\r\n"),
              std::string::npos);
    kb::LogFilePath() = LogPath();
    EXPECT_EQ(
        kb::IntToString(kb::ExeandWait(ChildLine(std::string("--tc-quiet --tc-exit=") + c.code))),
        c.expected);
    kb::LogFilePath().clear();
    EXPECT_NE(kbtest::ReadFile(LogPath())
                  .find("INFO: ExeProc::ExeandWait::GetExitCodeProcess=" + c.expected + "\r\n"),
              std::string::npos);
  }
}

// The system's own answer for a program that is not there, however the
// command line names it.
TEST(StartChildTest, MissingProgramIsErrorTwo) {
  const kbtest::ScratchDir scratch;
  const std::string ext = IsWindows() ? ".exe" : "";
  const std::string lines[] = {
      "kb_no_such_program_77",  // looked for on the search path
      (scratch / ("no_such_program" + ext)) + " -x",
      kb::QuoteArgument(kbtest::Join(scratch / "missing dir", "p" + ext)) + " a",
  };
  for (const std::string& line : lines) {
    platform::StartOptions options;
    platform::Child child;
    EXPECT_EQ(platform::StartChild(line, options, &child), 2) << line;
    EXPECT_FALSE(child.started()) << line;
  }
}

TEST_F(ExeProcTest, MissingProgramIsReportedByEveryRunner) {
  const std::string missing = kb::QuoteArgument(scratch_ / "no_such_program") + " -x";
  const Launch display = RunLauncher("display", missing);
  EXPECT_EQ(display.result, "-1");
  EXPECT_NE(display.log.find("ERROR: ExeProc::ExeandDisplay=2\r\n"), std::string::npos);
  EXPECT_EQ(display.log.find("Standard output"), std::string::npos);

  kb::LogFilePath() = LogPath();
  EXPECT_EQ(kb::ExeandWait(missing), -1);
  EXPECT_EQ(kb::execute(missing), -1);
  kb::LogFilePath().clear();
  const std::string log = kbtest::ReadFile(LogPath());
  EXPECT_NE(log.find("ERROR: ExeProc::ExeandWait::CreateProcess=2\r\n"), std::string::npos);
  EXPECT_NE(log.find("ERROR: ExeProc::ThreadProc::CreateProcess=2\r\n"), std::string::npos);
}

TEST_F(ExeProcTest, RelayWaitsForGrandchildHoldingThePipe) {
  const auto start = std::chrono::steady_clock::now();
  const Launch launch =
      RunLauncher("display", ChildLine("--tc-quiet --tc-grandchild=2000 --tc-out=up"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(launch.result, "0");
  EXPECT_EQ(launch.run.output, "up\n");
  EXPECT_GE(elapsed, std::chrono::milliseconds(1800));
}

TEST_F(ExeProcTest, ExeandWaitHidesTheChildsOutput) {
  const Launch launch =
      RunLauncher("wait", ChildLine("--tc-out=secret --tc-err=secret2 --tc-exit=6"));
  EXPECT_EQ(launch.result, "6");
  // A pipe the launcher writes to is not handed on (Wine passes it on anyway).
  if (!IsWindows()) {
    EXPECT_EQ(launch.run.output.find("secret"), std::string::npos) << launch.run.output;
  }
  EXPECT_EQ(launch.log.find("secret"), std::string::npos);
  EXPECT_NE(launch.log.find("INFO: ExeProc::ExeandWait::GetExitCodeProcess=6\r\n"),
            std::string::npos);
}

TEST_F(ExeProcTest, ExecuteReturnsWhileTheChildRunsOn) {
  kb::LogFilePath() = LogPath();
  const auto start = std::chrono::steady_clock::now();
  const int result = kb::execute(ChildLine("--tc-quiet --tc-sleep=8000"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  kb::LogFilePath().clear();
  EXPECT_EQ(result, 0);
  EXPECT_LT(elapsed, std::chrono::milliseconds(6000));
  EXPECT_EQ(kbtest::ReadFile(LogPath()).find("ERROR:"), std::string::npos);
}

TEST_F(ExeProcTest, ClosedStandardOutputStillLogsEverything) {
  const Launch launch =
      RunLauncher("display", ChildLine("--tc-quiet --tc-bytes=300000 --tc-exit=3"), true);
  EXPECT_EQ(launch.result, "3");
  EXPECT_TRUE(Relayed(launch.log) == RelayedForm(Pattern(300000))) << Relayed(launch.log).size();
  EXPECT_NE(launch.log.find("ERROR: ExeProc::ExeandDisplay::GetStdHandle::"), std::string::npos);
}

// The reader of the launcher's standard output goes away before the relay
// starts, or after the first bytes while the echo is blocked on a full pipe.
TEST_F(ExeProcTest, BrokenPipeEchoKeepsLogging) {
  for (const std::size_t read_first : {std::size_t{0}, std::size_t{1000}}) {
    SCOPED_TRACE(read_first);
    kbtest::ScopedEnv runner_env(kRunnerVar, "display");
    kbtest::ScopedEnv command_env(kCommandVar,
                                  ChildLine("--tc-quiet --tc-bytes=500000 --tc-exit=9"));
    kbtest::ScopedEnv log_env(kLogVar, LogPath());
    kbtest::ScopedEnv result_env(kResultVar, scratch_ / "result.txt");
    kbtest::ScopedEnv close_env(kCloseStdoutVar, "0");
    platform::Pipe pipe;
    ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
    ASSERT_EQ(platform::MakeNotInheritable(pipe.read), 0);
    if (read_first == 0) EXPECT_EQ(pipe.read.Close(), 0);  // nobody will ever read the output
    platform::StartOptions options;
    options.inherit_handles = true;
    options.std_output = &pipe.write;
    platform::Child launcher;
    ASSERT_EQ(platform::StartChild(kb::QuoteArgument(kbtest::BuiltProgram("unit_tests")), options,
                                   &launcher),
              0);
    EXPECT_EQ(pipe.write.Close(), 0);
    std::string echoed;
    char buffer[1000];
    while (echoed.size() < read_first) {
      std::size_t n = 0;
      if (platform::ReadSome(pipe.read, buffer, read_first - echoed.size(), &n) != 0 || n == 0) {
        break;
      }
      echoed.append(buffer, n);
    }
    EXPECT_EQ(pipe.read.Close(), 0);
    ASSERT_EQ(launcher.Wait(), 0);
    EXPECT_TRUE(echoed == Pattern(read_first));
    EXPECT_EQ(kbtest::ReadFile(scratch_ / "result.txt"), "9");
    const std::string log = kbtest::ReadFile(LogPath());
    EXPECT_TRUE(Relayed(log) == RelayedForm(Pattern(500000)));
    EXPECT_NE(log.find("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=9\r\n"),
              std::string::npos);
    std::remove(LogPath().c_str());
  }
}

// The relay leaves the launcher's standard output closed for good: nothing
// written to it afterwards reaches the reader, nor the next file opened
// (POSIX: a freed descriptor 1 would be that file).
TEST_F(ExeProcTest, StandardOutputStaysClosedAfterTheRelay) {
  const Launch launch = RunLauncher("display-then-open", ChildLine("--tc-quiet --tc-out=child"));
  EXPECT_EQ(launch.result, "0");
  EXPECT_EQ(launch.run.output, "child\n");
  EXPECT_EQ(kbtest::ReadFile(scratch_ / "result.txt.other"), "");
}

TEST_F(ExeProcTest, LogOffOrUnwritableStillEchoes) {
  for (const std::string& path : {std::string(), kbtest::Join(scratch_ / "missing", "run.log")}) {
    log_path_ = path;
    const Launch launch =
        RunLauncher("display", ChildLine("--tc-quiet --tc-bytes=70000 --tc-exit=2"));
    EXPECT_EQ(launch.result, "2");
    EXPECT_TRUE(launch.run.output == Pattern(70000));
  }
  EXPECT_EQ(kbtest::ListDir(scratch_.path()), std::vector<std::string>{"result.txt"});
}

}  // namespace
