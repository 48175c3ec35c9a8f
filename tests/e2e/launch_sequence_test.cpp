// The launcher run end to end, renamed beside its configuration file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/command_line.h"
#include "java/java_runtime.h"
#include "platform/child.h"
#include "platform/fs.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "support/e2e_support.h"

namespace kbtest {
namespace {

using Strings = std::vector<std::string>;

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}
bool HasPrefix(const Strings& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}
std::string ToForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The configuration file's platform section on this 64-bit machine.
constexpr char kSection[] = "[wx6]\n";

class LaunchSequence : public LauncherTest {};

TEST_F(LaunchSequence, WorkedExampleBuildsTheDocumentedCommandLine) {
  // A windowed Java runtime is rewritten to the console one beside it.
  const std::string bin = Join(Join(dir_ / "jre", "bin"), "");
  MakeDirs(bin);
  CopyFile(Child(), Join(bin, "java.exe"));
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + ToForwardSlashes(Join(bin, "javaw.exe")) +
           "\nJavaArgs_1=-Xmx512m\nJavaArgs_2=-Dmode=1\nClasspath=-cp lib/app.jar\n"
           "MainClass=app.Main\nAddtlArgs_1=-fast\n");
  const RunResult r = Launch("-nocleanup");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const Strings expected = {"-Xmx512m", "-Dmode=1", "-cp", "lib" + Sep() + "app.jar",
                            "app.Main", "-fast"};
  EXPECT_EQ(ChildArgs(r.output), expected);
  const Strings log = LogLines();
  EXPECT_TRUE(Contains(log, "INFO: launch command==" + ToForwardSlashes(Join(bin, "java.exe"))))
      << LogContent();
  EXPECT_TRUE(Contains(log, "INFO: Launcher::Run::start::launchercmd=" + Join(bin, "java.exe")));
}

TEST_F(LaunchSequence, WorkedLogHasTheEntriesInOrder) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nClasspath=-cp app.jar\nMainClass=app.Main\n");
  const RunResult r = Launch();
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::string log_path = LogPath();
  ASSERT_FALSE(log_path.empty());
  const std::string data = DataDir();
  const Strings expected = {
      "Launcher started.... ",
      "path= " + data,
      "logfile= " + log_path,
      "INFO: LRun::start::templocation=",
      "INFO: LRun::start::USERHOME=" + data,
      "INFO: EnvCalls::isWow64=true",
      "INFO: Launcher::Run::start::inifile=" + Join(app_dir_, "tool.ini"),
      "INFO: Launcher::Run::start::platform=wx6",
      "INFO: Launcher::Run::start::startdir(launchhome)=" + app_dir_,
      "INFO: Launcher::Run::start::launchercmd=" + Child(),
      "INFO: Launcher::Run::start::classpath=-cp app.jar",
      "INFO: Launcher::Run::start::mainclass=app.Main",
      "INFO: ExeProc::ReadFromPipe=Standard output",
      "ARG=-cp",
      "ARG=app.jar",
      "ARG=app.Main",
      "INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=0",
      "INFO: Launcher::main=0",
  };
  EXPECT_EQ(LogLines(), expected) << LogContent();
  // Every line of the file ends in carriage return plus line feed.
  const std::string content = LogContent();
  std::size_t bare = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\n' && (i == 0 || content[i - 1] != '\r')) ++bare;
  }
  EXPECT_EQ(bare, 0u);
  // The log name is the launcher's name and a stamp.
  EXPECT_NE(log_path.find("tool_console_"), std::string::npos);
}

TEST_F(LaunchSequence, MissingConfigurationEndsWithoutBannerAndSaysWhy) {
  Install();
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, SeenExit(-100));
  EXPECT_NE(r.output.find("This file is missing: " + Join(app_dir_, "tool.ini")),
            std::string::npos)
      << r.output;
  EXPECT_EQ(LogContent().find("started...."), std::string::npos);
}

TEST_F(LaunchSequence, NoMessageKeepsTheConsoleQuiet) {
  Install();
  const RunResult r = Launch("-nomessage");
  EXPECT_EQ(r.exit_code, SeenExit(-100));
  EXPECT_EQ(r.output.find("This file is missing"), std::string::npos) << r.output;
}

TEST_F(LaunchSequence, PlainNameUsesTheSameConfigurationFile) {
  Install("tool");
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-exit=3\n");
  const RunResult r = Launch("", "tool");
  EXPECT_EQ(r.exit_code, 3) << r.output;
  EXPECT_NE(LogContent().find("INFO: Launcher::main=3\r\n"), std::string::npos);
  EXPECT_NE(LogPath().find("tool_"), std::string::npos);
}

TEST_F(LaunchSequence, StartFolderCases) {
  Install();
  const std::string other = dir_ / "other";
  MakeDirs(other);
  struct Case {
    const char* name;
    std::string ini_line;
    std::string expected_cwd;
  };
  const std::string foreign = IsWindows() ? ToForwardSlashes(other) : other;
  const Case cases[] = {
      {"absent", "", app_dir_},
      {"present but empty", "startdir=\n", work_},
      {"foreign separators", "startdir=" + foreign + "\n", other},
  };
  for (const Case& c : cases) {
    WriteIni(std::string(kSection) + c.ini_line + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-cwd\n");
    ScopedCwd cwd(work_);
    const RunResult r = Launch("-nocleanup");
    EXPECT_NE(r.output.find("CWD=" + c.expected_cwd), std::string::npos)
        << c.name << ": " << r.output;
  }
}

// What the launcher's own standard input is in a row of the input table.
enum class InputKind { kPipe, kFile };

struct InputCase {
  const char* label;
  const char* stdin_line;  // the configuration's line, or ""
  const char* args;
  InputKind kind;
  bool child_reads_it;
};

TEST_F(LaunchSequence, StandardInputReachesTheChildOnlyWhenInherited) {
  const std::string text = "first line\nsecond\n";
  const InputCase cases[] = {
      {"inherit: a pipe", "stdin=inherit\n", "", InputKind::kPipe, true},
      {"inherit in any letter case: a file", "stdin=Inherit\n", "", InputKind::kFile, true},
      {"override on the command line", "stdin=none\n", "-stdin inherit", InputKind::kPipe, true},
      {"absent: no input", "", "", InputKind::kPipe, false},
      {"none: no input", "stdin=none\n", "", InputKind::kFile, false},
  };
  Install();
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.label);
    WriteIni(std::string(kSection) + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-stdin\n" + c.stdin_line);
    platform::Handle input;
    if (c.kind == InputKind::kPipe) {
      platform::Pipe pipe;
      ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
      // Neither end may reach the launcher by plain inheritance: a write end
      // it held would keep the child from ever seeing the input's end.
      ASSERT_EQ(platform::MakeNotInheritable(pipe.read), 0);
      ASSERT_EQ(platform::MakeNotInheritable(pipe.write), 0);
      ASSERT_EQ(platform::WriteAll(pipe.write, text.data(), text.size()), 0);
      ASSERT_EQ(pipe.write.Close(), 0);
      input = std::move(pipe.read);
    } else {
      WriteFile(dir_ / "input.txt", text);
      ASSERT_EQ(platform::OpenRegularFile(dir_ / "input.txt", &input, nullptr), 0);
    }
    const RunResult r = kbtest::Run(LaunchLine(c.args), &input);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(r.output.find("STDIN=" + text + "\n") != std::string::npos, c.child_reads_it)
        << r.output;
    // The option is the launcher's: never passed on as an argument.
    EXPECT_EQ(r.output.find("ARG=-stdin"), std::string::npos) << r.output;
  }
}

TEST_F(LaunchSequence, NumberedKeysStopAtTheFirstGap) {
  Install();
  WriteIni(std::string("[default]\nJavaArgs_1=-Da\nJavaArgs_2=\nJavaArgs_3=-Db\nJavaArgs_5=-Dhidden\n") +
           kSection + "launchercmd=" + Child() + "\nMainClass=m.Main\nAddtlArgs_1=x\n");
  const RunResult r = Launch();
  EXPECT_EQ(ChildArgs(r.output), (Strings{"-Da", "-Db", "m.Main", "x"})) << r.output;
  EXPECT_TRUE(Contains(LogLines(), "INFO: Launcher::Run::start::javaargs=-Da   -Db "));
}

TEST_F(LaunchSequence, LauncherArgsShutOutTheJavaKeys) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=only this\nJavaArgs_1=-Dno\nClasspath=-cp no\nMainClass=No\n");
  const RunResult r = Launch();
  EXPECT_EQ(ChildArgs(r.output), (Strings{"only", "this"}));
  const Strings log = LogLines();
  EXPECT_TRUE(Contains(log, "INFO: Launcher::Run::start::launcherargs=only this"));
  EXPECT_FALSE(HasPrefix(log, "INFO: Launcher::Run::start::classpath"));
  EXPECT_FALSE(HasPrefix(log, "INFO: Launcher::Run::start::javaargs"));
}

TEST_F(LaunchSequence, PlaceholdersFromPropertiesAndAMasterFile) {
  Install();
  MakeDirs(app_dir_ + Sep() + "conf");
  WriteFile(Join(Join(app_dir_, "conf"), "master.ini"),
            "[properties]\nFROM_MASTER=m-value\nHOME=ignored\n");
  WriteIni(std::string("[properties]\nHOME=h\nLIB=<HOME>/lib\nMASTERPROP=conf/master.ini\n") +
           kSection + "launchercmd=" + Child() +
           "\nlauncherargs=<LIB> <FROM_MASTER> <LAUNCHERDIR> <missing>\n");
  const RunResult r = Launch("<HOME>");
  EXPECT_EQ(ChildArgs(r.output), (Strings{"h/lib", "m-value", app_dir_, "<missing>", "h"}))
      << r.output << LogContent();
  EXPECT_NE(LogContent().find("INFO: DataControl::GetProperties::masterProperty=conf" + Sep() +
                              "master.ini"),
            std::string::npos);
}

TEST_F(LaunchSequence, LogKeepRemovesOnlyTheOldestOwnLogs) {
  namespace fs = std::filesystem;
  Install();
  const std::string logs = dir_ / "logs";
  const std::string outside = Join(dir_ / "elsewhere", "target.log");
  // Oldest first by the time they were last written, which their names
  // contradict; the last two were written at the same moment, and their
  // numbers (not their text order) then decide.
  const Strings own = {"tool_console_2026-1-2-3.4.10.log", "tool_console_2026-1-2-3.4.5_2.log",
                       "tool_console_2026-1-2-3.4.5.log",
                       "tool_console_2025-12-31-23.59.59_9.log",
                       "tool_console_2025-12-31-23.59.59_10.log"};
  // Another application's, other shapes, names the launcher never makes
  // (leading zeros, suffixes below 2 or above 1000, numbers out of range),
  // and a link (or a folder): never removed.
  const Strings others = {"tool_console_extra_2020-1-1-1.1.1.log",
                          "tool_2020-1-1-1.1.1.log",
                          "tool_console_2020-1-1-1.1.log",
                          "tool_console_2020-1-1-1.1.1_.log",
                          "tool_console_2020-1-1-1.1.1.log.old",
                          "tool_console_2020-1-1-1.1.x1.log",
                          "tool_console_2020-1-1-1.1.1_2_3.log",
                          "tool_console_2020-1-1-1.1.+1.log",
                          "tool_console_2026-01-05-09.00.00.log",
                          "tool_console_2026-1-5-9.0.00.log",
                          "tool_console_02026-1-5-9.0.0.log",
                          "tool_console_2020-1-1-1.1.1_0.log",
                          "tool_console_2020-1-1-1.1.1_1.log",
                          "tool_console_2020-1-1-1.1.1_02.log",
                          "tool_console_2020-1-1-1.1.1_1001.log",
                          "tool_console_2020-99-1-1.1.1.log",
                          "tool_console_2020-0-1-1.1.1.log",
                          "tool_console_2020-1-32-1.1.1.log",
                          "tool_console_2020-1-0-1.1.1.log",
                          "tool_console_2020-1-1-24.1.1.log",
                          "tool_console_2020-1-1-1.60.1.log",
                          "tool_console_2020-1-1-1.1.61.log",
                          "tool_console_0-1-1-1.1.1.log",
                          "tool_console_10000-1-1-1.1.1.log"};
  const std::string link = "tool_console_2000-1-1-1.1.1.log";
  const auto all_but = [&](std::size_t removed) {
    Strings kept(own.begin() + static_cast<std::ptrdiff_t>(removed), own.end());
    kept.insert(kept.end(), others.begin(), others.end());
    return kept;
  };
  struct Case {
    const char* ini;
    std::string args;
    Strings kept;  // beside this launch's own log
  };
  const Case cases[] = {
      {"", "", all_but(0)},
      {"logkeep=0\n", "", all_but(0)},
      {"logkeep=-2\n", "", all_but(0)},
      {"logkeep=2x\n", "", all_but(0)},
      {"logkeep=1\n", "", all_but(5)},
      {"logkeep=3\n", "", all_but(3)},
      // Name reuse: the base name made again after its "_2" is the newer.
      {"logkeep=4\n", "", all_but(2)},
      {"logkeep=5\n", "", all_but(1)},
      {"logkeep=6\n", "", all_but(0)},
      {"logkeep=0\n", "-logkeep 2", all_but(4)},
      // A log the user names is the run's only one: nothing is removed.
      {"logkeep=1\n", "-applogloc " + kb::QuoteArgument(Join(logs, own[0])), all_but(0)},
  };
  for (const Case& c : cases) {
    std::error_code ec;
    fs::remove_all(fs::u8path(logs), ec);
    MakeDirs(logs);
    MakeDirs(dir_ / "elsewhere");
    WriteFile(outside, "x");
    const auto now = fs::file_time_type::clock::now();
    const int hours_ago[] = {6, 5, 4, 2, 2};
    for (std::size_t i = 0; i < own.size(); ++i) {
      WriteFile(Join(logs, own[i]), "x");
      fs::last_write_time(fs::u8path(Join(logs, own[i])), now - std::chrono::hours(hours_ago[i]),
                          ec);
    }
    // Older than any of the own logs: were they counted, they would go first.
    for (const std::string& name : others) {
      WriteFile(Join(logs, name), "x");
      fs::last_write_time(fs::u8path(Join(logs, name)), now - std::chrono::hours(100), ec);
    }
    fs::create_symlink(fs::u8path(outside), fs::u8path(Join(logs, link)), ec);
    // Where no link can be made (Wine), a folder of that name stands in.
    if (ec) MakeNonRegularFile(Join(logs, link));
    WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-quiet\n" +
             c.ini);
    const RunResult r = Launch("-datalocation " + kb::QuoteArgument(logs) + " " + c.args);
    ASSERT_EQ(r.exit_code, 0) << c.ini << c.args << r.output;
    std::set<std::string> expected(c.kept.begin(), c.kept.end());
    expected.insert(link);
    std::set<std::string> seen;
    for (const std::string& name : ListDir(logs)) {
      // The name this launch made for itself is the one not planted.
      if (expected.count(name) == 0 && name.rfind("tool_console_2026-", 0) == 0 &&
          std::find(own.begin(), own.end(), name) == own.end()) {
        continue;
      }
      seen.insert(name);
    }
    EXPECT_EQ(seen, expected) << c.ini << c.args;
    EXPECT_TRUE(FileExists(outside)) << c.ini << c.args;
  }
}

// A launch that is still running holds its log: another launch's logkeep
// passes it by, however few logs it keeps. Launch A's child waits until
// launch B has run to its end, so the two really overlap; once A has ended,
// a third launch may remove A's log again.
TEST_F(LaunchSequence, LogKeepNeverRemovesTheLogOfARunningLaunch) {
  Install();
  const std::string go = dir_ / "go";
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet --tc-out=A-BEFORE --tc-wait-for=" + kb::QuoteArgument(go) +
           " --tc-out=A-AFTER\nlogkeep=1\n");
  platform::Child first;
  ASSERT_EQ(platform::StartChild(LaunchLine(""), platform::StartOptions(), &first), 0);
  std::string first_log;
  for (int i = 0; i < 2400 && first_log.empty(); ++i) {
    if (LogContent().find("A-BEFORE\r\n") != std::string::npos) first_log = LogPath();
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_FALSE(first_log.empty()) << "launch A never relayed its child's first line";

  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet --tc-out=B-RUN\nlogkeep=1\n");
  EXPECT_EQ(Launch().exit_code, 0);
  WriteFile(go, "");
  ASSERT_EQ(first.Wait(), 0);
  std::int32_t code = -1;
  ASSERT_EQ(first.ExitCode(&code), 0);
  EXPECT_EQ(code, 0);

  // A's log is whole: its banner first, the output written while B ran,
  // and its last line.
  const std::string log = ReadFile(first_log);
  const Strings lines = Lines(log);
  ASSERT_GE(lines.size(), 2u) << log;
  EXPECT_NE(lines[1].find(" started.... "), std::string::npos) << log;
  EXPECT_NE(log.find("A-BEFORE\r\nA-AFTER\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO: Launcher::main=0\r\n"), std::string::npos) << log;
  std::size_t logs = 0;
  for (const std::string& name : ListDir(DataDir())) logs += name.rfind("tool_console_", 0) == 0;
  EXPECT_EQ(logs, 2u);

  // Nobody holds A's log now.
  EXPECT_EQ(Launch().exit_code, 0);
  EXPECT_FALSE(FileExists(first_log));
  logs = 0;
  for (const std::string& name : ListDir(DataDir())) logs += name.rfind("tool_console_", 0) == 0;
  EXPECT_EQ(logs, 1u);
}

// The end of daylight saving time, simulated with TZ: the second launch's
// local time is an hour behind the first's, so its name says it is older.
// logkeep keeps the newest all the same.
TEST_F(LaunchSequence, LogKeepKeepsTheNewestLogsWhenTheLocalClockGoesBack) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet\nlogkeep=2\n");
  Strings made;
  const auto newest_log = [&]() {
    for (const std::string& name : ListDir(DataDir())) {
      if (name.rfind("tool_console_", 0) == 0 &&
          std::find(made.begin(), made.end(), name) == made.end()) {
        return name;
      }
    }
    return std::string();
  };
  // POSIX zone names: "<+01>-1" is an hour ahead of UTC, "UTC0" is UTC.
  for (const char* zone : {"<+01>-1", "UTC0", "UTC0"}) {
    ScopedEnv tz("TZ", zone);
    EXPECT_EQ(Launch().exit_code, 0) << zone;
    made.push_back(newest_log());
    ASSERT_FALSE(made.back().empty());
    // Distinct times for the file system however coarse its clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::set<std::string> kept;
  for (const std::string& name : ListDir(DataDir())) {
    if (name.rfind("tool_console_", 0) == 0) kept.insert(name);
  }
  EXPECT_EQ(kept,
            std::set<std::string>({made[1], made[2]}))
      << made[0] << " " << made[1] << " " << made[2];
}

// logdir moves the launcher-made logs (placeholders and <env:NAME> allowed,
// the folder made as the data folder is), and logkeep works there; a log
// named with -applogloc still wins, and logkeep then removes nothing.
TEST_F(LaunchSequence, LogDirDecidesWhereTheLogsGo) {
  Install();
  const std::string base = ToForwardSlashes(dir_ / "shipped logs");
  SetEnv("KB_LOG_BASE", base);
  const std::string named = Join(dir_ / "named", "run.log");
  MakeDirs(dir_ / "named");
  struct Case {
    const char* label;
    std::string ini;
    std::string args;
    std::string folder;  // where the log is, made by the launch
  };
  const Case cases[] = {
      {"absolute", "logdir=" + base + "/a\n", "", base + "/a"},
      {"a trailing separator", "logdir=" + base + "/b/\n", "", base + "/b"},
      {"a property", "logdir=<LOGS>/c\n", "", base + "/c"},
      {"an environment variable", "logdir=<env:KB_LOG_BASE>/d\n", "", base + "/d"},
      {"the command line", "logdir=" + base + "/x\n", "-logdir " + kb::QuoteArgument(base + "/e"),
       base + "/e"},
      {"empty: the data folder", "logdir=\n", "", ""},
      {"-applogloc wins", "logdir=" + base + "/f\n", "-applogloc " + kb::QuoteArgument(named),
       "named"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RemoveLogs();
    WriteIni("[properties]\nLOGS=" + base + "\n" + kSection + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-quiet --tc-out=CHILD-LINE\n" + c.ini);
    const RunResult r = Launch(c.args);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    std::string folder = c.folder == "named" ? dir_ / "named"
                         : c.folder.empty()  ? DataDir()
                                             : c.folder;
    if (IsWindows()) std::replace(folder.begin(), folder.end(), '/', '\\');
    const Strings names = ListDir(folder);
    ASSERT_EQ(names.size(), 1u) << folder;
    const std::string log = ReadFile(Join(folder, names[0]));
    // The banner (first in a log of the launcher's own; a named log hears
    // of the temporary folder before it), with the folder and the file it
    // names, then the lines logged before the folder was known.
    const Strings lines = Lines(log);
    const std::size_t banner = c.folder == "named" ? 3 : 1;
    ASSERT_GE(lines.size(), banner + 5) << log;
    EXPECT_EQ(lines[banner], "Launcher started.... ") << log;
    EXPECT_EQ(lines[banner + 1], "path= " + folder) << log;
    EXPECT_EQ(lines[banner + 2], "logfile= " + Join(folder, names[0])) << log;
    EXPECT_EQ(lines[banner + 4], "INFO: LRun::start::templocation=") << log;
    EXPECT_NE(log.find("CHILD-LINE\r\n"), std::string::npos) << log;
    if (!c.folder.empty()) EXPECT_EQ(LogPath(), "") << "a log in the data folder as well";
  }

  // logkeep in the log folder, and never with -applogloc.
  const std::string kept = base + "/kept";
  MakeDirs(kept);
  for (const char* name : {"tool_console_2020-1-1-1.1.1.log", "tool_console_2020-1-1-1.1.2.log"}) {
    WriteFile(Join(kept, name), "x");
  }
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet\nlogkeep=2\nlogdir=" + kept + "\n");
  EXPECT_EQ(Launch("-applogloc " + kb::QuoteArgument(named)).exit_code, 0);
  EXPECT_EQ(ListDir(kept).size(), 2u);
  EXPECT_EQ(Launch().exit_code, 0);
  const Strings left = ListDir(kept);
  EXPECT_EQ(left.size(), 2u);
  EXPECT_TRUE(std::find(left.begin(), left.end(), "tool_console_2020-1-1-1.1.2.log") != left.end());
}

// The console always gets the child's whole output; the log gets what
// logoutput and logmax leave it, and always the launcher's own last lines.
TEST_F(LaunchSequence, LogOutputAndLogMaxDecideWhatTheLogKeepsOfTheOutput) {
  Install();
  constexpr std::size_t kOutput = 20000;
  struct Case {
    const char* ini;
    const char* args;
    bool logged;          // all of the output is in the log
    std::size_t bound;    // else with a bound: the log stays within it
  };
  const Case cases[] = {
      {"", "", true, 0},
      {"logoutput=all\n", "", true, 0},
      {"logoutput=none\n", "", false, 0},
      {"logoutput=NONE\n", "", false, 0},
      {"[default]\nlogoutput=none\n", "", false, 0},
      {"logoutput=all\n", "-logoutput none", false, 0},
      {"logoutput=no\n", "", true, 0},
      {"logmax=4K\n", "", false, 4096},
      {"logmax=5000\n", "", false, 5000},
      {"", "-logmax 3k", false, 3072},
      {"logmax=1M\n", "", true, 0},
      {"logmax=0\n", "", true, 0},
      {"logmax=4KB\n", "", true, 0},
      {"logmax=-4K\n", "", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + c.args);
    RemoveLogs();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-quiet --tc-out=FIRST --tc-bytes=" + std::to_string(kOutput) +
             " --tc-out=LAST --tc-exit=4\n" + c.ini);
    const RunResult r = Launch(c.args);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(r.output.find("FIRST\n"), 0u) << r.output.substr(0, 100);
    EXPECT_EQ(r.output.size(), kOutput + 11) << "the console lost output";
    const std::string log = LogContent();
    const std::vector<std::string> lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "INFO: Launcher::main=4");
    EXPECT_NE(log.find("INFO: ExeProc::ExeandDisplay::GetExitCodeProcess=4\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find("LAST\r\n") != std::string::npos, c.logged);
    if (c.bound == 0) {
      EXPECT_EQ(log.find("FIRST\r\n") != std::string::npos, c.logged);
      EXPECT_EQ(log.find("logmax="), std::string::npos);
      continue;
    }
    // The output up to the bound, then one line of what was left out,
    // then the launcher's last lines past the bound.
    EXPECT_NE(log.find("FIRST\r\n"), std::string::npos);
    const std::string::size_type note = log.find("INFO: ExeProc::ReadFromPipe::logmax=");
    ASSERT_NE(note, std::string::npos) << log;
    // The relayed part ends where the note's time stamp line starts: at
    // the bound, give or take a line end the cut could not split and the
    // one that closes the relayed text.
    const std::string::size_type relayed_end = log.rfind('\n', note - 2) + 1;
    EXPECT_LE(relayed_end, c.bound + 2);
    EXPECT_GE(relayed_end + 2, c.bound);
    EXPECT_NE(log.find(" bytes of the child's output were left out of the log, which reached "
                       "logmax=" + std::to_string(c.bound) + " bytes\r\n", note),
              std::string::npos)
        << log.substr(note);
    EXPECT_EQ(log.find("INFO: ExeProc::ReadFromPipe::logmax=", note + 1), std::string::npos)
        << "said twice";
  }
}

TEST_F(LaunchSequence, EnvironmentPlaceholders) {
  Install();
  SetEnv("KB_ENV_A", "alpha");
  SetEnv("KB_ENV_B", "from-env");
  SetEnv("KB_ENV_P", "<P>");
  SetEnv("KB_ENV_E", "<env:KB_ENV_A>");
  UnsetEnv("KB_ENV_UNSET");
  struct Case {
    const char* name;
    std::string written;  // in launcherargs, or passed through when it starts with "-"
    std::string expected;
  };
  const Case cases[] = {
      {"set", "<env:KB_ENV_A>", "alpha"},
      {"unset, logged once", "<env:KB_ENV_UNSET>", "<env:KB_ENV_UNSET>"},
      {"letter case follows the platform", "<env:kb_env_a>",
       IsWindows() ? "alpha" : "<env:kb_env_a>"},
      {"a property named env:... wins", "<env:KB_ENV_B>", "prop"},
      {"properties first, then the environment", "<Q>", "alpha"},
      {"placeholder text in a variable is not searched", "<env:KB_ENV_P>", "<P>"},
      {"nor an environment placeholder in it", "<env:KB_ENV_E>", "<env:KB_ENV_A>"},
      {"passed through", "-x<env:KB_ENV_A>", "-xalpha"},
      {"passed through, unset", "-y<env:KB_ENV_UNSET>", "-y<env:KB_ENV_UNSET>"},
  };
  std::string launcher_args;
  std::string passed;
  Strings expected;
  // The passed-through rows come last, as the child receives them.
  for (const Case& c : cases) {
    (c.written[0] == '-' ? passed : launcher_args) += c.written + " ";
    expected.push_back(c.expected);
  }
  WriteIni(std::string("[properties]\nP=expanded\nQ=<env:KB_ENV_A>\nenv:KB_ENV_B=prop\n") +
           kSection + "launchercmd=" + Child() + "\nlauncherargs=" + launcher_args + "\n");
  const RunResult r = Launch(passed);
  const Strings args = ChildArgs(r.output);
  ASSERT_EQ(args.size(), expected.size()) << r.output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    EXPECT_EQ(args[i], expected[i]) << cases[i].name;
  }
  const Strings log = LogLines();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) {
                            return l.find("<env:KB_ENV_UNSET> left as written") != std::string::npos;
                          }),
            1)
      << LogContent();
  UnsetEnv("KB_ENV_A");
  UnsetEnv("KB_ENV_B");
  UnsetEnv("KB_ENV_P");
  UnsetEnv("KB_ENV_E");
}

TEST_F(LaunchSequence, UserFileComesBetweenTheCommandLineAndTheConfigurationFile) {
  namespace fs = std::filesystem;
  Install();
  const std::string home = dir_ / "home";
  MakeDirs(home);
  ScopedEnv env("KB_USER_HOME", home);
  const std::string user = Join(home, "user.ini");
  const std::string tag = "Launcher::Run::start::userini=" + user;
  WriteIni(std::string("[properties]\nP=prop\n") + kSection +
           "userini=<env:KB_USER_HOME>/user.ini\nlaunchercmd=" + Child() +
           "\nJavaArgs_1=cfg-wx6-1\nJavaArgs_2=cfg-wx6-2\nJavaArgs_3=cfg-wx6-3\n"
           "JavaArgs_4=cfg-wx6-4\n[default]\nJavaArgs_5=cfg-default-5\nMainClass=cfg.Main\n");
  const std::string user_text =
      "[wx6]\nJavaArgs_1=user-wx6-1\nJavaArgs_2=\nID=other\n"
      "[default]\nJavaArgs_1=user-default-1\nJavaArgs_3=user-default-3-<P>\nnorunwith=tool\n"
      "norunwith_display_tool=Other\nuserini=elsewhere.ini\n[properties]\nP=user\n";
  const Strings from_config = {"cfg-wx6-1", "cfg-wx6-2", "cfg-wx6-3", "cli-4",
                               "cfg-default-5", "cfg.Main"};
  auto ignored = [&](int line, const std::string& what) {
    return "WARNING: " + tag + " line " + std::to_string(line) + ": " + what +
           " belongs to the configuration file alone: ignored";
  };
  enum class Entry { kOwnFile, kMissing, kNotRegular, kOthersMayWrite, kGroupMayWrite, kOther };
  struct Case {
    const char* label;
    Entry entry;
    Strings args;
    Strings log;  // every line of the user file's tag, in order
    std::string options = std::string();
    // The console launcher's line on standard error ("" for none).
    std::string console = std::string();
  };
  // A refusal: its log line, and its line on the console.
  auto logged = [&](const std::string& why) { return Strings{"WARNING: " + tag + " " + why}; };
  auto told = [&](const std::string& why) {
    return "WARNING: the user file " + user + " " + why +
           "; the configuration file's values are used";
  };
  const std::string not_regular = "is not a regular file: not read";
  const std::string mode_646 = "is refused: group or others may write to it (mode 646)";
  const std::string mode_664 = "is refused: group or others may write to it (mode 664)";
  const std::string other_owner = "is refused: it belongs to user 65534";
  const Case cases[] = {
      {"read: command line, its platform section, its default, then the file's",
       Entry::kOwnFile,
       {"user-wx6-1", "user-default-3-prop", "cli-4", "cfg-default-5", "cfg.Main"},
       {"INFO: " + tag, ignored(4, "ID"), ignored(8, "norunwith"),
        ignored(9, "norunwith_display_tool"), ignored(10, "userini"),
        ignored(11, "the section [properties]")}},
      {"missing", Entry::kMissing, from_config,
       {"INFO: " + tag + " does not exist: the configuration file's values are used"}},
      {"not a regular file", Entry::kNotRegular, from_config, logged(not_regular), "",
       told(not_regular)},
      {"others may write to it (Linux)", Entry::kOthersMayWrite, from_config, logged(mode_646),
       "", told(mode_646)},
      {"a desktop's umask: the group may write to it (Linux)", Entry::kGroupMayWrite,
       from_config, logged(mode_664), "", told(mode_664)},
      {"-nomessage keeps the console quiet (Linux)", Entry::kGroupMayWrite, from_config,
       logged(mode_664), "-nomessage", ""},
      {"owned by another user (Linux, root)", Entry::kOther, from_config, logged(other_owner), "",
       told(other_owner)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    // Windows files carry no owner and mode that the launcher judges.
    const bool judged = c.entry == Entry::kOthersMayWrite || c.entry == Entry::kGroupMayWrite ||
                        c.entry == Entry::kOther;
    if (judged && IsWindows()) continue;
    if (c.entry == Entry::kOther && !IsSuperuser()) continue;
    std::error_code ec;
    fs::remove_all(fs::u8path(user), ec);
    if (c.entry == Entry::kNotRegular) MakeNonRegularFile(user);
    using fs::perms;
    const perms own = perms::owner_read | perms::owner_write;
    if (c.entry != Entry::kMissing && c.entry != Entry::kNotRegular) {
      WriteFile(user, user_text);
      perms mode = own;
      if (c.entry == Entry::kOthersMayWrite) {
        mode |= perms::group_read | perms::others_read | perms::others_write;
      } else if (c.entry == Entry::kGroupMayWrite) {
        mode |= perms::group_read | perms::group_write | perms::others_read;
      }
      fs::permissions(fs::u8path(user), mode, ec);
      if (c.entry == Entry::kOther) GiveAway(user);
    }
    RemoveLogs();
    const RunResult r = Launch("-JavaArgs_4 cli-4 " + c.options);
    EXPECT_EQ(ChildArgs(r.output), c.args) << r.output;
    if (c.console.empty()) {
      EXPECT_EQ(r.output.find("WARNING: the user file"), std::string::npos) << r.output;
    } else {
      const Strings lines = Lines(r.output);
      EXPECT_NE(std::find(lines.begin(), lines.end(), c.console), lines.end()) << r.output;
    }
    Strings seen;
    for (const std::string& line : LogLines()) {
      if (line.find(tag) != std::string::npos) seen.push_back(line);
    }
    EXPECT_EQ(seen, c.log) << LogContent();
  }
}

// One configuration for both systems: "[windows]" is read on Windows after
// the platform tag's section, "[linux]" on Linux before it (Linux answers a
// Windows tag), both before "[default]", in the user file as well.
TEST_F(LaunchSequence, SystemSectionHasItsPlaceInTheLookupOrder) {
  Install();
  const std::string home = dir_ / "home";
  MakeDirs(home);
  ScopedEnv env("KB_USER_HOME", home);
  WriteIni(std::string(kSection) + "userini=<env:KB_USER_HOME>/user.ini\nlaunchercmd=" +
           Child() +
           "\nJavaArgs_1=cfg-tag-1\nJavaArgs_2=cfg-tag-2\nJavaArgs_3=cfg-tag-3\n"
           "[linux]\nJavaArgs_1=cfg-linux-1\nJavaArgs_2=cfg-linux-2\nJavaArgs_4=cfg-linux-4\n"
           "[windows]\nJavaArgs_1=cfg-windows-1\nJavaArgs_2=cfg-windows-2\n"
           "JavaArgs_4=cfg-windows-4\nJavaArgs_5=cfg-windows-5\n"
           "[default]\nJavaArgs_5=cfg-default-5\nJavaArgs_6=cfg-default-6\nMainClass=cfg.Main\n");
  WriteFile(Join(home, "user.ini"),
            "[LINUX]\nJavaArgs_2=user-linux-2\nJavaArgs_6=user-linux-6\n"
            "[Windows]\nJavaArgs_2=user-windows-2\nJavaArgs_6=user-windows-6\n" +
                std::string(kSection) + "JavaArgs_2=user-tag-2\nJavaArgs_3=user-tag-3\n");
  const Strings expected =
      IsWindows() ? Strings{"cfg-tag-1",     "user-tag-2",     "user-tag-3", "cfg-windows-4",
                            "cfg-windows-5", "user-windows-6", "cfg.Main"}
                  : Strings{"cfg-linux-1",   "user-linux-2", "user-tag-3", "cfg-linux-4",
                            "cfg-default-5", "user-linux-6", "cfg.Main"};
  const RunResult r = Launch();
  EXPECT_EQ(ChildArgs(r.output), expected) << r.output;
}

TEST_F(LaunchSequence, ChildExitCodeBecomesTheLaunchersOwn) {
  Install();
  for (int code : {0, 3, 255}) {
    WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-exit=" +
             std::to_string(code) + "\n");
    const RunResult r = Launch();
    EXPECT_EQ(r.exit_code, code);
  }
}

TEST_F(LaunchSequence, NoConsoleRunsHiddenWithoutRelay) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet --tc-out=visible --tc-exit=5\n");
  const RunResult r = Launch("-noconsole");
  EXPECT_EQ(r.exit_code, 5);
  const std::string log = LogContent();
  EXPECT_EQ(log.find("ExeProc::ReadFromPipe"), std::string::npos);
  EXPECT_EQ(log.find("\nvisible\r\n"), std::string::npos);
  EXPECT_NE(log.find("INFO: ExeProc::ExeandWait::GetExitCodeProcess=5\r\n"), std::string::npos);
}

TEST_F(LaunchSequence, UninstallRunStartsTheChildInTheDataFolderAndReturnsZero) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=Uninstall.JAR --tc-quiet --tc-exit=9\n");
  const RunResult r = Launch("-cleandir " + kb::QuoteArgument(work_));
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const std::string log = LogContent();
  EXPECT_NE(log.find("INFO: Launcher::Run::start::Run as uninstall="), std::string::npos);
  EXPECT_EQ(log.find("Launcher::Run::start::cleanup"), std::string::npos);
  EXPECT_EQ(log.find("GetExitCodeProcess"), std::string::npos);
}

TEST_F(LaunchSequence, CleanDirectoryGetsAScriptUnlessNoCleanup) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-quiet\n");
  const std::string clean = dir_ / "victim";
  MakeDirs(clean);
  {
    const RunResult r = Launch("-nocleanup -cleandir " + kb::QuoteArgument(clean));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(LogContent().find("Launcher::Run::start::cleanup"), std::string::npos);
    RemoveLogs();
  }
  const RunResult r = Launch("-cleandir " + kb::QuoteArgument(clean));
  EXPECT_EQ(r.exit_code, 0);
  Strings scripts;
  for (const std::string& name : ListDir(dir_.path())) {
    if (name.rfind("clean_tool_console_", 0) == 0) scripts.push_back(name);
  }
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_NE(LogContent().find("INFO: Launcher::Run::start::cleanup=" + (dir_ / scripts[0])),
            std::string::npos);
  EXPECT_TRUE(FileExists(clean));  // the launcher never runs the script
}

TEST_F(LaunchSequence, OverlongCommandLineIsRefusedNotCut) {
  Install();
  std::string ini = std::string(kSection) + "launchercmd=" + Child() + "\n";
  for (int i = 1; i <= 9; ++i) {
    ini += "JavaArgs_" + std::to_string(i) + "=" + std::string(4000, 'a' + i) + "\n";
  }
  WriteIni(ini);
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, SeenExit(-1));
  EXPECT_TRUE(ChildArgs(r.output).empty());
  // The test child is no Java runtime, so no argument file can carry the line.
  const std::string log = LogContent();
  const std::size_t at = log.find("ERROR: Launcher::Run::start::commandline=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(log.find("is not a Java runtime", at), std::string::npos) << log.substr(at, 300);
}

TEST_F(LaunchSequence, JavaApplicationRunsThroughTheLauncher) {
  if (IsWindows()) GTEST_SKIP() << "the Windows build starts its own test child";
  const std::string classes = dir_ / "classes";
  const RunResult javac = kbtest::Run("javac -d " + kb::QuoteArgument(classes) + " " +
                              kb::QuoteArgument(std::string(KB_TEST_SOURCE_DIR) +
                                                "/e2e/java/app/Main.java"));
  ASSERT_EQ(javac.exit_code, 0) << javac.output;
  Install();
  WriteIni(std::string("[properties]\nMODE=fast\n[default]\nlaunchercmd=java\n") + kSection +
           "JavaArgs_1=-Xmx64m\nJavaArgs_2=-Dmode=<MODE>\nClasspath=-cp " + classes +
           "\nMainClass=app.Main\nAddtlArgs_1=--exit=4\n");
  const RunResult r = Launch("tail");
  EXPECT_EQ(r.exit_code, 4) << r.output;
  const Strings lines = Lines(r.output);
  EXPECT_TRUE(Contains(lines, "JAVA-ARG=--exit=4"));
  EXPECT_TRUE(Contains(lines, "JAVA-ARG=tail"));
  EXPECT_TRUE(Contains(lines, "JAVA-PROP mode=fast"));
  EXPECT_TRUE(Contains(lines, "JAVA-CWD=" + app_dir_));
  EXPECT_NE(LogContent().find("JAVA-ERR done"), std::string::npos);
  EXPECT_NE(LogContent().find("INFO: Launcher::main=4"), std::string::npos);
}

// The runtimes of this machine that keep a cache: the first of 13 to 24
// (dynamic archive) and the first of 25 or newer (ahead-of-time cache).
Strings CacheRuntimes() {
  Strings found(2);
  for (const std::string& name : ListDir("/usr/lib/jvm")) {
    const std::string home = Join("/usr/lib/jvm", name);
    const int feature = kb::ReadJavaVersion(home).feature;
    std::string& slot = found[feature >= 25 ? 1 : 0];
    if (feature >= 13 && slot.empty() && FileExists(Join(Join(home, "bin"), "java"))) slot = home;
  }
  return found;
}

// The archives in the cache folder (records, locks and notes left out).
Strings Archives(const std::string& cache) {
  Strings found;
  for (const std::string& name : ListDir(cache)) {
    const std::string end = name.size() > 4 ? name.substr(name.size() - 4) : name;
    if (end == ".jsa" || end == ".aot") found.push_back(name);
  }
  return found;
}

// The step runs after its launcher has returned: waits until no step of
// this folder is at work (a step removes its class list last of all).
void WaitForSteps(const std::string& cache) {
  for (int i = 0; i < 600; ++i) {
    bool busy = false;
    bool noted = false;
    for (const std::string& name : ListDir(cache)) {
      if (name.find(".classes.part") != std::string::npos) busy = true;
      if (name.size() > 5 && name.substr(name.size() - 5) == ".note") noted = true;
    }
    if (!busy && noted) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ADD_FAILURE() << "no cache step ended in 60 s in " << cache;
}

// A class file of Java 5 (version 49): class Old extends Object, nothing
// else. Runtime 17 warns about such a class when it archives it.
std::string OldClassFile() {
  const unsigned char bytes[] = {
      0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 49, 0, 5,            // magic, 0.49, 4 constants
      7, 0, 2, 1, 0, 3, 'O', 'l', 'd',                      // #1 class #2, #2 "Old"
      7, 0, 4, 1, 0, 16, 'j', 'a', 'v', 'a', '/', 'l', 'a', 'n', 'g', '/', 'O', 'b', 'j', 'e',
      'c', 't',                                             // #3 class #4, #4 Object
      0, 0x21, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0};         // public super, no members
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Each row is a first run or a later one under a condition that once
// changed what the application did; each compares output and exit code
// with the same start without the key.
TEST_F(LaunchSequence, JavaCacheNeverChangesTheApplication) {
  if (IsWindows()) GTEST_SKIP() << "no Windows Java runtime here: the unit tables cover Windows";
  const std::string classes = dir_ / "classes";
  const RunResult javac = kbtest::Run("javac -d " + kb::QuoteArgument(classes) + " " +
                                      kb::QuoteArgument(std::string(KB_TEST_SOURCE_DIR) +
                                                        "/e2e/java/app/Main.java"));
  ASSERT_EQ(javac.exit_code, 0) << javac.output;
  WriteFile(Join(classes, "Old.class"), OldClassFile());
  const std::string jar = Join(app_dir_, "app.jar");
  const std::string make_jar = "jar cf " + kb::QuoteArgument(jar) + " -C " +
                               kb::QuoteArgument(classes) + " .";
  ASSERT_EQ(kbtest::Run(make_jar).exit_code, 0);
  Install();
  const std::string cache = Join(DataDir(), "cache");
  int tested = 0;
  for (const std::string& home : CacheRuntimes()) {
    if (home.empty()) {
      std::cout << "[ SKIPPED ROW ] no runtime of this kind on the machine\n";
      continue;
    }
    ++tested;
    SCOPED_TRACE(home);
    const std::string base = std::string(kSection) + "launchercmd=" + Join(Join(home, "bin"), "java") +
                             "\nClasspath=-cp app.jar\nMainClass=app.Main\n";
    const std::string keyed = base + "javacache=auto\n";
    // The start without the key, then with it: the same output and code;
    // gives the log's cache lines.
    auto compare = [&](const std::string& extra, const std::string& args) {
      std::filesystem::remove_all(Join(app_dir_, "gc.log"));
      WriteIni(base + extra);
      const RunResult plain = Launch(args);
      RemoveLogs();
      WriteIni(keyed + extra);
      const RunResult r = Launch(args);
      EXPECT_EQ(r.exit_code, plain.exit_code) << args;
      EXPECT_EQ(r.output, plain.output) << args;
      std::string lines;
      for (const std::string& line : LogLines()) {
        if (line.find("javacache=") != std::string::npos) lines += line + "\n";
      }
      return lines;
    };
    std::filesystem::remove_all(cache);
    // A first run records, the step after it makes the archive, the next
    // run says so and uses it; an old class file changes nothing.
    EXPECT_NE(compare("", "--exit=3 --load=Old").find("recording"), std::string::npos);
    // The launcher has returned, and so has its pipe, while the step works.
    EXPECT_TRUE(Archives(cache).empty());
    WaitForSteps(cache);
    std::string log = compare("", "--exit=3 --load=Old");
    EXPECT_NE(log.find("the last cache step: created"), std::string::npos) << log;
    EXPECT_NE(log.find("using "), std::string::npos) << log;
    const Strings first = Archives(cache);
    ASSERT_EQ(first.size(), 1u);

    // An archive cut short is dropped, not mapped, and made again.
    const std::string good = ReadFile(Join(cache, first[0]));
    WriteFile(Join(cache, first[0]), good.substr(0, good.size() / 2));
    log = compare("", "--exit=3");
    EXPECT_NE(log.find("dropped "), std::string::npos) << log;
    EXPECT_NE(log.find("recording"), std::string::npos) << log;
    WaitForSteps(cache);
    EXPECT_NE(compare("", "--exit=3").find("using "), std::string::npos);

    // The cache folder removed while the first run records.
    std::filesystem::remove_all(cache);
    log = compare("", "--exit=3 --remove=" + cache);
    EXPECT_NE(log.find("recording"), std::string::npos) << log;
    EXPECT_EQ(LogContent().find("WARNING"), std::string::npos) << LogContent();

    // The step writes none of the application's files: its gc log stays
    // as the first run left it.
    std::filesystem::remove_all(cache);
    const std::string gc = "JavaArgs_1=-Xlog:gc:file=gc.log\n";
    EXPECT_NE(compare(gc, "--exit=3").find("recording"), std::string::npos);
    const std::string gc_log = ReadFile(Join(app_dir_, "gc.log"));
    WaitForSteps(cache);
    EXPECT_EQ(ReadFile(Join(app_dir_, "gc.log")), gc_log);
    EXPECT_EQ(Archives(cache).size(), 1u);

    // A run ended by a request starts no step, and leaves no class list.
    std::filesystem::remove_all(cache);
    RemoveLogs();
    WriteIni(keyed);
    const RunResult ended = kbtest::Run("bash -c " + kb::QuoteArgument(
        LaunchLine("--sleep=4000") + " & sleep 2; kill -TERM $!; wait $!; echo code=$?"));
    EXPECT_NE(ended.output.find("code=143"), std::string::npos) << ended.output;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(Archives(cache).empty()) << ended.output;
    for (const std::string& name : ListDir(cache)) {
      EXPECT_EQ(name.find(".part"), std::string::npos) << name;
      EXPECT_EQ(name.find(".note"), std::string::npos) << name;
    }
    // Asked to end while the application ran, or before it started: no
    // step in either case.
    EXPECT_EQ(LogContent().find("a step makes"), std::string::npos) << LogContent();

    // The bound: alternating two configurations keeps both; more than the
    // bound keeps the newest four.
    std::filesystem::remove_all(cache);
    for (int n = 1; n <= 5; ++n) {
      compare("JavaArgs_1=-Dn=" + std::to_string(n) + "\n", "--exit=3");
      WaitForSteps(cache);
    }
    EXPECT_EQ(Archives(cache).size(), 4u);
    EXPECT_NE(compare("JavaArgs_1=-Dn=4\n", "--exit=3").find("using "), std::string::npos);
    EXPECT_NE(compare("JavaArgs_1=-Dn=5\n", "--exit=3").find("using "), std::string::npos);

    // The user's own choice wins.
    EXPECT_NE(compare("JavaArgs_1=-Xshare:off\n", "--exit=3").find("choose class-data sharing"),
              std::string::npos);

    // Folders another user may write to are not used: the cache folder and
    // the data folder above it.
    std::filesystem::permissions(cache, std::filesystem::perms::group_write,
                                 std::filesystem::perm_options::add);
    EXPECT_NE(compare("", "--exit=3").find("group or others may write"), std::string::npos);
    std::filesystem::remove_all(cache);
    std::filesystem::permissions(DataDir(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    EXPECT_NE(compare("", "--exit=3").find("group or others may write"), std::string::npos);
    std::filesystem::permissions(DataDir(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(FileExists(cache));
  }
  if (tested == 0) GTEST_SKIP() << "no Java runtime of version 13 or newer in /usr/lib/jvm";
}

// A stand-in runtime 17: records its class list, then waits on a FIFO when
// asked to, so that two first runs really overlap; dumps a fake archive;
// crashes on the archive when asked to, as a runtime does on a file cut
// short under it.
constexpr char kStandInJava[] = R"(#!/bin/sh
for a in "$@"; do
  case $a in
    -Xshare:dump) dump=1 ;;
    -XX:SharedArchiveFile=*) archive=${a#*=} ;;
    -XX:DumpLoadedClassList=*) list=${a#*=} ;;
  esac
done
if [ -n "$dump" ]; then sleep 1; echo archive >"$archive"; exit 0; fi
if [ -n "$list" ]; then echo app/Main >"$list"; [ -n "$STANDIN_FIFO" ] && cat "$STANDIN_FIFO" >/dev/null; fi
if [ -n "$archive" ] && [ -n "$STANDIN_CRASH" ]; then kill -BUS $$; fi
echo "app ran"
exit 3
)";

// A stand-in runtime 17 made of `script` (a POSIX shell script) beside an
// app.jar, with the launcher installed: the program's path.
std::string InstallStandInRuntime(const std::string& script, const kbtest::ScratchDir& dir,
                                  const std::string& app_dir) {
  const std::string home = dir / "standin";
  kbtest::MakeDirs(kbtest::Join(home, "bin"));
  kbtest::WriteFile(kbtest::Join(home, "release"), "JAVA_VERSION=\"17.0.2\"\n");
  const std::string java = kbtest::Join(kbtest::Join(home, "bin"), "java");
  kbtest::WriteFile(java, script);
  std::filesystem::permissions(java, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  kbtest::WriteFile(kbtest::Join(app_dir, "app.jar"), "PK");
  return java;
}

TEST_F(LaunchSequence, JavaCacheFirstRunsOverlapAndACrashDropsTheArchive) {
  if (IsWindows()) GTEST_SKIP() << "the stand-in runtime is a POSIX shell script";
  const std::string java = InstallStandInRuntime(kStandInJava, dir_, app_dir_);
  Install();
  const std::string cache = Join(DataDir(), "cache");
  const std::string base = std::string(kSection) + "launchercmd=" + java +
                           "\nClasspath=-cp app.jar\nMainClass=app.Main\n";
  WriteIni(base);
  const RunResult plain = Launch();
  ASSERT_EQ(plain.exit_code, 3) << plain.output;
  WriteIni(base + "javacache=auto\n");

  // Two first runs at once, both held after recording until both have.
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(kbtest::Run("mkfifo " + kb::QuoteArgument(fifo)).exit_code, 0);
  const std::string line = "STANDIN_FIFO=" + kb::QuoteArgument(fifo) + " " + LaunchLine("");
  RunResult both[2];
  std::thread first([&] { both[0] = kbtest::Run("sh -c " + kb::QuoteArgument(line)); });
  std::thread second([&] { both[1] = kbtest::Run("sh -c " + kb::QuoteArgument(line)); });
  int lists = 0;
  for (int i = 0; i < 300 && lists < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    lists = 0;
    for (const std::string& name : ListDir(cache)) lists += name.find(".classes.part") != std::string::npos;
  }
  EXPECT_EQ(lists, 2);
  // Lets every reader of the FIFO go, however late it opens it.
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    (void)kbtest::Run("sh -c " + kb::QuoteArgument("exec 3<>" + fifo + "; exec 3>&-"));
  }
  first.join();
  second.join();
  for (const RunResult& r : both) {
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.output, plain.output);
  }
  WaitForSteps(cache);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(Archives(cache).size(), 1u);
  for (const std::string& name : ListDir(cache)) {
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;
  }

  // The runtime crashes while the archive is mapped: it is dropped with a
  // log line, and the next run records again.
  RemoveLogs();
  const RunResult crashed = kbtest::Run("sh -c " + kb::QuoteArgument("STANDIN_CRASH=1 " + LaunchLine("")));
  EXPECT_EQ(crashed.exit_code, 128 + 7) << crashed.output;
  EXPECT_NE(LogContent().find("the runtime that mapped it crashed"), std::string::npos) << LogContent();
  EXPECT_TRUE(Archives(cache).empty());
  RemoveLogs();
  EXPECT_EQ(Launch().output, plain.output);
  EXPECT_NE(LogContent().find("recording"), std::string::npos) << LogContent();
  WaitForSteps(cache);
}

// A stand-in runtime 17 whose "-version" answers otherwise when it maps an
// archive and the application's options (or its option variables) hold
// -Dstandin.refuse, as a runtime would for an option the rules cannot know.
constexpr char kProbedJava[] = R"(#!/bin/sh
for a in $JAVA_TOOL_OPTIONS "$@"; do
  case $a in
    -Xshare:dump) dump=1 ;;
    -XX:SharedArchiveFile=*) archive=${a#*=} ;;
    -XX:DumpLoadedClassList=*) list=${a#*=} ;;
    -Dstandin.refuse) refuse=1 ;;
    -version) version=1 ;;
  esac
done
if [ -n "$dump" ]; then echo archive >"$archive"; exit 0; fi
if [ -n "$list" ]; then echo app/Main >"$list"; fi
if [ -n "$version" ]; then
  if [ -n "$archive" ] && [ -n "$refuse" ]; then echo "Error: no such option with it"; exit 1; fi
  echo "standin 17"; exit 0
fi
if [ -n "$archive" ] && [ -n "$refuse" ]; then echo "mapped against the odds"; exit 9; fi
echo "app ran"
exit 3
)";

TEST_F(LaunchSequence, JavaCacheStepAsksTheRuntimeBeforeTheArchiveIsNamed) {
  if (IsWindows()) GTEST_SKIP() << "the stand-in runtime is a POSIX shell script";
  const std::string java = InstallStandInRuntime(kProbedJava, dir_, app_dir_);
  Install();
  const std::string cache = Join(DataDir(), "cache");
  const std::string base = std::string(kSection) + "launchercmd=" + java +
                           "\nClasspath=-cp app.jar\nMainClass=app.Main\n";
  struct Row {
    const char* name;
    std::string java_args;
    const char* tool_options;  // JAVA_TOOL_OPTIONS of the launch, or none
    bool named;                // the runtime answers the same: the archive is used
  };
  const Row rows[] = {
      {"the runtime answers the same", "JavaArgs_1=-Da=\"b c\"\n", nullptr, true},
      {"an option of the line", "JavaArgs_1=-Dstandin.refuse\n", nullptr, false},
      {"an option of JAVA_TOOL_OPTIONS", "", "-Dstandin.refuse", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(cache);
    std::unique_ptr<ScopedEnv> variable;
    if (row.tool_options != nullptr) {
      variable = std::make_unique<ScopedEnv>("JAVA_TOOL_OPTIONS", row.tool_options);
    }
    WriteIni(base + row.java_args);
    const RunResult plain = Launch();
    WriteIni(base + row.java_args + "javacache=auto\n");
    RemoveLogs();
    const RunResult first = Launch();
    EXPECT_EQ(first.exit_code, plain.exit_code);
    EXPECT_EQ(first.output, plain.output);
    WaitForSteps(cache);
    EXPECT_EQ(Archives(cache).size(), row.named ? 1u : 0u);
    for (const std::string& name : ListDir(cache)) {
      EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    }
    RemoveLogs();
    const RunResult next = Launch();
    EXPECT_EQ(next.exit_code, plain.exit_code);
    EXPECT_EQ(next.output, plain.output);
    const std::string log = LogContent();
    if (row.named) {
      EXPECT_NE(log.find("the last cache step: created"), std::string::npos) << log;
      EXPECT_NE(log.find("javacache=using "), std::string::npos) << log;
    } else {
      EXPECT_NE(log.find("the last cache step: no archive: the runtime answers otherwise with it "
                         "(exit code 1 for 0): Error: no such option with it"),
                std::string::npos)
          << log;
      EXPECT_EQ(log.find("javacache=using "), std::string::npos) << log;
      EXPECT_EQ(log.find("-XX:SharedArchiveFile="), std::string::npos) << log;
      WaitForSteps(cache);  // the next run recorded again
    }
  }
}

}  // namespace
}  // namespace kbtest
