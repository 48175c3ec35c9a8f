#include <pthread.h>
#include <unistd.h>

#include <cerrno>

#include "platform/worker.h"

namespace platform {
namespace {

struct ThreadStart {
  Worker::Function function;
  void* argument;
};

void* ThreadMain(void* raw) {
  const ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.function(start.argument);
  return nullptr;
}

}  // namespace

struct Worker::State {
  pthread_t thread;
};

Worker::Worker() = default;
Worker::Worker(Worker&& other) noexcept = default;

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    // A join fails only for a thread that is not joinable, which then
    // holds nothing to wait for.
    (void)Join();
    state_ = std::move(other.state_);
  }
  return *this;
}

Worker::~Worker() { (void)Join(); }

int Worker::Start(Function function, void* argument, Worker* worker) {
  auto state = std::make_unique<State>();
  auto* start = new ThreadStart{function, argument};
  const int rc = ::pthread_create(&state->thread, nullptr, ThreadMain, start);
  if (rc != 0) {
    delete start;
    return rc;
  }
  *worker = Worker();
  worker->state_ = std::move(state);
  return 0;
}

int Worker::Join() {
  if (!state_) return ESRCH;
  const pthread_t thread = state_->thread;
  state_.reset();
  return ::pthread_join(thread, nullptr);
}

void ExitProcessNow(int code) { ::_exit(code); }

}  // namespace platform
