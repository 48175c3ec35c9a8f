// Child processes, the output pipe and the worker thread of the Windows
// layer. The child is this test program itself, started with
// --kb-win32-child: it then carries out its actions and ends before any
// test runs, so the tests need nothing but their own executable.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <tlhelp32.h>

#include "platform/child.h"
#include "platform/environment.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/running_program.h"
#include "platform/worker.h"

namespace {

constexpr char kChildFlag[] = "--kb-win32-child";
constexpr int kErrorBrokenPipe = 109;

// Bytes the child writes for "out:N": every byte value, zero included.
char PatternByte(std::size_t i) { return static_cast<char>(i % 251); }

// Actions: out:N (N pattern bytes on stdout), err:TEXT (TEXT on stderr),
// env:NAME (the variable's value and "|" on stdout), exit:N (std::exit),
// now:N (platform::ExitProcessNow), put:H ("leaked" into handle value H
// when it names a pipe in the child), job: ("job:yes|" when the child is in
// a job object, else "job:no|").
int RunAsChildIfAsked() {
  if (__argc < 2 || std::strcmp(__argv[1], kChildFlag) != 0) return 0;
  // Binary mode: the tests check the bytes as the pipe carries them.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  for (int i = 2; i < __argc; ++i) {
    const std::string action = __argv[i];
    const std::string value = action.substr(action.find(':') + 1);
    if (action.rfind("out:", 0) == 0) {
      const std::size_t count = std::strtoul(value.c_str(), nullptr, 10);
      for (std::size_t n = 0; n < count; ++n) std::fputc(PatternByte(n), stdout);
    } else if (action.rfind("err:", 0) == 0) {
      std::fputs(value.c_str(), stderr);
    } else if (action.rfind("env:", 0) == 0) {
      const char* found = std::getenv(value.c_str());
      std::printf("%s|", found ? found : "(unset)");
    } else if (action.rfind("put:", 0) == 0) {
      HANDLE handle = reinterpret_cast<HANDLE>(std::strtoll(value.c_str(), nullptr, 10));
      DWORD written = 0;
      if (::GetFileType(handle) == FILE_TYPE_PIPE) {
        (void)::WriteFile(handle, "leaked", 6, &written, nullptr);
      }
    } else if (action == "job:") {
      BOOL in_job = FALSE;
      (void)::IsProcessInJob(::GetCurrentProcess(), nullptr, &in_job);
      std::printf("job:%s|", in_job ? "yes" : "no");
    } else if (action.rfind("exit:", 0) == 0) {
      std::fflush(nullptr);
      std::exit(static_cast<int>(std::strtol(value.c_str(), nullptr, 10)));
    } else if (action.rfind("now:", 0) == 0) {
      std::fflush(nullptr);
      platform::ExitProcessNow(static_cast<int>(std::strtol(value.c_str(), nullptr, 10)));
    }
  }
  std::fflush(nullptr);
  std::exit(0);
}
const int kChildModeChecked = RunAsChildIfAsked();

std::string ChildCommand(const std::string& actions) {
  std::string self;
  EXPECT_EQ(platform::ExecutablePath(&self), 0);
  return "\"" + self + "\" " + kChildFlag + " " + actions;
}

struct Captured {
  int start_error = -1;
  std::string output;
  std::size_t last_read = 0;
  int read_error = 0;
  std::int32_t exit_code = 0;
};

// The runner's sequence: inheritable pipe, read end kept back, child with
// the write end as its standard output and error, own write end closed,
// read to the end, wait, exit code.
Captured RunCaptured(const std::string& actions) {
  Captured result;
  platform::Pipe pipe;
  EXPECT_EQ(platform::CreateChildPipe(&pipe), 0);
  EXPECT_EQ(platform::MakeNotInheritable(pipe.read), 0);
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  platform::Child child;
  result.start_error = platform::StartChild(ChildCommand(actions), options, &child);
  if (result.start_error != 0) return result;
  EXPECT_TRUE(child.started());
  EXPECT_EQ(pipe.write.Close(), 0);
  char buffer[260];
  for (;;) {
    result.read_error = platform::ReadSome(pipe.read, buffer, sizeof buffer, &result.last_read);
    if (result.read_error != 0 || result.last_read == 0) break;
    result.output.append(buffer, result.last_read);
  }
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(child.ExitCode(&result.exit_code), 0);
  return result;
}

TEST(ProcessWin32, ChildOutputArrivesWholeThroughThePipe) {
  // Far more than the pipe holds: the reads must drain it while the child
  // still writes, in chunks of at most the buffer size.
  const Captured run = RunCaptured("out:100000 err:tail-on-stderr exit:3");
  ASSERT_EQ(run.start_error, 0);
  ASSERT_EQ(run.output.size(), 100000u + 14u);
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < 100000; ++i) {
    if (run.output[i] != PatternByte(i)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(run.output.substr(100000), "tail-on-stderr");
  // The end of the data is a failed read with a broken pipe, once the child
  // has ended and no copy of the write end is left.
  EXPECT_EQ(run.last_read, 0u);
  EXPECT_EQ(run.read_error, kErrorBrokenPipe);
  EXPECT_EQ(run.exit_code, 3);
}

TEST(ProcessWin32, ExitStatusIsSigned32Bit) {
  struct Case {
    const char* action;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"exit:0", 0},           {"exit:255", 255},
      {"exit:256", 256},       {"exit:70000", 70000},
      {"exit:-1", -1},         {"exit:-100", -100},
      {"exit:-2147483648", INT_MIN},
      {"now:-1", -1},          {"now:183", 183},
  };
  for (const Case& c : cases) {
    const Captured run = RunCaptured(c.action);
    ASSERT_EQ(run.start_error, 0) << c.action;
    EXPECT_EQ(run.exit_code, c.expected) << c.action;
    EXPECT_EQ(run.output, "") << c.action;
  }
}

TEST(ProcessWin32, ChildSeesVariablesSetThroughTheLayer) {
  const std::string name = "KB_WIN32_CHILD_VAR";
  ASSERT_EQ(platform::SetEnvVar(name, "from parent"), 0);
  EXPECT_EQ(RunCaptured("env:" + name).output, "from parent|");
  ASSERT_EQ(platform::UnsetEnvVar(name), 0);
  EXPECT_EQ(RunCaptured("env:" + name).output, "(unset)|");
  // An empty value: the launcher reads it as unset, and so must the child.
  ASSERT_EQ(platform::SetEnvVar(name, "again"), 0);
  ASSERT_EQ(platform::SetEnvVar(name, ""), 0);
  EXPECT_EQ(platform::GetEnvVar(name.c_str()), "");
  EXPECT_EQ(RunCaptured("env:" + name).output, "(unset)|");
}

TEST(ProcessWin32, ChildInheritsNoHandleBeyondItsStandardHandles) {
  // Another inheritable handle of the launcher, such as a second pipe: the
  // child must not hold its write end, or a reader of that pipe would wait
  // for the child's end too.
  platform::Pipe unrelated;
  ASSERT_EQ(platform::CreateChildPipe(&unrelated), 0);
  const Captured run = RunCaptured("put:" + std::to_string(unrelated.write.get()));
  ASSERT_EQ(run.start_error, 0);
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(unrelated.write.Close(), 0);
  char buffer[16];
  std::size_t got = 0;
  EXPECT_EQ(platform::ReadSome(unrelated.read, buffer, sizeof buffer, &got), kErrorBrokenPipe);
  EXPECT_EQ(std::string(buffer, got), "");
}

// The suspend counts of the threads of this process's child (the test
// program started again), as SuspendThread reports them: the count before
// its own call, which is then undone.
std::vector<DWORD> ChildSuspendCounts() {
  std::vector<DWORD> counts;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return counts;
  DWORD child = 0;
  PROCESSENTRY32W process;
  process.dwSize = sizeof process;
  for (BOOL more = ::Process32FirstW(snapshot, &process); more && child == 0;
       more = ::Process32NextW(snapshot, &process)) {
    if (process.th32ParentProcessID == ::GetCurrentProcessId()) child = process.th32ProcessID;
  }
  THREADENTRY32 thread;
  thread.dwSize = sizeof thread;
  for (BOOL more = ::Thread32First(snapshot, &thread); more && child != 0;
       more = ::Thread32Next(snapshot, &thread)) {
    if (thread.th32OwnerProcessID != child) continue;
    HANDLE handle = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread.th32ThreadID);
    if (handle == nullptr) continue;
    counts.push_back(::SuspendThread(handle));
    ::ResumeThread(handle);
    ::CloseHandle(handle);
  }
  ::CloseHandle(snapshot);
  return counts;
}

// A child that a job is to hold is started suspended: it runs nothing before
// it is held, so no launcher ended in between leaves it running unheld.
TEST(ProcessWin32, SuspendedChildRunsOnlyOnceHeldAndResumed) {
  platform::Pipe pipe;
  ASSERT_EQ(platform::CreateChildPipe(&pipe), 0);
  ASSERT_EQ(platform::MakeNotInheritable(pipe.read), 0);
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  options.suspended = true;
  platform::Child child;
  ASSERT_EQ(platform::StartChild(ChildCommand("job: exit:7"), options, &child), 0);
  ASSERT_EQ(pipe.write.Close(), 0);
  EXPECT_EQ(ChildSuspendCounts(), std::vector<DWORD>{1});
  platform::ChildJob job;
  EXPECT_EQ(job.Hold(child), 0);
  EXPECT_EQ(child.Resume(), 0);
  std::string output;
  char buffer[64];
  std::size_t got = 0;
  while (platform::ReadSome(pipe.read, buffer, sizeof buffer, &got) == 0 && got > 0) {
    output.append(buffer, got);
  }
  EXPECT_EQ(output, "job:yes|");
  ASSERT_EQ(child.Wait(), 0);
  std::int32_t code = 0;
  EXPECT_EQ(child.ExitCode(&code), 0);
  EXPECT_EQ(code, 7);
  EXPECT_EQ(job.Release(), 0);
}

TEST(ProcessWin32, WaitWithoutStartFailsInsteadOfBlocking) {
  platform::Child child;
  EXPECT_NE(child.Wait(), 0);
  std::int32_t code = 0;
  EXPECT_NE(child.ExitCode(&code), 0);
}

TEST(ProcessWin32, StandardOutputOfTheTestsIsAHandle) {
  platform::Handle out;
  int error = -1;
  ASSERT_EQ(platform::GetStdOutput(&out, &error), platform::StdOutState::kValid);
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(out.valid());
  // The handle is the process's own standard output: keep it open.
  out.Release();
}

int StoreAndAnswer(void* argument) {
  *static_cast<int*>(argument) = 42;
  return 7;
}

TEST(ProcessWin32, WorkerRunsItsFunctionAndJoinsOnce) {
  int value = 0;
  platform::Worker worker;
  ASSERT_EQ(platform::Worker::Start(StoreAndAnswer, &value, &worker), 0);
  ASSERT_TRUE(worker.started());
  platform::Worker moved = std::move(worker);
  EXPECT_FALSE(worker.started());
  ASSERT_EQ(moved.Join(), 0);
  EXPECT_EQ(value, 42);
  EXPECT_FALSE(moved.started());
  EXPECT_NE(moved.Join(), 0) << "a joined worker has no thread left";
}

}  // namespace
