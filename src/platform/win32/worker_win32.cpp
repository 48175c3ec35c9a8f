#include "platform/worker.h"

#include "platform/handle.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

struct WorkerStart {
  Worker::Function function;
  void* argument;
};

DWORD WINAPI WorkerTrampoline(LPVOID parameter) {
  const WorkerStart start = *static_cast<WorkerStart*>(parameter);
  delete static_cast<WorkerStart*>(parameter);
  return static_cast<DWORD>(start.function(start.argument));
}

}  // namespace

struct Worker::State {
  Handle thread;
};

// Not joined on destruction: the thread runs on, only its handle goes.
Worker::Worker() = default;
Worker::~Worker() = default;
Worker::Worker(Worker&& other) noexcept = default;
Worker& Worker::operator=(Worker&& other) noexcept = default;

int Worker::Start(Function function, void* argument, Worker* worker) {
  auto* start = new WorkerStart{function, argument};
  // CreateThread fails with NULL, not INVALID_HANDLE_VALUE.
  HANDLE thread = ::CreateThread(nullptr, 0, WorkerTrampoline, start, 0, nullptr);
  if (thread == nullptr) {
    const int error = win32::LastError();
    delete start;
    return error;
  }
  auto state = std::make_unique<State>();
  state->thread = Handle(win32::FromHandle(thread));
  *worker = Worker();
  worker->state_ = std::move(state);
  return 0;
}

int Worker::Join() {
  if (!state_) return ERROR_INVALID_HANDLE;
  HANDLE thread = win32::ToHandle(state_->thread.get());
  if (::WaitForMultipleObjects(1, &thread, TRUE, INFINITE) == WAIT_FAILED) {
    return win32::LastError();
  }
  state_.reset();
  return 0;
}

void ExitProcessNow(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
