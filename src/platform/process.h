// Child processes, the pipe that carries their output, the worker thread of
// an uninstall run, and interrupts. Reads and writes on the handles, and the
// launcher's own standard output, are in platform/io.h.
//
// Windows: CreatePipe, SetHandleInformation, CreateProcessA with a null
// application name, WaitForSingleObject, CreateThread. POSIX: pipe2 with
// O_CLOEXEC, posix_spawn of the argument vector that SplitCommandLine makes
// of the command line (the program looked up in PATH when it holds no "/"),
// waitpid, pthreads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handle.h"

namespace platform {

struct Pipe {
  Handle read;
  Handle write;
};

// Creates an anonymous pipe with the system's default size. Windows: both
// ends inheritable (security attributes with the inherit flag set). POSIX:
// both ends close-on-exec; the child gets the write end only through its
// standard output and standard error. Returns 0 or the system error code.
int CreateChildPipe(Pipe* pipe);

// Stops a handle from being inherited by children. Returns 0 or the system
// error code. POSIX: already so, always 0.
int MakeNotInheritable(const Handle& handle);

enum class ShowWindow { kHide, kShow };

struct StartOptions {
  // Windows bInheritHandles. POSIX: only the descriptors named below reach
  // the child in any case.
  bool inherit_handles = false;
  // When set: the child's standard output and standard error (and a null
  // standard input on Windows: STARTF_USESTDHANDLES). When null: the child
  // keeps the launcher's standard handles.
  const Handle* std_output = nullptr;
  ShowWindow show = ShowWindow::kHide;
  // POSIX: start the child in a new session so that it outlives the
  // launcher and its terminal. Windows: no effect.
  bool new_session = false;
};

// A started child. Owns its process (and on Windows thread) handles.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return process_ != Handle::kInvalid; }
  // Waits without time limit. False when the wait itself fails; *error then
  // holds the system error code.
  bool Wait(int* error);
  // The exit status after Wait: Windows the 32-bit status as a signed value;
  // POSIX the exit code, or 128 + N for a child ended by signal N.
  // False when it cannot be read.
  bool ExitCode(std::int32_t* code) const;
  // Releases the handles without waiting (the child runs on).
  void Close();

 private:
  friend int StartChild(const std::string&, const StartOptions&, Child*);
  friend class ChildSignalScope;  // POSIX: forwards signals to the pid
  std::intptr_t process_ = Handle::kInvalid;  // HANDLE, or the pid on POSIX
  std::intptr_t thread_ = Handle::kInvalid;   // HANDLE; unused on POSIX
  std::int32_t status_ = 0;                   // POSIX: decoded after Wait
  bool waited_ = false;
};

// Starts the command line as a child process. Returns 0, or the system error
// code when it cannot be started (2 for a program that does not exist, on
// both platforms; POSIX errno values otherwise).
int StartChild(const std::string& command_line, const StartOptions& options,
               Child* child);

// While a ChildSignalScope lives, a console interrupt (Ctrl-C, Ctrl-Break;
// SIGINT, SIGQUIT) does not end the launcher: the child gets it as it would
// without the launcher. A termination request sent to the launcher alone
// (POSIX: SIGTERM, SIGHUP) is passed on to the child. Dispositions are
// restored when the scope ends.
class ChildSignalScope {
 public:
  explicit ChildSignalScope(const Child& child);
  ~ChildSignalScope();
  ChildSignalScope(const ChildSignalScope&) = delete;
  ChildSignalScope& operator=(const ChildSignalScope&) = delete;
};

// A worker thread (CreateThread / pthread_create).
class Worker {
 public:
  using Function = int (*)(void* argument);
  Worker() = default;
  ~Worker();
  Worker(Worker&& other) noexcept;
  Worker& operator=(Worker&& other) noexcept;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts function(argument) on a new thread. On failure the returned
  // worker is not started() and *error holds the system error code.
  static Worker Start(Function function, void* argument, int* error);
  bool started() const { return started_; }
  // Waits for the thread to end and closes it. False when the wait fails.
  bool Join(int* error);

 private:
  std::intptr_t thread_ = Handle::kInvalid;
  bool started_ = false;
};

// Ends the launcher process at once with this exit code.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
