#include "platform/child.h"

#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// Children are given exactly this record; its size field is part of what
// they receive.
constexpr DWORD kStartupInfoSize = 68;
static_assert(sizeof(STARTUPINFOW) == kStartupInfoSize, "STARTUPINFOW size");

}  // namespace

struct Child::State {
  Handle process;
  Handle thread;
};

Child::Child() = default;
Child::Child(std::unique_ptr<State> state) : state_(std::move(state)) {}
Child::~Child() = default;
Child::Child(Child&& other) noexcept = default;
Child& Child::operator=(Child&& other) noexcept = default;

int Child::Wait() {
  if (!state_) return ERROR_INVALID_HANDLE;
  if (::WaitForSingleObject(win32::ToHandle(state_->process.get()), INFINITE) == WAIT_FAILED) {
    return win32::LastError();
  }
  return 0;
}

int Child::ExitCode(std::int32_t* code) const {
  if (!state_) return ERROR_INVALID_HANDLE;
  DWORD status = 0;
  if (!::GetExitCodeProcess(win32::ToHandle(state_->process.get()), &status)) {
    return win32::LastError();
  }
  // The status is 32 bits unsigned; a set top bit reads as negative.
  *code = static_cast<std::int32_t>(status);
  return 0;
}

void Child::Close() { state_.reset(); }

int StartChild(const std::string& command_line, const StartOptions& options,
               Child* child) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = kStartupInfoSize;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = options.show == ShowWindow::kShow ? SW_SHOW : SW_HIDE;
  // The child's copy of its input: inheritable, and ours to close once the
  // child has its own.
  Handle input;
  if (options.std_output != nullptr) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    if (options.std_input != nullptr) {
      HANDLE copy = nullptr;
      if (!::DuplicateHandle(::GetCurrentProcess(), win32::ToHandle(options.std_input->get()),
                             ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return win32::LastError();
      }
      input = Handle(win32::FromHandle(copy));
      startup.hStdInput = copy;
    }
    startup.hStdOutput = win32::ToHandle(options.std_output->get());
    startup.hStdError = startup.hStdOutput;
  }
  // CreateProcess may write into the command-line buffer, so it gets a
  // private, writable copy; the caller's string stays untouched.
  const std::wstring wide = win32::Wide(command_line);
  std::vector<wchar_t> line(wide.begin(), wide.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  // A null application name lets the system take the program from the
  // command line's first token and search for it as a shell would.
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr,
                        options.inherit_handles ? TRUE : FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
    return win32::LastError();
  }
  auto state = std::make_unique<Child::State>();
  state->process = Handle(win32::FromHandle(info.hProcess));
  state->thread = Handle(win32::FromHandle(info.hThread));
  *child = Child(std::move(state));
  return 0;
}

namespace {

int SetJobLimits(HANDLE job, DWORD limits) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  info.BasicLimitInformation.LimitFlags = limits;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info)) {
    return win32::LastError();
  }
  return 0;
}

}  // namespace

int ChildJob::Hold(const Child& child) {
  if (child.state() == nullptr) return ERROR_INVALID_HANDLE;
  HANDLE raw = ::CreateJobObjectW(nullptr, nullptr);
  if (raw == nullptr) return win32::LastError();
  Handle job(win32::FromHandle(raw));
  int error = SetJobLimits(
      raw, JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
  if (error != 0) return error;
  if (!::AssignProcessToJobObject(raw, win32::ToHandle(child.state()->process.get()))) {
    return win32::LastError();
  }
  job_ = std::move(job);
  return 0;
}

int ChildJob::Release() {
  if (!job_.valid()) return 0;
  return SetJobLimits(win32::ToHandle(job_.get()), JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
}

}  // namespace platform
