// The one child process of a launch: how it is started, waited for and
// read back.
//
// Windows: CreateProcessW with a null application name, WaitForSingleObject,
// GetExitCodeProcess. POSIX: posix_spawn of the argument vector that
// SplitCommandLine makes of the command line (the program looked up in PATH
// when it holds no "/"), waitid and waitpid.
//
// Every operation answers 0 or the system error code; results travel in
// out-parameters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/handle.h"

namespace platform {

enum class ShowWindow { kHide, kShow };

struct StartOptions {
  // Windows bInheritHandles. With std_output set, the child inherits only
  // the standard handles named below (an explicit handle list), never other
  // inheritable handles of the launcher; without it, every inheritable
  // handle. POSIX: only the descriptors named below reach the child in any
  // case.
  bool inherit_handles = false;
  // When set: the child's standard output and standard error (and a null
  // standard input on Windows: STARTF_USESTDHANDLES). When null: the child
  // keeps the launcher's standard handles.
  const Handle* std_output = nullptr;
  // With std_output set: the child's standard input instead of none.
  // Windows: the child gets an inheritable duplicate; POSIX: it is put on
  // descriptor 0. The caller keeps its own handle.
  const Handle* std_input = nullptr;
  ShowWindow show = ShowWindow::kHide;
  // POSIX: start the child in a new session so that it outlives the
  // launcher and its terminal. Windows: no effect.
  bool new_session = false;
  // Windows: the child is created suspended and runs nothing until
  // Child::Resume, so that it can be placed in a ChildJob before its first
  // instruction. POSIX: no effect (there is no job to place it in).
  bool suspended = false;
  // A step that outlives the launcher and is no part of its console or
  // job: no standard handles at all (POSIX: /dev/null on 0 to 2, a new
  // session; Windows: DETACHED_PROCESS in a new process group, and
  // CREATE_BREAKAWAY_FROM_JOB when the launcher's own job allows it).
  bool detached = false;
  // POSIX: when set, the path of a terminal that becomes the child's
  // controlling terminal and its descriptors 0, 1 and 2, in a new session
  // (std_output and std_input are then not used). Windows: not used.
  std::string terminal;
};

// A started child. It owns what the platform keeps of the process (Windows:
// process and thread handles; POSIX: the process id and, once waited for,
// its status); a moved-from or closed Child is not started().
class Child {
 public:
  // Defined per platform.
  struct State;

  Child();
  explicit Child(std::unique_ptr<State> state);
  ~Child();
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;

  bool started() const { return state_ != nullptr; }
  // Waits without time limit for the child to end. POSIX: the child is
  // reaped only after a ChildSignalScope has stopped passing signals to its
  // id, so a signal never reaches another process that reuses the id.
  [[nodiscard]] int Wait();
  // Waits at most `milliseconds` for the child to end: *ended says whether
  // it did (then ExitCode answers as after Wait).
  [[nodiscard]] int WaitFor(unsigned milliseconds, bool* ended);
  // Ends the child at once (POSIX SIGKILL; Windows TerminateProcess) when
  // it has not ended yet; Wait then reaps it.
  [[nodiscard]] int Kill();
  // The exit status after Wait: Windows the 32-bit status as a signed
  // value; POSIX the exit code, or 128 + N for a child ended by signal N.
  [[nodiscard]] int ExitCode(std::int32_t* code) const;
  // Lets a child started with `suspended` run. Returns 0 or the system
  // error code; on failure the child, which could never run, is ended.
  // POSIX, and a child not started suspended: 0, nothing to do.
  [[nodiscard]] int Resume();
  // Releases the child without waiting (it runs on).
  void Close();
  // The platform's record of the child; null when none is started.
  const State* state() const { return state_.get(); }

 private:
  std::unique_ptr<State> state_;
};

// Starts the command line as a child process into *child. Returns 0, or the
// system error code when it cannot be started (2 for a program that does
// not exist, on both platforms; POSIX errno values otherwise). POSIX: the
// child starts with the signal mask and the dispositions the launcher
// inherited: a signal the launcher found ignored stays ignored, every other
// one is at its default, and signals a ChildSignalScope holds back are not
// blocked in the child.
[[nodiscard]] int StartChild(const std::string& command_line, const StartOptions& options,
               Child* child);

// Holds a started child so that it ends with the launcher, however the
// launcher ends. Windows: a job object that kills its processes when its
// last handle closes and lets the processes the child starts break away
// silently, so only the child itself is held. POSIX: no effect (a child
// is ended through the signals passed on to it, not through a job).
class ChildJob {
 public:
  ChildJob() = default;
  ChildJob(ChildJob&&) noexcept = default;
  ChildJob& operator=(ChildJob&&) noexcept = default;

  // Places the child in a new job. Returns 0 or the system error code; on
  // failure nothing is held and the child runs on as before.
  [[nodiscard]] int Hold(const Child& child);
  // Lifts the kill-on-close limit, so that the child outlives the launcher.
  // Returns 0 or the system error code; 0 when nothing is held.
  [[nodiscard]] int Release();

 private:
  Handle job_;
};

}  // namespace platform
