#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "platform/child.h"
#include "platform/posix/child_state.h"
#include "platform/posix/signals_posix.h"

extern char** environ;

namespace platform {
namespace {

class SpawnSetup {
 public:
  SpawnSetup() {
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attributes_);
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int Prepare(const StartOptions& options) {
    int rc = 0;
    if (options.detached) {
      // Nothing of the launcher's: no terminal, no pipe anyone waits on.
      for (int fd = 0; fd <= 2; ++fd) {
        rc = ::posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null",
                                                fd == 0 ? O_RDONLY : O_WRONLY, 0);
        if (rc != 0) return rc;
      }
    } else if (!options.terminal.empty()) {
      // glibc's child makes the new session before the file actions, so
      // this open, without O_NOCTTY, makes the terminal the controlling one.
      rc = ::posix_spawn_file_actions_addopen(&actions_, 0, options.terminal.c_str(), O_RDWR, 0);
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, 0, 1);
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, 0, 2);
      if (rc != 0) return rc;
    } else if (options.std_output != nullptr) {
      const int out = static_cast<int>(options.std_output->get());
      if (options.std_input != nullptr) {
        rc = ::posix_spawn_file_actions_adddup2(
            &actions_, static_cast<int>(options.std_input->get()), 0);
      } else {
        // As on Windows, a redirected child gets no usable standard input.
        rc = ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
      }
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, out, 1);
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, out, 2);
      if (rc != 0) return rc;
    } else if (!options.inherit_handles) {
      // Without inheritance a Windows child keeps only console handles: a
      // pipe or file the launcher writes to is not passed on. A terminal
      // stays for output; anything else becomes /dev/null. Input never
      // stays, a terminal's neither: a hidden child gets none, as on
      // Windows, and must not read what the user types to the shell.
      for (int fd = 0; fd <= 2; ++fd) {
        if (fd != 0 && ::isatty(fd)) continue;
        rc = ::posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null",
                                                fd == 0 ? O_RDONLY : O_WRONLY, 0);
        if (rc != 0) return rc;
      }
    }
    // Whatever the launcher inherited without close-on-exec stays behind too.
    rc = ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    if (rc != 0) return rc;

    // Handlers are reset by the exec itself; what is set here is the mask
    // the launcher inherited and the defaults of what it ignores for itself.
    sigset_t mask;
    sigset_t to_default;
    posix::SignalsForChild(&mask, &to_default);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (options.new_session || options.detached || !options.terminal.empty()) {
      flags |= POSIX_SPAWN_SETSID;
    }
    rc = ::posix_spawnattr_setsigdefault(&attributes_, &to_default);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attributes_, &mask);
    if (rc == 0) rc = ::posix_spawnattr_setflags(&attributes_, flags);
    return rc;
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

std::int32_t DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Child::Child() = default;
Child::Child(std::unique_ptr<State> state) : state_(std::move(state)) {}
Child::~Child() = default;
Child::Child(Child&& other) noexcept = default;
Child& Child::operator=(Child&& other) noexcept = default;

int Child::Wait() {
  if (!state_) return ECHILD;
  if (state_->waited) return 0;
  // Waits without reaping: while the child is a zombie its id cannot be
  // reused, so a signal passed on meanwhile cannot reach a stranger.
  siginfo_t info;
  for (;;) {
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, static_cast<id_t>(state_->pid), &info, WEXITED | WNOWAIT) == 0) break;
    if (errno != EINTR) return errno;
  }
  int status = 0;
  const int error = posix::ReapEnded(state_->pid, &status);
  if (error != 0) return error;
  state_->status = DecodeStatus(status);
  state_->waited = true;
  return 0;
}

int Child::ExitCode(std::int32_t* code) const {
  if (!state_ || !state_->waited) return ECHILD;
  *code = state_->status;
  return 0;
}

// A POSIX child is never started suspended: there is no job to hold it.
int Child::Resume() { return state_ ? 0 : ECHILD; }

int Child::WaitFor(unsigned milliseconds, bool* ended) {
  *ended = false;
  if (!state_) return ECHILD;
  for (unsigned waited = 0;; waited += 20) {
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, static_cast<id_t>(state_->pid), &info, WEXITED | WNOWAIT | WNOHANG) != 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (info.si_pid != 0) break;
    if (waited >= milliseconds) return 0;
    ::usleep(20 * 1000);
  }
  *ended = true;
  return Wait();
}

int Child::Kill() {
  if (!state_) return ECHILD;
  // Not reaped yet, so the id is still this child's.
  if (state_->waited) return 0;
  return ::kill(state_->pid, SIGKILL) == 0 ? 0 : errno;
}

// A child not waited for is reaped by init once the launcher has ended.
void Child::Close() { state_.reset(); }

int StartChild(const std::string& command_line, const StartOptions& options, Child* child) {
  std::vector<std::string> arguments = kb::SplitCommandLine(command_line);
  // An empty program is what Windows reports as a missing file.
  if (arguments.empty() || arguments[0].empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);

  SpawnSetup setup;
  const int prepared = setup.Prepare(options);
  if (prepared != 0) return prepared;

  // glibc's posix_spawn starts the child with CLONE_VFORK and reports an
  // exec failure (ENOENT, EACCES, ...) as its own result.
  pid_t pid = 0;
  const bool search_path = arguments[0].find('/') == std::string::npos;
  const int rc = search_path ? ::posix_spawnp(&pid, argv[0], setup.actions(), setup.attributes(),
                                              argv.data(), environ)
                             : ::posix_spawn(&pid, argv[0], setup.actions(), setup.attributes(),
                                             argv.data(), environ);
  if (rc != 0) return rc;
  auto state = std::make_unique<Child::State>();
  state->pid = pid;
  *child = Child(std::move(state));
  return 0;
}

int ChildJob::Hold(const Child&) { return 0; }
int ChildJob::Release() { return 0; }

}  // namespace platform
