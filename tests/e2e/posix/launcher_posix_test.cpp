// What only a POSIX launcher meets: signals, closed standard streams, a
// full device, file modes and planted symbolic links.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "env/env_calls.h"
#include "log/time_stamp.h"
#include "platform/error_codes.h"
#include "support/e2e_support.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";

class PosixLauncher : public LauncherTest {
 protected:
  std::string Configure(const std::string& launcher_args) {
    const std::string exe = Install();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=" +
             launcher_args + "\n");
    return exe;
  }

  // Starts `sh -c script` in a process group of its own; returns its pid.
  static pid_t StartShell(const std::string& script) {
    const pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(pid, pid);
    return pid;
  }

  // Waits for the pid; returns its exit status as a shell would report it.
  static int WaitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
  }

  // Waits until the launcher's child has ended and is not yet reaped.
  static void WaitForChildEnd(pid_t launcher) {
    const std::string id = std::to_string(launcher);
    for (int i = 0; i < 400; ++i) {
      const std::string child = ReadFile("/proc/" + id + "/task/" + id + "/children");
      const std::string stat = ReadFile("/proc/" + child.substr(0, child.find(' ')) + "/stat");
      const std::string::size_type close = stat.rfind(')');
      if (!child.empty() && close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }

  // Waits until the log shows the child running.
  void WaitForRelayStart() {
    for (int i = 0; i < 200; ++i) {
      if (LogContent().find("ExeProc::ReadFromPipe") != std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
};

TEST_F(PosixLauncher, ConsoleInterruptReachesTheChildAndTheLauncherReportsItsEnd) {
  for (int sig : {SIGINT, SIGQUIT}) {
    const std::string exe = Configure("--tc-quiet --tc-sleep=5000 --tc-exit=0");
    const pid_t group = StartShell("exec " + kb::QuoteArgument(exe) + " >/dev/null 2>&1");
    WaitForRelayStart();
    kill(-group, sig);  // as a terminal does: the whole foreground group
    EXPECT_EQ(WaitStatus(group), 128 + sig) << sig;
    EXPECT_NE(LogContent().find("INFO: Launcher::main=" + std::to_string(128 + sig)),
              std::string::npos)
        << LogContent();
    RemoveLogs();
  }
}

TEST_F(PosixLauncher, TerminationSentToTheLauncherAloneIsPassedOn) {
  for (int sig : {SIGTERM, SIGHUP}) {
    const std::string exe = Configure("--tc-quiet --tc-sleep=5000");
    const pid_t launcher = StartShell("exec " + kb::QuoteArgument(exe) + " >/dev/null 2>&1");
    WaitForRelayStart();
    kill(launcher, sig);
    EXPECT_EQ(WaitStatus(launcher), 128 + sig) << sig;
    const std::string log = LogContent();
    EXPECT_NE(log.find("GetExitCodeProcess=" + std::to_string(128 + sig)), std::string::npos)
        << log;
    RemoveLogs();
  }
}

// Whether the process's /proc status shows the launcher itself (not the
// shell before its exec) with `sig` blocked or caught.
bool LauncherHolds(pid_t pid, int sig) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  if (status.find("Name:\ttool_console\n") == std::string::npos) return false;
  const unsigned long long bit = 1ull << (sig - 1);
  for (const char* field : {"SigBlk:\t", "SigCgt:\t"}) {
    const std::string::size_type at = status.find(field);
    if (at != std::string::npos && (std::stoull(status.substr(at + 8), nullptr, 16) & bit) != 0) {
      return true;
    }
  }
  return false;
}

// A request that comes before the child's start, however early once main
// has begun, ends the launcher with 128 + N and its last log line, and no
// child is started. The log is a FIFO that nobody reads yet: the launcher
// waits at its first log line, before any child, until the request is in.
TEST_F(PosixLauncher, TerminationBeforeTheChildStartsEndsTheLauncherWithoutAChild) {
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    const std::string exe = Configure("--tc-quiet");
    const std::string fifo = dir_ / "log.fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t launcher = StartShell("exec " + kb::QuoteArgument(exe) + " -applogloc " +
                                      kb::QuoteArgument(fifo) + " >/dev/null 2>&1");
    bool held = false;
    for (int i = 0; i < 400 && !(held = LauncherHolds(launcher, sig)); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (held) kill(launcher, sig);
    // Lets the launcher's opens of its log go on, and keeps what it writes.
    const int reader = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    if (!held) kill(launcher, SIGKILL);
    const int code = WaitStatus(launcher);
    std::string log;
    char buffer[4096];
    ssize_t n;
    while ((n = read(reader, buffer, sizeof buffer)) > 0) log.append(buffer, n);
    close(reader);
    ASSERT_TRUE(held) << "the launcher never blocked or caught the signal";
    EXPECT_EQ(code, 128 + sig) << log;
    const std::vector<std::string> lines = Lines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "INFO: Launcher::main=" + std::to_string(128 + sig)) << log;
    // A child that was started, even one the request then ended at once,
    // would have its exit code logged.
    EXPECT_EQ(log.find("GetExitCodeProcess"), std::string::npos) << log;
    EXPECT_NE(log.find("no child started"), std::string::npos) << log;
  }
}

// The child ends at once and leaves a process holding the pipe for 30 s: a
// request then ends the launcher, and its last log entry says so. Also when
// the relay is stuck echoing to a standard output that nobody reads: the
// child wrote more than that pipe (or socket, which tee(2) cannot fill)
// holds. What the relay read still reaches the log.
TEST_F(PosixLauncher, TerminationAfterTheChildEndedStopsTheRelay) {
  enum class Unread { kNone, kPipe, kSocket };
  struct Case {
    int sig;
    Unread unread_output;
  };
  for (const Case& c : {Case{SIGTERM, Unread::kNone}, Case{SIGHUP, Unread::kNone},
                        Case{SIGINT, Unread::kNone}, Case{SIGQUIT, Unread::kNone},
                        Case{SIGTERM, Unread::kPipe}, Case{SIGTERM, Unread::kSocket}}) {
    const bool unread_output = c.unread_output != Unread::kNone;
    SCOPED_TRACE(std::to_string(c.sig) + " unread output " +
                 std::to_string(static_cast<int>(c.unread_output)));
    const std::string exe =
        Configure(unread_output ? "--tc-quiet --tc-grandchild=30000 --tc-bytes=100000 "
                                  "--tc-out=END-OF-OUTPUT"
                                : "--tc-quiet --tc-grandchild=30000 --tc-out=up");
    int unread[2] = {-1, -1};
    std::string output = ">/dev/null";
    if (unread_output) {
      if (c.unread_output == Unread::kPipe) {
        ASSERT_EQ(pipe2(unread, O_CLOEXEC), 0);
      } else {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, unread), 0);
        // Small enough that the relay stalls on it, and the child, whose
        // output the pipe and the relay's chunk then hold, still ends.
        const int size = 16384;
        ASSERT_EQ(setsockopt(unread[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size), 0);
      }
      ASSERT_EQ(fcntl(unread[1], F_SETFD, 0), 0);
      output = ">&" + std::to_string(unread[1]) + " " + std::to_string(unread[1]) + ">&-";
    }
    const pid_t group = StartShell("exec " + kb::QuoteArgument(exe) + " " + output + " 2>&1");
    if (unread_output) close(unread[1]);
    WaitForRelayStart();
    WaitForChildEnd(group);
    kill(group, c.sig);
    int status = -1;
    for (int i = 0; i < 100 && waitpid(group, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(-group, SIGKILL);  // the process left holding the pipe
    if (unread_output) close(unread[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "still running or killed: " << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + c.sig);
    const std::vector<std::string> lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "INFO: Launcher::main=" + std::to_string(128 + c.sig))
        << LogContent();
    EXPECT_NE(LogContent().find(unread_output ? "END-OF-OUTPUT\r\n" : "up\r\n"), std::string::npos);
    RemoveLogs();
  }
}

// nohup, or a background job's ignored interrupts: the launcher and its
// child both keep ignoring what they inherited as ignored.
TEST_F(PosixLauncher, InheritedIgnoredSignalsStayIgnored) {
  for (int sig : {SIGHUP, SIGINT, SIGQUIT}) {
    const std::string exe = Configure("--tc-quiet --tc-sleep=1500 --tc-exit=7");
    const std::string name = sig == SIGHUP ? "HUP" : sig == SIGINT ? "INT" : "QUIT";
    const pid_t group =
        StartShell("trap '' " + name + "; exec " + kb::QuoteArgument(exe) + " >/dev/null 2>&1");
    WaitForRelayStart();
    kill(-group, sig);  // the launcher and its child alike
    EXPECT_EQ(WaitStatus(group), 7) << sig;
    RemoveLogs();
  }
}

// The terminal rows of the input table (pipes and files are in the
// launch sequence's): `script` gives the launcher a terminal and types a
// line, then the end of input, into it. Only a relayed run with
// stdin=inherit passes it on; a hidden run's child gets none, whatever the
// key says, and must not read what the user types.
TEST_F(PosixLauncher, TerminalInputReachesOnlyAnInheritingRelayedChild) {
  if (::access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no script(1)";
  struct Case {
    const char* stdin_line;
    const char* args;
    const char* expected;
  };
  for (const Case& c : {Case{"\nstdin=inherit", "", "STDIN=typed-secret\r\n"},
                        Case{"", " -noconsole", "STDIN=\r\n"},
                        Case{"\nstdin=inherit", " -noconsole", "STDIN=\r\n"}}) {
    SCOPED_TRACE(std::string(c.stdin_line) + c.args);
    const std::string exe = Configure(std::string("--tc-quiet --tc-stdin") + c.stdin_line);
    const std::string out = dir_ / "terminal.txt";
    const pid_t shell = StartShell("printf 'typed-secret\\n\\004' | /usr/bin/script -qec '" +
                                   exe + c.args + "' /dev/null > '" + out + "'");
    EXPECT_EQ(WaitStatus(shell), 0);
    EXPECT_NE(ReadFile(out).find(c.expected), std::string::npos) << ReadFile(out);
    EXPECT_EQ(ReadFile(out).find("STDIN=typed") != std::string::npos, c.args[0] == '\0')
        << ReadFile(out);
  }
}

// A terminal that nobody reads (a frozen emulator, Ctrl-S, a stalled ssh
// client) must not make the relay deaf: the child wrote more than the
// pseudo-terminal holds and ended, and a request then ends the launcher
// with 128 + N. The master is kept open and never read.
TEST_F(PosixLauncher, UnreadTerminalStillLetsATerminationRequestIn) {
  const std::string exe = Configure("--tc-quiet --tc-bytes=100000 --tc-out=END-OF-OUTPUT");
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  const pid_t launcher = StartShell("exec " + kb::QuoteArgument(exe) + " >" + terminal +
                                    " 2>/dev/null");
  WaitForRelayStart();
  WaitForChildEnd(launcher);
  kill(launcher, SIGTERM);
  // A deadline of its own: a deaf relay is a failure here, not a hang.
  int status = -1;
  for (int i = 0; i < 100 && waitpid(launcher, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const bool ended = WIFEXITED(status) || WIFSIGNALED(status);
  if (!ended) {
    kill(launcher, SIGKILL);
    waitpid(launcher, &status, 0);
  }
  close(master);
  ASSERT_TRUE(ended) << "the launcher did not end within 10 s of SIGTERM";
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  const std::vector<std::string> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "INFO: Launcher::main=" + std::to_string(128 + SIGTERM));
  // What the terminal did not take still reaches the log.
  EXPECT_NE(LogContent().find("END-OF-OUTPUT\r\n"), std::string::npos);
}

TEST_F(PosixLauncher, ChildKilledBySignalGives128PlusTheSignal) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=/bin/sh\nlauncherargs=-c \"kill -9 $$\"\n");
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, 137);
  EXPECT_NE(LogContent().find("INFO: Launcher::main=137"), std::string::npos);
}

// Started without some standard streams, the launcher must not let its
// lock file or log take their place: the child's output would land there.
// (What the relay logs with its output closed is tested in exe_proc_test.)
TEST_F(PosixLauncher, ClosedStandardStreamsAreNotTakenByTheLockFileOrLog) {
  for (const std::string& closed : {">&-", "<&- >&-", "<&- >&- 2>&-", "2>&- >/dev/null"}) {
    SCOPED_TRACE(closed);
    const std::string exe = Install();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-quiet --tc-bytes=100000 --tc-exit=3\nid=streams\n");
    const pid_t pid = StartShell("exec " + kb::QuoteArgument(exe) + " " + closed);
    EXPECT_EQ(WaitStatus(pid), 3);
    const std::string log = LogContent();
    // The child's output is in the log once: not echoed into it as well.
    EXPECT_GT(log.size(), 100000u);
    EXPECT_LT(log.size(), 110000u) << "the child's output was written twice";
    EXPECT_NE(log.find("INFO: Launcher::main=3"), std::string::npos);
    for (const std::string& name : ListDir(dir_ / "run/kestrelbay")) {
      EXPECT_EQ(ReadFile(Join(dir_ / "run/kestrelbay", name)), "") << name;
    }
    RemoveLogs();
  }
}

TEST_F(PosixLauncher, FullDeviceForTheLogLosesNothingOnTheConsole) {
  Configure("--tc-quiet --tc-bytes=50000 --tc-exit=2");
  const RunResult r = Launch("-applogloc /dev/full");
  EXPECT_EQ(r.exit_code, 2);
  // Beside the child's output, one line says that the log is lost.
  const std::string warning =
      "WARNING: the log file /dev/full cannot be written: " + platform::ErrorText(ENOSPC) +
      " (error " + std::to_string(ENOSPC) + "); the run goes on without it\n";
  EXPECT_EQ(r.output.find(warning), 0u) << r.output.substr(0, 200);
  EXPECT_EQ(r.output.size(), 50000u + warning.size());
}

// The POSIX layer once answered Windows' 3 here, and strerror read it as
// "No such process".
TEST_F(PosixLauncher, DataFolderBehindAFileGivesTheWordsOfTheErrorMet) {
  Configure("--tc-quiet --tc-exit=4");
  WriteFile(dir_ / "plain", "x");
  const RunResult r = Launch("-datalocation " + (dir_ / "plain/data"));
  EXPECT_EQ(r.exit_code, 4);
  const std::string prefix = "WARNING: the log file " + (dir_ / "plain/data") + "/";
  const std::string words = " cannot be written: Not a directory (error " +
                            std::to_string(ENOTDIR) + "); the run goes on without it\n";
  EXPECT_EQ(r.output.find(prefix), 0u) << r.output;
  EXPECT_NE(r.output.find(words), std::string::npos) << r.output;
}

TEST_F(PosixLauncher, PrivateModesForDataFolderLockFolderAndLog) {
  Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() + "\nlauncherargs=--tc-quiet\nid=modes\n");
  const RunResult r = Launch();
  ASSERT_EQ(r.exit_code, 0);
  struct stat st;
  ASSERT_EQ(stat(DataDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((dir_ / "run/kestrelbay").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(LogPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A log the user names is opened as named, a link followed; a link planted
// where the launcher makes its own log name is never written through.
TEST_F(PosixLauncher, LogLinksAreFollowedOnlyWhenTheUserNamesThem) {
  Configure("--tc-out=secret");
  const std::string target = dir_ / "target.txt";
  WriteFile(target, "");
  const std::string link = dir_ / "run.log";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(Launch("-applogloc " + kb::QuoteArgument(link)).exit_code, 0);
  EXPECT_NE(ReadFile(target).find("secret\r\n"), std::string::npos) << ReadFile(target);

  WriteFile(target, "untouched");
  MakeDirs(DataDir());
  std::vector<std::string> planted;
  const std::time_t now = std::time(nullptr);
  for (std::time_t t = now; t < now + 5; ++t) {
    kb::SetClockForTesting([t] { return t; });
    planted.push_back(Join(DataDir(), "tool_console_" + kb::GetDateTimeStamp() + ".log"));
    ASSERT_EQ(symlink(target.c_str(), planted.back().c_str()), 0);
  }
  kb::SetClockForTesting([] { return std::time(nullptr); });
  EXPECT_EQ(Launch().exit_code, 0);
  EXPECT_EQ(ReadFile(target), "untouched");
  std::string own;
  for (const std::string& name : ListDir(DataDir())) {
    if (name.find("_2.log") != std::string::npos) own = ReadFile(Join(DataDir(), name));
  }
  EXPECT_NE(own.find("secret\r\n"), std::string::npos);
}

// Another user's link where the lock folder belongs: the guard goes on
// working from the data folder, and the log names what it refused.
TEST_F(PosixLauncher, LinkedLockFolderIsRefusedAndTheGuardStillWorks) {
  const std::string elsewhere = dir_ / "elsewhere";
  MakeDirs(elsewhere);
  ASSERT_EQ(symlink(elsewhere.c_str(), (dir_ / "run/kestrelbay").c_str()), 0);
  const std::string exe = Install();
  WriteIni(std::string(kSection) + "launchercmd=" + Child() +
           "\nlauncherargs=--tc-quiet --tc-sleep=3000\nid=linked\nnorunwith=linked\n");
  const pid_t first = StartShell("exec " + kb::QuoteArgument(exe) + " -autorun >/dev/null 2>&1");
  WaitForRelayStart();
  const std::string log = LogContent();
  RemoveLogs();
  const RunResult second = Launch("-autorun");
  EXPECT_EQ(second.exit_code, 183);
  EXPECT_EQ(WaitStatus(first), 0);
  EXPECT_TRUE(ListDir(elsewhere).empty());
  EXPECT_NE(log.find("WARNING: MutexObj::IsRunning::lockfolder=the lock folder " + dir_ /
                     "run/kestrelbay was refused because it is a symbolic link or not a folder; "
                     "using " + DataDir() + "/locks\r\n"),
            std::string::npos)
      << log;

  // With the fallback spoilt as well, nothing can be guarded: the log says so.
  ASSERT_EQ(chmod((DataDir() + "/locks").c_str(), 0777), 0);
  RemoveLogs();
  EXPECT_EQ(Launch("-autorun").exit_code, 0);
  EXPECT_NE(LogContent().find("WARNING: MutexObj::IsRunning::lockfolder=no lock folder can be used"),
            std::string::npos)
      << LogContent();
  EXPECT_NE(LogContent().find("WARNING: MutexObj::IsRunning::lockfolder=the name of this "
                              "application cannot be held"),
            std::string::npos);
}

}  // namespace
}  // namespace kbtest
