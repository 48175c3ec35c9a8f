// Faults a user can meet: each has a clear outcome and loses nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "env/env_calls.h"
#include "platform/fs.h"
#include "support/e2e_support.h"
#include "support/java_homes.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";

class Faults : public LauncherTest {
 protected:
  void Configure(const std::string& launcher_args) {
    Install();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=" +
             launcher_args + "\n");
  }
};

// The run goes on, and the console says once that there is no log, unless
// "-nomessage" was given.
TEST_F(Faults, LogFolderThatCannotBeCreatedStillRunsTheChild) {
  Configure("--tc-out=still-here --tc-exit=6");
  WriteFile(dir_ / "blocker", "a file where a folder should be");
  const std::string log = Join(Join(dir_ / "blocker", "sub"), "run.log");
  for (const bool no_message : {false, true}) {
    SCOPED_TRACE(no_message);
    const RunResult r =
        Launch(std::string(no_message ? "-nomessage " : "") + "-applogloc " + kb::QuoteArgument(log));
    EXPECT_EQ(r.exit_code, 6);
    EXPECT_NE(r.output.find("still-here"), std::string::npos);
    const std::string warning = "WARNING: the log file " + log + " cannot be written: ";
    const std::string::size_type at = r.output.find(warning);
    EXPECT_EQ(at == std::string::npos, no_message) << r.output;
    if (at != std::string::npos) {
      EXPECT_EQ(r.output.find("WARNING", at + 1), std::string::npos) << "told more than once";
    }
  }
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
    const char* logged_exit;  // the launcher's last log entry
  };
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  std::string big = std::string(kSection) + "launchercmd=" + Child() +
                    "\nlauncherargs=--tc-quiet --tc-exit=2\n";
  while (big.size() < 5 * 1024 * 1024) big += "filler_" + std::to_string(big.size()) + "=x\n";
  // Every level doubles the one below: 2^(levels - 1) characters from one line.
  auto nested = [](int levels) {
    std::string text = "[properties]\n";
    for (int i = 0; i + 1 < levels; ++i) {
      text += "P" + std::to_string(i) + "=<P" + std::to_string(i + 1) + "><P" +
              std::to_string(i + 1) + ">\n";
    }
    return text + "P" + std::to_string(levels - 1) + "=x\n" + kSection + "launchercmd=" + Child() +
           "\nMainClass=<P0>\n";
  };
  // Each value well within the bound, but not all of them together.
  std::string spread = "[properties]\nL=" + std::string(4000, 'l') + "\n" + kSection +
                       "launchercmd=" + Child() + "\n";
  for (int i = 1; i <= 300; ++i) spread += "AddtlArgs_" + std::to_string(i) + "=<L>\n";
  const Case cases[] = {
      // Nothing to start: an empty command line cannot be created.
      {"empty", "", SeenExit(-1), "-1"},
      {"binary", binary, SeenExit(-1), "-1"},
      {"five megabytes", big, 2, "2"},
      {"placeholders nested 24 levels deep", nested(24), SeenExit(-103), "-103"},
      // 2^29 characters: only the bound that counts before it builds keeps
      // this from asking for more than the 512 MiB the run is given.
      {"placeholders nested 30 levels deep, in 512 MiB", nested(30), SeenExit(-103), "-103"},
      {"one long placeholder in 300 numbered keys", spread, SeenExit(-103), "-103"},
  };
  for (const Case& c : cases) {
    WriteIni(c.content);
    const RunResult r = RunInBoundedMemory(LaunchLine(""), 512);
    EXPECT_EQ(r.exit_code, c.expected_exit) << c.name;
    EXPECT_NE(LogContent().find(std::string("INFO: Launcher::main=") + c.logged_exit + "\r\n"),
              std::string::npos)
        << c.name;
    RemoveLogs();  // the next run's log is then the only one
  }
}

// A FIFO read by name would hold the launcher and the check for ever; a
// folder cannot be read. Windows has no FIFOs in folders: a folder stands
// in there.
// A runtime's line that holds the given Java option and is too long to pass
// directly, so that its arguments go through an argument file.
std::string LongJavaLine(const std::string& option) {
  std::string ini = std::string(kSection) + "javasearch=bundled:jre\nJavaArgs_1=" + option + "\n";
  for (int i = 2; i <= 10; ++i) {
    ini += "JavaArgs_" + std::to_string(i) + "=-Dp" + std::to_string(i) + "=" + std::string(4000, 'v') + "\n";
  }
  return ini + "MainClass=app.Main\n";
}

// Frees whoever waits on a FIFO once the deadline has passed, so that a
// launcher that waits on one ends and its row fails with a plain message
// rather than by the test runner's own timeout.
class FifoDeadline {
 public:
  FifoDeadline(const std::string& fifo, std::chrono::seconds deadline)
      : watcher_([this, fifo, deadline] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (done_cv_.wait_for(lock, deadline, [this] { return done_; })) return;
          passed_ = true;
          while (
              !done_cv_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
            ReleaseFifoReaders(fifo);
          }
        }) {}
  ~FifoDeadline() { Stop(); }
  // Ends the watch; true when the deadline had passed.
  bool Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    return passed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  bool passed_ = false;
  std::thread watcher_;
};

TEST_F(Faults, FilesThatAreNotRegularAreNeverWaitedOn) {
  // A run takes well under a second; the runner's own timeout is 300 s.
  constexpr std::chrono::seconds kDeadline(60);
  const std::string ini = Join(app_dir_, "tool.ini");
  const struct {
    const char* name;
    std::string config;
    std::string entry;  // made no regular file, in the application folder
    int exit_code;
    std::string says;  // in the launcher's output or log
    int check_exit;
  } cases[] = {
      {"configuration file", "", "tool.ini", SeenExit(-100), "This file is missing: " + ini, 3},
      {"master property file",
       "[properties]\nMASTERPROP=m.ini\n" + std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=<WHO>\n",
       "m.ini", 0,
       "WARNING: DataControl::GetProperties::masterProperty=" + Join(app_dir_, "m.ini") +
           ": not a regular file",
       1},
      // Before the release row, which leaves the runtime without a version.
      {"user argument file on a line too long to pass directly", LongJavaLine("@opts.txt"),
       "opts.txt", SeenExit(-1), "(@opts.txt) cannot be read", 2},
      {"release file of a runtime",
       std::string(kSection) + "javasearch=bundled:jre\nMainClass=app.Main\n",
       Join("jre", "release"), SeenExit(-108),
       "INFO: Launcher::Run::start::javasearch=bundled:jre: " + Join(app_dir_, "jre") +
           ", version unknown: not a regular file",
       2},
  };
  Install();
  MakeJavaHome(Join(app_dir_, "jre"), "17", Child());
  for (const auto& c : cases) {
    WriteIni(c.config);
    const std::string entry = Join(app_dir_, c.entry);
    MakeNonRegularFile(entry);
    const std::string waited = std::string(c.name) + ": waited more than " +
                               std::to_string(kDeadline.count()) + " s on " + entry +
                               ", which is not a regular file";
    FifoDeadline launch_deadline(entry, kDeadline);
    const RunResult r = Launch();
    ASSERT_FALSE(launch_deadline.Stop()) << "the launcher " << waited;
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name << "\n" << r.output;
    EXPECT_NE((r.output + LogContent()).find(c.says), std::string::npos)
        << c.name << "\n" << r.output << LogContent();
    FifoDeadline check_deadline(entry, kDeadline);
    const RunResult checked = kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) +
                                          " " + kb::QuoteArgument(ini));
    ASSERT_FALSE(check_deadline.Stop()) << "the check " << waited;
    EXPECT_EQ(checked.exit_code, c.check_exit) << c.name << "\n" << checked.output;
    RemoveLogs();
    std::error_code ignored;
    std::filesystem::remove_all(Join(app_dir_, c.entry), ignored);
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

// Characters the code page holds (the test child reads it on Windows), in
// a UTF-16 file, which both builds read as text.
TEST_F(Faults, BytesAboveAsciiInPathsAndValuesArriveUnchanged) {
  app_dir_ = dir_ / "app\u00e9-\u00e4";
  MakeDirs(app_dir_);
  Install();
  const std::string ini = std::string(kSection) + "launchercmd=" + Child() +
                          "\nlauncherargs=caf\u00e9 --tc-cwd\n";
  std::string utf16 = "\xFF\xFE";
  // The text is Latin-1: one or two UTF-8 bytes per character.
  for (std::size_t i = 0; i < ini.size(); ++i) {
    unsigned code = static_cast<unsigned char>(ini[i]);
    if (code >= 0xC0) code = ((code & 0x1F) << 6) | (static_cast<unsigned char>(ini[++i]) & 0x3F);
    utf16 += static_cast<char>(code & 0xFF);
    utf16 += static_cast<char>(code >> 8);
  }
  WriteIni(utf16);
  const RunResult r = Launch("\u00fc\u00df");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::vector<std::string> args = ChildArgs(r.output);
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(args[0], "caf\u00e9");
  EXPECT_EQ(args[2], "\u00fc\u00df");
  // The child reports its folder through the launcher's own services.
  EXPECT_NE(r.output.find("CWD=" + app_dir_), std::string::npos) << r.output;
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

TEST_F(Faults, MasterFileIsNeverTakenFromTheStartFolder) {
  Install();
  // On Linux a bare name, on Windows a name with a folder part, used to be
  // looked for in the current folder first.
  const std::string master = IsWindows() ? "conf/shared.ini" : "shared.ini";
  const std::string beside = Join(app_dir_, kb::NormalizeSlashes(master));
  MakeDirs(Join(app_dir_, "conf"));
  MakeDirs(Join(work_, "conf"));
  WriteFile(beside, "[properties]\nWHO=beside\n");
  WriteFile(Join(work_, kb::NormalizeSlashes(master)), "[properties]\nWHO=planted\n");
  WriteIni("[properties]\nMASTERPROP=" + master + "\n" + std::string(kSection) +
           "launchercmd=" + Child() + "\nlauncherargs=<WHO>\n");
  ScopedCwd cwd(work_);
  RunResult r = Launch();
  EXPECT_EQ(ChildArgs(r.output), std::vector<std::string>{"beside"}) << r.output;
  // Nothing beside the configuration file: the planted one is not read.
  ASSERT_EQ(std::remove(beside.c_str()), 0);
  r = Launch();
  EXPECT_EQ(ChildArgs(r.output), std::vector<std::string>{"<WHO>"}) << r.output;
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
