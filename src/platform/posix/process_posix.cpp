#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

int Fd(const Handle& handle) { return static_cast<int>(handle.get()); }

// A descriptor below 3 would be overwritten by the child's standard streams
// (it happens when the launcher itself was started with one of them closed),
// so pipe ends are moved above them.
int MoveAboveStdStreams(int fd) {
  if (fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

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
    if (options.std_output != nullptr) {
      const int out = Fd(*options.std_output);
      // As on Windows, a redirected child gets no usable standard input.
      rc = ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, out, 1);
      if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(&actions_, out, 2);
      if (rc != 0) return rc;
    } else if (!options.inherit_handles) {
      // Without inheritance a Windows child keeps only console handles: a
      // pipe or file the launcher writes to is not passed on. The terminal
      // stays; anything else becomes /dev/null.
      for (int fd = 0; fd <= 2; ++fd) {
        if (::isatty(fd)) continue;
        rc = ::posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null",
                                                fd == 0 ? O_RDONLY : O_WRONLY, 0);
        if (rc != 0) return rc;
      }
    }
    // Whatever the launcher inherited without close-on-exec stays behind too.
    rc = ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    if (rc != 0) return rc;

    // The launcher ignores interrupts while a child runs; the child must
    // start with every disposition at its default and nothing blocked.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (options.new_session) flags |= POSIX_SPAWN_SETSID;
    rc = ::posix_spawnattr_setsigdefault(&attributes_, &all);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attributes_, &none);
    if (rc == 0) rc = ::posix_spawnattr_setflags(&attributes_, flags);
    return rc;
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

// The child that a ChildSignalScope forwards termination requests to.
volatile sig_atomic_t g_forward_pid = 0;

void ForwardSignal(int signal_number) {
  const int saved_errno = errno;
  const pid_t pid = static_cast<pid_t>(g_forward_pid);
  if (pid > 0) ::kill(pid, signal_number);
  errno = saved_errno;
}

constexpr int kIgnoredSignals[] = {SIGINT, SIGQUIT, SIGPIPE};
constexpr int kForwardedSignals[] = {SIGTERM, SIGHUP};
constexpr int kScopeSignalCount = 5;
struct sigaction g_saved_actions[kScopeSignalCount];

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

int CreateChildPipe(Pipe* pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  const int read_end = MoveAboveStdStreams(fds[0]);
  const int read_error = errno;
  const int write_end = MoveAboveStdStreams(fds[1]);
  const int write_error = errno;
  if (read_end < 0 || write_end < 0) {
    if (read_end >= 0) ::close(read_end);
    if (write_end >= 0) ::close(write_end);
    return read_end < 0 ? read_error : write_error;
  }
  pipe->read = Handle(read_end);
  pipe->write = Handle(write_end);
  return 0;
}

int MakeNotInheritable(const Handle&) { return 0; }

Child::~Child() { Close(); }

Child::Child(Child&& other) noexcept
    : process_(other.process_), thread_(other.thread_), status_(other.status_),
      waited_(other.waited_) {
  other.process_ = Handle::kInvalid;
  other.waited_ = false;
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    process_ = other.process_;
    thread_ = other.thread_;
    status_ = other.status_;
    waited_ = other.waited_;
    other.process_ = Handle::kInvalid;
    other.waited_ = false;
  }
  return *this;
}

bool Child::Wait(int* error) {
  if (process_ == Handle::kInvalid) {
    *error = ECHILD;
    return false;
  }
  if (waited_) return true;
  int status = 0;
  for (;;) {
    const pid_t rc = ::waitpid(static_cast<pid_t>(process_), &status, 0);
    if (rc >= 0) break;
    if (errno != EINTR) {
      *error = errno;
      return false;
    }
  }
  if (WIFEXITED(status)) {
    status_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    status_ = 128 + WTERMSIG(status);
  } else {
    status_ = -1;
  }
  waited_ = true;
  return true;
}

bool Child::ExitCode(std::int32_t* code) const {
  if (!waited_) return false;
  *code = status_;
  return true;
}

// Nothing to release: a child not waited for is reaped by init once the
// launcher has ended.
void Child::Close() {
  process_ = Handle::kInvalid;
  waited_ = false;
}

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
  child->Close();
  child->process_ = pid;
  child->status_ = 0;
  return 0;
}

// SIGPIPE is ignored too: a reader that went away must show up as a failed
// write of the echo, not end the launcher before it has logged the rest.
ChildSignalScope::ChildSignalScope(const Child& child) {
  g_forward_pid = static_cast<sig_atomic_t>(child.process_ == Handle::kInvalid ? 0 : child.process_);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction forward = {};
  forward.sa_handler = ForwardSignal;
  sigemptyset(&forward.sa_mask);
  forward.sa_flags = SA_RESTART;
  int slot = 0;
  for (const int signal_number : kIgnoredSignals) {
    ::sigaction(signal_number, &ignore, &g_saved_actions[slot++]);
  }
  for (const int signal_number : kForwardedSignals) {
    ::sigaction(signal_number, &forward, &g_saved_actions[slot++]);
  }
}

ChildSignalScope::~ChildSignalScope() {
  int slot = 0;
  for (const int signal_number : kIgnoredSignals) {
    ::sigaction(signal_number, &g_saved_actions[slot++], nullptr);
  }
  for (const int signal_number : kForwardedSignals) {
    ::sigaction(signal_number, &g_saved_actions[slot++], nullptr);
  }
  g_forward_pid = 0;
}

Worker::~Worker() {
  int error = 0;
  if (started_) Join(&error);
}

Worker::Worker(Worker&& other) noexcept : thread_(other.thread_), started_(other.started_) {
  other.started_ = false;
  other.thread_ = Handle::kInvalid;
}

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    int error = 0;
    if (started_) Join(&error);
    thread_ = other.thread_;
    started_ = other.started_;
    other.started_ = false;
    other.thread_ = Handle::kInvalid;
  }
  return *this;
}

Worker Worker::Start(Function function, void* argument, int* error) {
  Worker worker;
  pthread_t thread;
  auto* start = new ThreadStart{function, argument};
  const int rc = ::pthread_create(&thread, nullptr, ThreadMain, start);
  if (rc != 0) {
    delete start;
    *error = rc;
    return worker;
  }
  static_assert(sizeof(pthread_t) <= sizeof(std::intptr_t), "pthread_t must fit a handle value");
  worker.thread_ = static_cast<std::intptr_t>(thread);
  worker.started_ = true;
  *error = 0;
  return worker;
}

bool Worker::Join(int* error) {
  if (!started_) {
    *error = ESRCH;
    return false;
  }
  started_ = false;
  const int rc = ::pthread_join(static_cast<pthread_t>(thread_), nullptr);
  thread_ = Handle::kInvalid;
  if (rc != 0) {
    *error = rc;
    return false;
  }
  return true;
}

void ExitProcessNow(int code) { ::_exit(code); }

}  // namespace platform
