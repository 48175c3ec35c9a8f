// A worker thread (CreateThread; POSIX pthread_create) and the process's
// immediate end.
#pragma once

#include <memory>

namespace platform {

class Worker {
 public:
  using Function = int (*)(void* argument);
  // Defined per platform: the thread's handle (Windows) or id (POSIX).
  struct State;

  Worker();
  ~Worker();  // Windows: releases the handle, the thread runs on; POSIX: joins
  Worker(Worker&& other) noexcept;
  Worker& operator=(Worker&& other) noexcept;

  // Starts function(argument) on a new thread into *worker. Returns 0 or
  // the system error code (the worker is then not started()).
  [[nodiscard]] static int Start(Function function, void* argument, Worker* worker);
  bool started() const { return state_ != nullptr; }
  // Waits for the thread to end and releases it. 0 or the system error code.
  [[nodiscard]] int Join();

 private:
  std::unique_ptr<State> state_;
};

// Ends the launcher process at once with this exit code.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
