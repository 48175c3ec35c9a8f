// terminal=auto through the real launcher, on a pseudo-terminal the test
// owns as a user's terminal emulator would. A small stand-in shell between
// them puts the launcher in a foreground process group of its own and takes
// the terminal back when the launcher stops, as a shell with job control
// does. After every row the terminal is in exactly its earlier mode.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "support/e2e_support.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";
constexpr char kEsc[] = "\x1b";

// `stty -g` of the terminal at `path`.
std::string SttyG(const std::string& path) {
  FILE* pipe = ::popen(("stty -g < " + kb::QuoteArgument(path)).c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string text;
  char chunk[512];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
  ::pclose(pipe);
  return text;
}

// The user's side: a pseudo-terminal of 40 rows and 100 columns, a
// stand-in shell as its session leader and the launcher in the foreground.
class PtySession {
 public:
  ~PtySession() {
    if (shell_ > 0) {
      ::kill(-launcher_, SIGKILL);
      ::kill(shell_, SIGKILL);
      ::waitpid(shell_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }

  // Starts the launcher; with stdout_file, its standard output goes there;
  // in the background, the shell keeps the terminal (as for `tool &`).
  void Start(const std::string& exe, const std::string& stdout_file = "",
             bool background = false) {
    struct winsize size = {40, 100, 0, 0};
    int slave = -1;
    ASSERT_EQ(::openpty(&master_, &slave, nullptr, nullptr, &size), 0);
    slave_path_ = ::ptsname(master_);
    before_ = SttyG(slave_path_);
    shell_ = ::fork();
    if (shell_ == 0) {
      ::close(master_);
      if (::login_tty(slave) != 0) ::_exit(126);
      ::signal(SIGTTOU, SIG_IGN);
      const pid_t launcher = ::fork();
      if (launcher == 0) {
        ::setpgid(0, 0);
        if (!background) ::tcsetpgrp(0, ::getpid());
        ::signal(SIGTTOU, SIG_DFL);
        if (!stdout_file.empty()) {
          const int fd = ::open(stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          ::dup2(fd, 1);
        }
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
      }
      ::setpgid(launcher, launcher);
      if (!background) ::tcsetpgrp(0, launcher);
      int status = 0;
      for (;;) {
        if (::waitpid(launcher, &status, WUNTRACED) < 0) ::_exit(125);
        if (!WIFSTOPPED(status)) break;
        ::tcsetpgrp(0, ::getpgrp());  // the shell has the terminal back
      }
      ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    ::close(slave);
    // The launcher is the stand-in shell's one child.
    const std::string id = std::to_string(shell_);
    for (int i = 0; i < 400 && launcher_ <= 0; ++i) {
      launcher_ = std::atoi(ReadFile("/proc/" + id + "/task/" + id + "/children").c_str());
      if (launcher_ <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Reads the screen until it holds `text`; false after 10 s.
  bool ReadUntil(const std::string& text) {
    for (int i = 0; i < 100 && screen_.find(text) == std::string::npos; ++i) ReadSome(100);
    return screen_.find(text) != std::string::npos;
  }
  void ReadSome(int timeout_ms) {
    struct pollfd entry = {master_, POLLIN, 0};
    if (::poll(&entry, 1, timeout_ms) <= 0) return;
    char chunk[4096];
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n > 0) {
      screen_.append(chunk, static_cast<std::size_t>(n));
    } else {
      // Nobody holds the terminal's other side (yet): poll would not wait.
      std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    }
  }
  void Type(const std::string& keys) { ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  void Resize(unsigned short rows, unsigned short columns) {
    struct winsize size = {rows, columns, 0, 0};
    ::ioctl(master_, TIOCSWINSZ, &size);
  }

  // The launcher's exit status through the stand-in shell, reading the
  // screen meanwhile unless told not to; -1 when it has not ended within
  // 20 s (it is then killed).
  int Wait(bool read = true) {
    int status = 0;
    for (int i = 0; i < 200; ++i) {
      if (::waitpid(shell_, &status, WNOHANG) == shell_) {
        shell_ = 0;
        while (read && ReadMore()) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
      }
      if (read) {
        ReadSome(100);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    return -1;
  }
  bool ReadMore() {
    const std::size_t before = screen_.size();
    ReadSome(50);
    return screen_.size() > before;
  }

  // The launcher's state letter in /proc ('T' when stopped).
  char LauncherState() const {
    const std::string stat = ReadFile("/proc/" + std::to_string(launcher_) + "/stat");
    const std::string::size_type close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
  }

  bool ModeRestored() const { return SttyG(slave_path_) == before_; }
  std::string before() const { return before_; }
  std::string now() const { return SttyG(slave_path_); }

  std::string screen_;
  pid_t launcher_ = 0;

 private:
  int master_ = -1;
  pid_t shell_ = 0;
  std::string slave_path_;
  std::string before_;
};

class TerminalRun : public LauncherTest {
 protected:
  std::string Configure(const std::string& launcher_args, const std::string& cmd = "") {
    const std::string exe = Install();
    WriteIni(std::string(kSection) + "launchercmd=" + (cmd.empty() ? Child() : cmd) +
             "\nlauncherargs=" + launcher_args + "\nterminal=auto\n");
    return exe;
  }
};

TEST_F(TerminalRun, ChildSeesTerminalsWithTheWindowSizeAndAResizeArrives) {
  PtySession session;
  session.Start(Configure("--tc-quiet --tc-terminal --tc-resize=8000"));
  ASSERT_TRUE(session.ReadUntil("RESIZE-WAIT")) << session.screen_;
  session.Resize(50, 120);
  EXPECT_EQ(session.Wait(), 0);
  EXPECT_NE(session.screen_.find("TTY=111 SIZE=100x40\r\n"), std::string::npos) << session.screen_;
  EXPECT_NE(session.screen_.find("RESIZED=120x50\r\n"), std::string::npos) << session.screen_;
  EXPECT_NE(LogContent().find("TTY=111 SIZE=100x40\r\n"), std::string::npos) << LogContent();
  EXPECT_EQ(session.now(), session.before());
}

TEST_F(TerminalRun, ColoursReachTheScreenButNotTheLog) {
  PtySession session;
  const std::string colour = std::string(kEsc) + "[1;31m";
  const std::string title = std::string(kEsc) + "]0;the title\x07";
  session.Start(Configure("--tc-quiet \"--tc-raw=" + title + colour + "RED" + kEsc +
                          "[0m\" --tc-out=plain"));
  EXPECT_EQ(session.Wait(), 0);
  EXPECT_NE(session.screen_.find(colour + "RED"), std::string::npos) << session.screen_;
  // The launcher's own line of the arguments holds them as written.
  const std::string full = LogContent();
  const std::string log = full.substr(full.find("ExeandTerminal"));
  EXPECT_NE(log.find("\nREDplain\r\n"), std::string::npos) << full;
  EXPECT_EQ(log.find(kEsc), std::string::npos) << log;
  EXPECT_EQ(log.find("the title"), std::string::npos) << log;
  EXPECT_EQ(session.now(), session.before());
}

// logoutput and logmax decide what the log keeps of a terminal run too;
// the screen always gets everything.
TEST_F(TerminalRun, LogOutputAndLogMaxHoldForTheTerminal) {
  struct Case {
    const char* key;
    bool output_logged;
    bool left_out_line;
  };
  for (const Case& c : {Case{"logoutput=none", false, false}, Case{"logmax=4K", false, true},
                        Case{"logmax=1M", true, false}}) {
    SCOPED_TRACE(c.key);
    const std::string exe = Install();
    WriteIni(std::string(kSection) + "launchercmd=" + Child() +
             "\nlauncherargs=--tc-quiet --tc-bytes=20000 --tc-out=LAST-LINE\nterminal=auto\n" +
             c.key + "\n");
    PtySession session;
    session.Start(exe);
    EXPECT_EQ(session.Wait(), 0);
    EXPECT_NE(session.screen_.find("LAST-LINE"), std::string::npos);
    const std::string log = LogContent();
    ASSERT_NE(log.find("ExeandTerminal"), std::string::npos) << log;
    // The launcher's own line of the arguments names the text as well.
    const std::string relayed = log.substr(log.find("ExeandTerminal"));
    EXPECT_EQ(relayed.find("LAST-LINE") != std::string::npos, c.output_logged) << log;
    EXPECT_EQ(log.find("were left out of the log") != std::string::npos, c.left_out_line) << log;
    EXPECT_LT(log.size(), c.output_logged ? 30000u : 6000u);
    EXPECT_EQ(session.now(), session.before());
    RemoveLogs();
  }
}

// Ctrl-C and Ctrl-\ typed reach the child through its terminal; SIGTERM and
// SIGHUP sent to the launcher are passed on. Each ends the run with 128 + N.
TEST_F(TerminalRun, InterruptsTypedAndRequestsSentEndTheChild) {
  struct Case {
    const char* keys;
    int signal_number;
  };
  for (const Case& c : {Case{"\x03", SIGINT}, Case{"\x1c", SIGQUIT}, Case{nullptr, SIGTERM},
                        Case{nullptr, SIGHUP}}) {
    SCOPED_TRACE(c.signal_number);
    PtySession session;
    session.Start(Configure("--tc-quiet --tc-out=READY --tc-sleep=20000"));
    ASSERT_TRUE(session.ReadUntil("READY")) << session.screen_;
    if (c.keys != nullptr) {
      session.Type(c.keys);
    } else {
      ::kill(session.launcher_, c.signal_number);
    }
    EXPECT_EQ(session.Wait(), 128 + c.signal_number);
    EXPECT_NE(LogContent().find("INFO: Launcher::main=" + std::to_string(128 + c.signal_number)),
              std::string::npos)
        << LogContent();
    EXPECT_EQ(session.now(), session.before());
    RemoveLogs();
  }
}

// Ctrl-Z typed, or SIGTSTP sent to the launcher (kill -TSTP): the run
// stops with the terminal back in its mode, and kill -CONT continues it.
TEST_F(TerminalRun, CtrlZStopsTheRunWithTheTerminalBackAndContinueGoesOn) {
  for (const bool typed : {true, false}) {
    SCOPED_TRACE(typed ? "Ctrl-Z" : "SIGTSTP");
    PtySession session;
    session.Start(
        Configure("--tc-quiet --tc-out=READY --tc-sleep=1500 --tc-out=AFTER --tc-exit=5"));
    ASSERT_TRUE(session.ReadUntil("READY")) << session.screen_;
    EXPECT_NE(session.now(), session.before()) << "the launcher did not set raw mode";
    if (typed) {
      session.Type("\x1a");
    } else {
      ::kill(session.launcher_, SIGTSTP);
    }
    char state = '?';
    for (int i = 0; i < 200 && (state = session.LauncherState()) != 'T'; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_EQ(state, 'T') << "the launcher did not stop: " << session.screen_;
    EXPECT_EQ(session.now(), session.before());
    ::kill(session.launcher_, SIGCONT);
    EXPECT_EQ(session.Wait(), 5);
    EXPECT_NE(session.screen_.find("AFTER"), std::string::npos) << session.screen_;
    EXPECT_EQ(session.now(), session.before());
    RemoveLogs();
  }
}

// Started in the background, the launcher leaves the terminal's mode alone
// and is never stopped for touching it; the child's output still shows.
TEST_F(TerminalRun, BackgroundRunLeavesTheTerminalAlone) {
  PtySession session;
  session.Start(Configure("--tc-quiet --tc-terminal --tc-sleep=500 --tc-out=DONE --tc-exit=4"), "",
                true);
  ASSERT_TRUE(session.ReadUntil("TTY=111")) << session.screen_;
  EXPECT_EQ(session.now(), session.before());
  EXPECT_EQ(session.Wait(), 4) << "stopped or not ended: state " << session.LauncherState();
  EXPECT_NE(session.screen_.find("DONE"), std::string::npos) << session.screen_;
  EXPECT_EQ(session.now(), session.before());
}

// A process the child leaves behind on its terminal does not hold the run:
// the launcher ends with the child, its output complete.
TEST_F(TerminalRun, GrandchildHoldingTheTerminalDoesNotHoldTheRun) {
  PtySession session;
  // The process left behind ignores the hang-up its terminal gets when
  // the child, its session's leader, ends.
  session.Start(Configure("-c \"trap '' HUP; sleep 8 & i=0; while [ $i -lt 200 ]; do "
                          "echo line $i; i=$((i+1)); done; echo DONE; exit 2\"",
                          "/bin/sh"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session.Wait(), 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
  EXPECT_NE(session.screen_.find("DONE"), std::string::npos) << session.screen_;
  EXPECT_NE(LogContent().find("DONE\r\n"), std::string::npos) << LogContent();
  EXPECT_EQ(session.now(), session.before());
}

// With standard output redirected the run is the pipe relay of every day.
TEST_F(TerminalRun, RedirectedOutputKeepsThePipeRelay) {
  PtySession session;
  const std::string out = dir_ / "out.txt";
  session.Start(Configure("--tc-quiet --tc-terminal --tc-exit=3"), out);
  EXPECT_EQ(session.Wait(), 3);
  EXPECT_EQ(ReadFile(out), "TTY=000 SIZE=\n");
  const std::string log = LogContent();
  EXPECT_EQ(log.find("ExeandTerminal"), std::string::npos) << log;
  EXPECT_NE(log.find("ExeProc::ReadFromPipe"), std::string::npos) << log;
  EXPECT_EQ(session.now(), session.before());
}

// A user's terminal that stops reading: the child fills its own terminal
// and waits; SIGTERM still ends it and the launcher, with the terminal's
// mode restored.
TEST_F(TerminalRun, UnreadTerminalStillLetsATerminationRequestIn) {
  PtySession session;
  session.Start(Configure("--tc-quiet --tc-bytes=2000000 --tc-out=END"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(session.launcher_, SIGTERM);
  EXPECT_EQ(session.Wait(false), 128 + SIGTERM) << "the launcher did not end after SIGTERM";
  const std::vector<std::string> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "INFO: Launcher::main=" + std::to_string(128 + SIGTERM));
  EXPECT_EQ(session.now(), session.before());
}

// Java finds its console on the child's terminal, and a password typed at
// Console.readPassword reaches the program but neither the screen nor the
// log.
TEST_F(TerminalRun, JavaFindsItsConsoleAndReadsAPasswordUnseen) {
  const std::string classes = dir_ / "classes";
  const std::string source = std::string(KB_TEST_SOURCE_DIR) + "/e2e/java/console/ConsoleProbe.java";
  bool any = false;
  for (const char* home :
       {"/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/temurin-25-jdk-amd64"}) {
    SCOPED_TRACE(home);
    const std::string java = std::string(home) + "/bin/java";
    if (::access(java.c_str(), X_OK) != 0) {
      std::printf("[  SKIPPED ] no runtime at %s\n", home);
      continue;
    }
    if (!any) {
      const RunResult javac =
          kbtest::Run("/usr/lib/jvm/java-17-openjdk-amd64/bin/javac --release 17 -d " +
              kb::QuoteArgument(classes) + " " + kb::QuoteArgument(source));
      ASSERT_EQ(javac.exit_code, 0) << javac.output;
      any = true;
    }
    PtySession session;
    session.Start(Configure("-cp " + classes + " ConsoleProbe password", java));
    ASSERT_TRUE(session.ReadUntil("Password: ")) << session.screen_;
    const std::size_t prompt_end = session.screen_.size();
    session.Type("s3cr3tw0rd\r");
    EXPECT_EQ(session.Wait(), 0);
    EXPECT_NE(session.screen_.find("CONSOLE=present"), std::string::npos) << session.screen_;
    // The characters of 's3cr3tw0rd' add up to 927.
    EXPECT_NE(session.screen_.find("LENGTH=10 SUM=927"), std::string::npos) << session.screen_;
    EXPECT_EQ(session.screen_.find("s3cr3t", prompt_end), std::string::npos) << session.screen_;
    const std::string log = LogContent();
    EXPECT_NE(log.find("Password: "), std::string::npos) << log;
    EXPECT_EQ(log.find("s3cr3t"), std::string::npos) << log;
    EXPECT_EQ(session.now(), session.before());
    RemoveLogs();
  }
  if (!any) GTEST_SKIP() << "no Java 17 or 25 runtime";
}

}  // namespace
}  // namespace kbtest
