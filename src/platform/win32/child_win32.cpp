#include "platform/child.h"

#include <cstdint>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// Children are given exactly this record; its size field is part of what
// they receive.
constexpr DWORD kStartupInfoSize = 68;
static_assert(sizeof(STARTUPINFOW) == kStartupInfoSize, "STARTUPINFOW size");
// A child given a handle list gets the extended record instead: the plain
// one and a 32-bit pointer to the attribute list. The service asks for the
// extended record's size in the size field whenever the list is passed;
// Wine takes the list whatever the size says, so no test under Wine would
// notice a wrong one, and this check is what guards it.
constexpr DWORD kStartupInfoExSize = 72;
static_assert(sizeof(STARTUPINFOEXW) == kStartupInfoExSize, "STARTUPINFOEXW size");

// The handles a child may inherit, as a process-creation attribute. The
// attribute keeps a pointer to the handles, so both live here until the
// child is created.
class InheritList {
 public:
  InheritList() = default;
  InheritList(const InheritList&) = delete;
  InheritList& operator=(const InheritList&) = delete;
  ~InheritList() {
    if (attributes_ != nullptr) ::DeleteProcThreadAttributeList(attributes_);
  }

  // Adds a handle once, and only a kernel handle. A null in the list makes
  // the whole list count as empty (reported for Windows, seen under Wine).
  // The same handle twice (standard output and error) is nowhere said to be
  // allowed, so it is listed once. A value whose two low bits are set is a
  // pseudo handle or a console handle of Windows 7 and earlier: the list
  // must not name those, and such a console handle reaches the child
  // through the console whatever the list says.
  void Add(HANDLE handle) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || (value & 3) == 3) return;
    for (HANDLE listed : handles_) {
      if (listed == handle) return;
    }
    handles_.push_back(handle);
  }
  bool empty() const { return handles_.empty(); }

  // Makes the attribute list. Returns 0 or the system error code. An empty
  // list is refused by the service, so the caller must not ask for one.
  int Build() {
    SIZE_T size = 0;
    // The first call only measures and fails with ERROR_INSUFFICIENT_BUFFER.
    (void)::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size / sizeof(void*) + 1);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return win32::LastError();
    attributes_ = attributes;
    if (!::UpdateProcThreadAttribute(attributes_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                     handles_.data(), handles_.size() * sizeof(HANDLE), nullptr,
                                     nullptr)) {
      return win32::LastError();
    }
    return 0;
  }
  LPPROC_THREAD_ATTRIBUTE_LIST attributes() const { return attributes_; }

 private:
  std::vector<HANDLE> handles_;
  // Pointer-sized cells keep the opaque list aligned as the system wants.
  std::vector<void*> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST attributes_ = nullptr;
};

}  // namespace

struct Child::State {
  Handle process;
  Handle thread;
  bool suspended = false;
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

int Child::WaitFor(unsigned milliseconds, bool* ended) {
  *ended = false;
  if (!state_) return ERROR_INVALID_HANDLE;
  const DWORD result = ::WaitForSingleObject(win32::ToHandle(state_->process.get()), milliseconds);
  if (result == WAIT_FAILED) return win32::LastError();
  *ended = result == WAIT_OBJECT_0;
  return 0;
}

int Child::Kill() {
  if (!state_) return ERROR_INVALID_HANDLE;
  if (!::TerminateProcess(win32::ToHandle(state_->process.get()), 1) &&
      ::WaitForSingleObject(win32::ToHandle(state_->process.get()), 0) != WAIT_OBJECT_0) {
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

int Child::Resume() {
  if (!state_) return ERROR_INVALID_HANDLE;
  if (!state_->suspended) return 0;
  // The answer is the count before the call; only a failure answers -1.
  if (::ResumeThread(win32::ToHandle(state_->thread.get())) == static_cast<DWORD>(-1)) {
    const int error = win32::LastError();
    // Left suspended it would hold the launcher's wait for ever.
    (void)::TerminateProcess(win32::ToHandle(state_->process.get()), 1);
    return error;
  }
  state_->suspended = false;
  return 0;
}

void Child::Close() { state_.reset(); }

int StartChild(const std::string& command_line, const StartOptions& options,
               Child* child) {
  STARTUPINFOEXW extended;
  ZeroMemory(&extended, sizeof extended);
  STARTUPINFOW& startup = extended.StartupInfo;
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
  BOOL inherit = options.inherit_handles ? TRUE : FALSE;
  DWORD flags = options.suspended ? CREATE_SUSPENDED : 0;
  // A child given its standard handles inherits those alone, not whatever
  // else of the launcher happens to be inheritable at that moment (another
  // child's pipe, a file some library opened).
  InheritList inherit_list;
  if (inherit && options.std_output != nullptr) {
    inherit_list.Add(startup.hStdInput);
    inherit_list.Add(startup.hStdOutput);
    inherit_list.Add(startup.hStdError);
    if (inherit_list.empty()) {
      // Only old-style console handles, which reach the child through the
      // console whether or not handles are inherited: nothing else may.
      inherit = FALSE;
    } else {
      const int error = inherit_list.Build();
      if (error != 0) return error;
      startup.cb = kStartupInfoExSize;
      extended.lpAttributeList = inherit_list.attributes();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
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
  if (options.detached) {
    // No console and no standard handles; outside whatever job holds the
    // launcher, when that job lets its processes break away.
    flags |= DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_BREAKAWAY_FROM_JOB;
    inherit = FALSE;
    startup.dwFlags = STARTF_USESHOWWINDOW;
  }
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr,
                        &startup, &info)) {
    const int error = win32::LastError();
    if (error != ERROR_ACCESS_DENIED || (flags & CREATE_BREAKAWAY_FROM_JOB) == 0) return error;
    // A job that forbids breaking away: the step stays in it, and ends
    // with it.
    flags &= ~static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr,
                          &startup, &info)) {
      return win32::LastError();
    }
  }
  auto state = std::make_unique<Child::State>();
  state->process = Handle(win32::FromHandle(info.hProcess));
  state->thread = Handle(win32::FromHandle(info.hThread));
  state->suspended = options.suspended;
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
