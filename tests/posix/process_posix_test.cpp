#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "log/log.h"
#include "platform/child.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/running_program.h"
#include "platform/signal_scope.h"
#include "platform/worker.h"
#include "process/exe_proc.h"
#include "support/test_support.h"

namespace {

using kbtest::ChildLine;

// The "Name:\tvalue" line of a /proc status text.
std::string StatusField(const std::string& status, const std::string& name) {
  for (const std::string& line : kbtest::Lines(status)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) return line.substr(name.size() + 2);
  }
  return "<none>";
}

// The bits of a /proc status signal set ("SigIgn", "SigBlk"), without the
// two that the C library's threads take over in every program (32, 33).
unsigned long long SignalBits(const std::string& status, const std::string& name) {
  return std::stoull(StatusField(status, name), nullptr, 16) & ~0x180000000ull;
}
unsigned long long Bit(int signal_number) { return 1ull << (signal_number - 1); }

// What the launcher inherited reaches its child unchanged, also while a
// scope holds the forwarded signals back and after the launcher has
// ignored SIGPIPE for itself. A request inherited as ignored stops no start.
TEST(ProcessPosixTest, ChildStartsWithTheInheritedMaskAndDispositions) {
  platform::PrepareProcess();
  struct Case {
    int ignored;  // inherited as ignored, 0 for none
    int blocked;  // inherited as blocked, 0 for none
  };
  for (const Case& c :
       {Case{0, 0}, Case{SIGHUP, SIGUSR1}, Case{SIGINT, 0}, Case{SIGQUIT, SIGTERM}}) {
    SCOPED_TRACE(std::to_string(c.ignored) + "/" + std::to_string(c.blocked));
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction old_action;
    if (c.ignored != 0) sigaction(c.ignored, &ignore, &old_action);
    sigset_t block;
    sigset_t old_mask;
    sigemptyset(&block);
    if (c.blocked != 0) sigaddset(&block, c.blocked);
    pthread_sigmask(SIG_BLOCK, &block, &old_mask);
    kbtest::RunResult run;
    {
      platform::ChildSignalScope scope;
      // Held back as pending, yet no request to end: a child is started.
      if (c.ignored != 0) ASSERT_EQ(::raise(c.ignored), 0);
      EXPECT_EQ(platform::HeldRequestExitCode(), 0);
      run = kbtest::Run("cat /proc/self/status");
    }
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    if (c.ignored != 0) sigaction(c.ignored, &old_action, nullptr);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(SignalBits(run.output, "SigIgn"), c.ignored != 0 ? Bit(c.ignored) : 0u)
        << StatusField(run.output, "SigIgn");
    EXPECT_EQ(SignalBits(run.output, "SigBlk"), c.blocked != 0 ? Bit(c.blocked) : 0u)
        << StatusField(run.output, "SigBlk");
  }
}

TEST(ProcessPosixTest, NoDescriptorLeaksIntoTheChild) {
  const int plain = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(plain, 3);
  platform::Pipe extra;
  ASSERT_EQ(platform::CreateChildPipe(&extra), 0);
  const kbtest::RunResult run = kbtest::Run("ls /proc/self/fd");
  ::close(plain);
  // 0, 1, 2 and the folder that ls itself reads.
  EXPECT_EQ(kbtest::Lines(run.output), (std::vector<std::string>{"0", "1", "2", "3"}));
}

// A missing program is error 2 on both builds (see exe_proc_test); here
// what only this layer answers.
TEST(ProcessPosixTest, PathLookupAndStartFailures) {
  kbtest::ScratchDir scratch;
  kbtest::WriteFile(scratch / "not_executable", "data");
  platform::Child child;
  platform::StartOptions options;
  EXPECT_EQ(platform::StartChild("", options, &child), 2);
  EXPECT_EQ(platform::StartChild("   ", options, &child), 2);
  EXPECT_EQ(platform::StartChild(scratch / "not_executable", options, &child), EACCES);
  EXPECT_FALSE(child.started());
  kbtest::ScopedEnv path("PATH", kbtest::ExeDir());
  EXPECT_EQ(platform::StartChild("test_child --tc-quiet", options, &child), 0);
  EXPECT_EQ(child.Wait(), 0);
}

TEST(ProcessPosixTest, NewSessionOnlyWhenAsked) {
  for (const bool new_session : {false, true}) {
    platform::Pipe pipe;
    ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
    platform::StartOptions options;
    options.std_output = &pipe.write;
    options.new_session = new_session;
    platform::Child child;
    ASSERT_EQ(platform::StartChild("cat /proc/self/stat", options, &child), 0);
    EXPECT_EQ(pipe.write.Close(), 0);
    std::string stat;
    char buffer[4096];
    std::size_t n = 0;
    while (platform::ReadSome(pipe.read, buffer, sizeof buffer, &n) == 0 && n > 0)
      stat.append(buffer, n);
    ASSERT_EQ(child.Wait(), 0);
    // pid (comm) state ppid pgrp session ...
    const std::string pid = stat.substr(0, stat.find(' '));
    const std::string rest = stat.substr(stat.rfind(')') + 2);
    char state = 0;
    long ppid = 0, pgrp = 0, session = 0;
    ASSERT_EQ(std::sscanf(rest.c_str(), "%c %ld %ld %ld", &state, &ppid, &pgrp, &session), 4);
    EXPECT_EQ(std::to_string(session) == pid, new_session) << stat;
  }
}

// Runs `body` in a forked process that leads a process group of its own
// and answers how it ended: its exit code, or 128 + N for signal N. What it
// started is killed with it: a failure never leaves a child holding the
// test's output.
int InOwnProcessGroup(int (*body)()) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::_exit(body());
  }
  ::setpgid(pid, pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::kill(-pid, SIGKILL);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The body of the test below: 0, or which step went wrong.
int RaiseDuringTheStart() {
  platform::ChildSignalScope scope;
  platform::Child child;
  platform::StartOptions options;
  options.inherit_handles = true;
  if (platform::StartChild(ChildLine("--tc-quiet --tc-sleep=20000"), options, &child) != 0) {
    return 10;
  }
  ::raise(SIGINT);  // would end the process without the scope
  ::raise(SIGTERM);
  scope.Watch(child);
  ::raise(SIGPIPE);
  if (child.Wait() != 0) return 11;
  std::int32_t code = 0;
  if (child.ExitCode(&code) != 0 || code != 128 + SIGTERM) return 12;
  return scope.StopExitCode() == 0 ? 0 : 13;
}

// A request that arrives while the child is being started waits for the
// handlers and then reaches the child; interrupts the terminal gave the
// child already are not passed on, and the launcher survives all of them.
TEST(ProcessPosixTest, RequestDuringTheStartIsHeldThenPassedOn) {
  const int ended = InOwnProcessGroup(RaiseDuringTheStart);
  EXPECT_NE(ended, 128 + SIGINT) << "SIGINT during the start ended the launcher";
  EXPECT_NE(ended, 128 + SIGTERM) << "SIGTERM during the start ended the launcher";
  EXPECT_EQ(ended, 0) << "10: no start, 11: no wait, 12: the child did not get SIGTERM, "
                         "13: taken as a request to stop";
}

int RefuseTee(platform::IoCall call, std::size_t) {
  return call == platform::IoCall::kTee ? EINVAL : 0;
}

// Once the child has been reaped its id may belong to anyone: a request
// then is never passed on but ends the relay, which stops waiting for a
// process the child left holding the pipe, and drops the echo. Both ways
// of echoing: tee(2), and read then write.
TEST(ProcessPosixTest, RequestAfterTheChildEndedStopsTheRelay) {
  for (const bool tee_refused : {false, true}) {
    for (const int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
      SCOPED_TRACE(std::to_string(sig) + (tee_refused ? " tee refused" : ""));
      platform::SetIoFaultHookForTesting(tee_refused ? RefuseTee : nullptr);
      platform::Pipe pipe;
      platform::Pipe echo;
      ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
      ASSERT_EQ(platform::CreateChildPipe(&echo), 0);
      platform::StartOptions options;
      options.inherit_handles = true;
      options.std_output = &pipe.write;
      std::string read;
      std::size_t n = 0;
      int error = 0;
      {
        platform::ChildSignalScope scope;
        platform::Child child;
        ASSERT_EQ(platform::StartChild(ChildLine("--tc-quiet --tc-grandchild=20000 --tc-out=up"),
                                       options, &child),
                  0);
        scope.Watch(child);
        EXPECT_EQ(pipe.write.Close(), 0);
        ASSERT_EQ(child.Wait(), 0);
        ASSERT_EQ(::raise(sig), 0);
        EXPECT_EQ(scope.StopExitCode(), 128 + sig);
        {
          platform::EchoingReader reader(pipe.read, &echo.write, &scope);
          char buffer[64];
          while ((error = reader.Next(buffer, sizeof buffer, &n)) == 0 && n > 0) {
            read.append(buffer, n);
          }
          EXPECT_FALSE(reader.echoing());
        }
        // The reader shut the requests out only while it lived: the wait
        // for the child that follows a relay must still pass them on.
        sigset_t mask;
        ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
        EXPECT_FALSE(sigismember(&mask, sig));
      }
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(error, EAGAIN);
      // What was in the pipe already is still read, for the log alone.
      EXPECT_EQ(read, "up\n");
      EXPECT_EQ(echo.write.Close(), 0);
      char buffer[16];
      EXPECT_EQ(platform::ReadSome(echo.read, buffer, sizeof buffer, &n), 0);
      EXPECT_EQ(n, 0u);
      struct sigaction now;
      sigaction(sig, nullptr, &now);
      EXPECT_EQ(now.sa_handler, SIG_DFL);
    }
  }
  platform::SetIoFaultHookForTesting(nullptr);
}

// The relay shuts the requests out except while it waits, and a relay
// that always finds output waiting never waits: a request must still reach
// the child at the relay's next chunk, not once the output pauses.
TEST(ProcessPosixTest, RequestWhileOutputWaitsIsPassedOnAtOnce) {
  const int size = 200000;
  platform::Pipe pipe;
  ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
  ASSERT_GE(::fcntl(static_cast<int>(pipe.read.get()), F_SETPIPE_SZ, 2 * size), 2 * size);
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  platform::ChildSignalScope scope;
  platform::Child child;
  ASSERT_EQ(platform::StartChild(
                ChildLine("--tc-quiet --tc-bytes=" + std::to_string(size) + " --tc-sleep=20000"),
                options, &child),
            0);
  scope.Watch(child);
  EXPECT_EQ(pipe.write.Close(), 0);
  int waiting = 0;
  while (::ioctl(static_cast<int>(pipe.read.get()), FIONREAD, &waiting) == 0 && waiting < size) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(waiting, size);
  {
    platform::EchoingReader reader(pipe.read, nullptr, &scope);
    char buffer[16];
    std::size_t n = 0;
    ASSERT_EQ(reader.Next(buffer, sizeof buffer, &n), 0);
    ASSERT_EQ(n, 16u);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(reader.Next(buffer, sizeof buffer, &n), 0);
    ASSERT_EQ(n, 16u);
    // Without the request passed on, this waits for the child's sleep.
    ASSERT_EQ(child.Wait(), 0);
  }
  std::int32_t code = 0;
  ASSERT_EQ(child.ExitCode(&code), 0);
  EXPECT_EQ(code, 128 + SIGTERM);
  EXPECT_EQ(scope.StopExitCode(), 0);
}

// Once the scope has ended, a request must not end the launcher before its
// last log line: it waits for the hold, which names it. One the scope took
// as a request to stop already decided the result and is not counted again.
// One held during a start that fails waits for the hold likewise.
TEST(ProcessPosixTest, RequestAfterTheScopeWaitsForTheHold) {
  struct Case {
    int during_start;  // raised before a start that fails, 0 for a started child
    int during_scope;  // raised once the child has ended, 0 for none
    int after_scope;   // raised once the scope has ended, 0 for none
    int taken;         // what the hold answers
  };
  for (const Case& c : {Case{0, 0, SIGTERM, 128 + SIGTERM}, Case{0, 0, SIGQUIT, 128 + SIGQUIT},
                        Case{0, SIGINT, SIGTERM, 0}, Case{0, 0, 0, 0},
                        Case{SIGTERM, 0, 0, 128 + SIGTERM}}) {
    SCOPED_TRACE(std::to_string(c.during_start) + "/" + std::to_string(c.during_scope) + "/" +
                 std::to_string(c.after_scope));
    {
      platform::LateRequestHold hold;
      {
        platform::ChildSignalScope scope;
        platform::Child child;
        if (c.during_start != 0) {
          ASSERT_EQ(::raise(c.during_start), 0);
          EXPECT_EQ(platform::HeldRequestExitCode(), 128 + c.during_start);
          ASSERT_EQ(platform::StartChild("kb-no-such-program", platform::StartOptions(), &child),
                    2);
        } else {
          EXPECT_EQ(platform::HeldRequestExitCode(), 0);
          ASSERT_EQ(platform::StartChild(kbtest::ChildLine("--tc-quiet"),
                                         platform::StartOptions(), &child),
                    0);
          scope.Watch(child);
          ASSERT_EQ(child.Wait(), 0);
        }
        if (c.during_scope != 0) ASSERT_EQ(::raise(c.during_scope), 0);
      }
      // Without the hold this would end the test program.
      if (c.after_scope != 0) ASSERT_EQ(::raise(c.after_scope), 0);
      EXPECT_EQ(hold.TakeExitCode(), c.taken);
      EXPECT_EQ(hold.TakeExitCode(), 0);
    }
    sigset_t mask;
    ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
    EXPECT_FALSE(sigismember(&mask, SIGTERM));
    EXPECT_FALSE(sigismember(&mask, SIGQUIT));
  }
}

TEST(ProcessPosixTest, FailedWaitIsAnErrorNotSuccess) {
  kbtest::ScratchDir scratch;
  // With SIGCHLD ignored the kernel reaps the child itself and waitpid
  // fails with ECHILD.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_child;
  sigaction(SIGCHLD, &ignore, &old_child);
  kb::LogFilePath() = scratch / "run.log";
  const int display = kb::ExeandDisplay(100, false, ChildLine("--tc-quiet --tc-exit=3"));
  const int wait = kb::ExeandWait(ChildLine("--tc-quiet --tc-exit=3"));
  kb::LogFilePath().clear();
  sigaction(SIGCHLD, &old_child, nullptr);
  EXPECT_EQ(display, -1);
  EXPECT_EQ(wait, -1);
  const std::string log = kbtest::ReadFile(scratch / "run.log");
  EXPECT_NE(log.find("ERROR: ExeProc::ExeandDisplay::WaitForSingleObject=" +
                     std::to_string(ECHILD) + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("ERROR: ExeProc::ExeandWait::WaitForSingleObject::cmd="), std::string::npos);
  EXPECT_EQ(log.find("GetExitCodeProcess"), std::string::npos);
}

TEST(ProcessPosixTest, WorkerRunsAndJoins) {
  int value = 0;
  platform::Worker worker;
  ASSERT_EQ(platform::Worker::Start(
                [](void* argument) { return *static_cast<int*>(argument) = 42; }, &value, &worker),
            0);
  ASSERT_TRUE(worker.started());
  EXPECT_EQ(worker.Join(), 0);
  EXPECT_EQ(value, 42);
  EXPECT_NE(worker.Join(), 0);
}

// The echo's system calls, counted and let through.
int g_tee_calls = 0;
int g_write_calls = 0;
int CountCalls(platform::IoCall call, std::size_t) {
  ++(call == platform::IoCall::kTee ? g_tee_calls : g_write_calls);
  return 0;
}

// A parent that made our standard output non-blocking and reads it late
// (Node.js and some IDEs do): the echo waits for room instead of ending at
// the first EAGAIN. Both ways of echoing: tee(2), and read then write.
TEST(ProcessPosixTest, NonBlockingEchoWaitsForALateReader) {
  const std::size_t size = 1000000;
  for (const bool tee_refused : {false, true}) {
    SCOPED_TRACE(tee_refused);
    g_tee_calls = g_write_calls = 0;
    platform::SetIoFaultHookForTesting(tee_refused ? RefuseTee : CountCalls);
    platform::Pipe source;
    platform::Pipe echo;
    ASSERT_EQ(platform::CreateChildPipe(&source), 0);
    ASSERT_EQ(platform::CreateChildPipe(&echo), 0);
    const int echo_fd = static_cast<int>(echo.write.get());
    ASSERT_EQ(::fcntl(echo_fd, F_SETFL, ::fcntl(echo_fd, F_GETFL) | O_NONBLOCK), 0);
    platform::StartOptions options;
    options.std_output = &source.write;
    platform::Child child;
    ASSERT_EQ(platform::StartChild(ChildLine("--tc-quiet --tc-bytes=" + std::to_string(size)),
                                   options, &child),
              0);
    EXPECT_EQ(source.write.Close(), 0);
    std::string echoed;
    std::thread late_reader([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      char buffer[65536];
      std::size_t n = 0;
      while (platform::ReadSome(echo.read, buffer, sizeof buffer, &n) == 0 && n > 0) {
        echoed.append(buffer, n);
      }
    });
    platform::EchoingReader reader(source.read, &echo.write);
    std::string relayed;
    std::vector<char> chunk(65536);
    std::size_t n = 0;
    while (reader.Next(chunk.data(), chunk.size(), &n) == 0 && n > 0) {
      relayed.append(chunk.data(), n);
    }
    EXPECT_TRUE(reader.echoing());
    EXPECT_EQ(echo.write.Close(), 0);
    late_reader.join();
    ASSERT_EQ(child.Wait(), 0);
    EXPECT_EQ(relayed.size(), size);
    EXPECT_EQ(echoed.size(), size);
    EXPECT_TRUE(echoed == relayed);
    if (!tee_refused) {
      // An echo into a pipe goes through tee(2) alone, never read and write.
      EXPECT_GT(g_tee_calls, 0);
      EXPECT_EQ(g_write_calls, 0);
    }
  }
  platform::SetIoFaultHookForTesting(nullptr);
}

}  // namespace
