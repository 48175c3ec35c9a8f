#include "platform/process.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// Children are given exactly this record; its size field is part of what
// they receive.
constexpr DWORD kStartupInfoSize = 68;
static_assert(sizeof(STARTUPINFOA) == kStartupInfoSize, "STARTUPINFOA size");

void CloseIfOpen(std::intptr_t* value) {
  if (*value != Handle::kInvalid) {
    ::CloseHandle(win32::ToHandle(*value));
    *value = Handle::kInvalid;
  }
}

// The child shares the launcher's console and receives Ctrl-C and
// Ctrl-Break itself; the launcher survives them so it can still relay the
// child's last output and return its exit code. Other events (close,
// log-off, shut-down) go to the default handler.
BOOL WINAPI IgnoreInterrupts(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

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

int CreateChildPipe(Pipe* pipe) {
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof attributes;  // 12
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &attributes, 0)) {
    return win32::LastError();
  }
  pipe->read = Handle(win32::FromHandle(read_end));
  pipe->write = Handle(win32::FromHandle(write_end));
  return 0;
}

int MakeNotInheritable(const Handle& handle) {
  if (!::SetHandleInformation(win32::ToHandle(handle.get()),
                              HANDLE_FLAG_INHERIT, 0)) {
    return win32::LastError();
  }
  return 0;
}

Child::~Child() { Close(); }

Child::Child(Child&& other) noexcept
    : process_(other.process_),
      thread_(other.thread_),
      status_(other.status_),
      waited_(other.waited_) {
  other.process_ = Handle::kInvalid;
  other.thread_ = Handle::kInvalid;
  other.waited_ = false;
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    Close();
    process_ = other.process_;
    thread_ = other.thread_;
    status_ = other.status_;
    waited_ = other.waited_;
    other.process_ = Handle::kInvalid;
    other.thread_ = Handle::kInvalid;
    other.waited_ = false;
  }
  return *this;
}

bool Child::Wait(int* error) {
  if (!started()) {
    *error = ERROR_INVALID_HANDLE;
    return false;
  }
  if (::WaitForSingleObject(win32::ToHandle(process_), INFINITE) ==
      WAIT_FAILED) {
    *error = win32::LastError();
    return false;
  }
  waited_ = true;
  return true;
}

bool Child::ExitCode(std::int32_t* code) const {
  if (!started()) return false;
  DWORD status = 0;
  if (!::GetExitCodeProcess(win32::ToHandle(process_), &status)) return false;
  // The status is 32 bits unsigned; a set top bit reads as negative.
  *code = static_cast<std::int32_t>(status);
  return true;
}

void Child::Close() {
  CloseIfOpen(&process_);
  CloseIfOpen(&thread_);
  waited_ = false;
}

int StartChild(const std::string& command_line, const StartOptions& options,
               Child* child) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = kStartupInfoSize;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = options.show == ShowWindow::kShow ? SW_SHOW : SW_HIDE;
  if (options.std_output != nullptr) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = win32::ToHandle(options.std_output->get());
    startup.hStdError = startup.hStdOutput;
  }
  // CreateProcess may write into the command-line buffer, so it gets a
  // private, writable copy; the caller's string stays untouched.
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  // A null application name lets the system take the program from the
  // command line's first token and search for it as a shell would.
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr,
                        options.inherit_handles ? TRUE : FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    return win32::LastError();
  }
  child->Close();
  child->process_ = win32::FromHandle(info.hProcess);
  child->thread_ = win32::FromHandle(info.hThread);
  child->status_ = 0;
  return 0;
}

ChildSignalScope::ChildSignalScope(const Child& /*child*/) {
  ::SetConsoleCtrlHandler(IgnoreInterrupts, TRUE);
}

ChildSignalScope::~ChildSignalScope() {
  ::SetConsoleCtrlHandler(IgnoreInterrupts, FALSE);
}

Worker::~Worker() {
  // Not joined: the thread runs on, only its handle is released.
  CloseIfOpen(&thread_);
}

Worker::Worker(Worker&& other) noexcept
    : thread_(other.thread_), started_(other.started_) {
  other.thread_ = Handle::kInvalid;
  other.started_ = false;
}

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    CloseIfOpen(&thread_);
    thread_ = other.thread_;
    started_ = other.started_;
    other.thread_ = Handle::kInvalid;
    other.started_ = false;
  }
  return *this;
}

Worker Worker::Start(Function function, void* argument, int* error) {
  Worker worker;
  auto* start = new WorkerStart{function, argument};
  HANDLE thread =
      ::CreateThread(nullptr, 0, WorkerTrampoline, start, 0, nullptr);
  if (thread == nullptr) {
    *error = win32::LastError();
    delete start;
    return worker;
  }
  *error = 0;
  worker.thread_ = win32::FromHandle(thread);
  worker.started_ = true;
  return worker;
}

bool Worker::Join(int* error) {
  if (!started_) {
    *error = ERROR_INVALID_HANDLE;
    return false;
  }
  HANDLE thread = win32::ToHandle(thread_);
  if (::WaitForMultipleObjects(1, &thread, TRUE, INFINITE) == WAIT_FAILED) {
    *error = win32::LastError();
    return false;
  }
  CloseIfOpen(&thread_);
  started_ = false;
  return true;
}

void ExitProcessNow(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
