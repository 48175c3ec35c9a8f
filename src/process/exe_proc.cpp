#include "process/exe_proc.h"

#include <cstdint>
#include <memory>

#include "common/constants.h"
#include "common/text.h"
#include "log/log.h"
#include "log/relay_log.h"
#include "platform/handle.h"
#include "platform/child.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/signal_scope.h"
#include "platform/terminal.h"
#include "process/control_filter.h"
#include "platform/worker.h"

namespace kb {
namespace {

// Copies the child's output until every writer has closed the pipe. Each
// chunk reaches the echo and the log before the next read, so nothing is
// held back. A failed echo only ends the echo: the log still gets every byte.
// A request to stop that comes once the child has ended (POSIX) ends the
// echo and, once the pipe is drained into the log, the relay.
void ReadFromPipe(const platform::Handle& source, const platform::Handle* echo,
                  const platform::ChildSignalScope& signals, const OutputLogging& logging) {
  struct Buffers {
    explicit Buffers(const OutputLogging& logging) : log(logging) {}
    char chunk[kRelayChunkSize];
    RelayLog log;
  };
  // Heap, not stack: 192 KiB is more than a worker-sized stack should hold.
  std::unique_ptr<Buffers> buffers(new Buffers(logging));
  platform::EchoingReader reader(source, echo, &signals);
  for (;;) {
    std::size_t count = 0;
    // A failed read ends the relay as the end of the data does (a broken
    // pipe is how Windows reports that end).
    if (reader.Next(buffers->chunk, kRelayChunkSize, &count) != 0 || count == 0) break;
    buffers->log.LogText(buffers->chunk, count);
  }
  buffers->log.Finish();
}

void RelayToLogAndConsole(int kind, platform::Pipe* pipe,
                          const platform::ChildSignalScope& signals,
                          const OutputLogging& logging) {
  platform::Handle out;
  int error = 0;
  // Only the console launcher echoes. A windowed one started from the desktop
  // has no standard output, and asking would log an error on every run.
  platform::StdOutState state = platform::StdOutState::kNull;
  if (kind == kKindConsole) {
    state = platform::GetStdOutput(&out, &error);
    if (state == platform::StdOutState::kInvalid) {
      LogError(kTagDisplayStdInvalid, error);
    } else if (state == platform::StdOutState::kNull) {
      LogError(kTagDisplayStdNull, error);
    }
  }
  LogInfo(kTagReadFromPipe, kTextStandardOutput);
  const bool echo = kind == kKindConsole && state == platform::StdOutState::kValid;
  ReadFromPipe(pipe->read, echo ? &out : nullptr, signals, logging);
  (void)pipe->read.Close();  // a read end's close loses nothing
  platform::CloseStdOutput(&out);
}

// A request to end that came before the child: none is started, and the
// request decides the result (the launcher's hold still has it pending).
int RequestBeforeStart(const char* tag) {
  const int code = platform::HeldRequestExitCode();
  if (code != 0) LogWarning(tag, "asked to end before the start: no child started");
  return code;
}

struct WorkerCall {
  const char* command_line;
  int result;
};

int RunThreadProc(void* argument) {
  auto* call = static_cast<WorkerCall*>(argument);
  call->result = ThreadProc(call->command_line);
  return call->result;
}

// Ties the child to the launcher: ended with it, however the launcher ends.
// A child that cannot be held still runs as before. The child was started
// suspended and is let run only now, so that no launcher ended between its
// start and its hold leaves it running unheld. *error: 0, or the system
// error code of a child that could not be let run (it has been ended).
platform::ChildJob HoldChild(platform::Child* child, const char* tag, int* error) {
  platform::ChildJob job;
  const int hold = job.Hold(*child);
  if (hold != 0) {
    LogWarning(tag, "the child does not end with the launcher (error " + IntToString(hold) +
                        ")");
  }
  *error = child->Resume();
  return job;
}

// What the child shows on its terminal, as the log keeps it: without the
// terminal's control sequences, line ends as the log writes them. A
// terminal hands over a few KiB at a time; while the output streams they
// are gathered into chunks of up to 64 KiB, stored whenever the relay
// waits, so the log costs one write per chunk, not per read.
class TerminalLog final : public platform::TerminalOutput {
 public:
  explicit TerminalLog(const OutputLogging& logging) : log_(logging) {}
  void Shown(const char* data, std::size_t size) override {
    while (size > 0) {
      std::size_t piece = kRelayChunkSize - held_;
      if (piece > size) piece = size;
      held_ += filter_.Filter(data, piece, filtered_ + held_);
      data += piece;
      size -= piece;
      // Room for a whole terminal read is kept, or the chunk is stored.
      if (kRelayChunkSize - held_ < 4096) Idle();
    }
  }
  void Idle() override {
    if (held_ > 0) log_.LogText(filtered_, held_);
    held_ = 0;
  }
  void Finish() {
    Idle();
    log_.Finish();
  }

 private:
  ControlFilter filter_;
  RelayLog log_;
  std::size_t held_ = 0;
  char filtered_[kRelayChunkSize];
};
static_assert(kRelayChunkSize <= RelayLog::kMaxChunk, "a held chunk is stored in one call");

// The child on a terminal of its own (see platform::ChildTerminal); the
// rest as ExeandDisplay.
int ExeandTerminal(const std::string& command_line, const OutputLogging& logging) {
  platform::ChildSignalScope signals;
  const int stop = RequestBeforeStart(kTagDisplay);
  if (stop != 0) return stop;
  platform::ChildTerminal terminal;
  int error = terminal.Open();
  if (error != 0) {
    LogError(kTagTerminal, "no terminal for the child: error " + IntToString(error));
    return -1;
  }
  platform::Child child;
  error = terminal.Start(command_line, &child);
  if (error != 0) {
    LogError(kTagDisplay, error);
    return -1;
  }
  platform::ChildJob job = HoldChild(&child, kTagDisplayJob, &error);
  if (error != 0) {
    LogError(kTagDisplay, error);
    return -1;
  }
  signals.Watch(child);
  if (terminal.CopiesOutput()) {
    LogInfo(kTagTerminal, "the child runs on a terminal of its own; its output is relayed");
    std::unique_ptr<TerminalLog> log(new TerminalLog(logging));
    terminal.Relay(child, signals, log.get());
    log->Finish();
  } else {
    LogInfo(kTagTerminal, kTextTerminalNotCopied);
  }
  error = child.Wait();
  if (error != 0) {
    LogError(kTagDisplayWait, error);
    (void)job.Release();
    return -1;
  }
  std::int32_t code = 0;
  (void)child.ExitCode(&code);  // as ExeandDisplay
  LogInfoLong(kTagDisplayExitCode, code);
  if (signals.StopExitCode() != 0) return signals.StopExitCode();
  return code;
}

platform::StartOptions HiddenNoInheritance() {
  platform::StartOptions options;
  options.inherit_handles = false;
  options.show = platform::ShowWindow::kHide;
  return options;
}

}  // namespace

int ExeandDisplay(int kind, bool show_window, std::string command_line, bool inherit_input,
                  const OutputLogging& logging, bool terminal) {
  if (terminal && kind == kKindConsole && platform::StdStreamsAreTerminals()) {
    return ExeandTerminal(command_line, logging);
  }
  platform::Pipe pipe;
  int error = platform::CreateChildPipe(&pipe);
  if (error != 0) {
    LogError(kTagDisplayCreatePipe, error);
    return -1;
  }
  error = platform::MakeNotInheritable(pipe.read);
  if (error != 0) LogError(kTagDisplaySetHandleInformation, error);

  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  platform::Handle input;
  if (inherit_input) {
    error = platform::GetStdInput(&input);
    if (error == 0) {
      options.std_input = &input;
    } else {
      LogWarning(kTagDisplayStdInput,
                 "no standard input to pass on (error " + IntToString(error) +
                     "): the child gets none");
    }
  }
  options.show = show_window ? platform::ShowWindow::kShow : platform::ShowWindow::kHide;
  options.suspended = true;  // until held
  // The scope spans the start and the relay: the child runs for all of it.
  platform::ChildSignalScope signals;
  const int stop = RequestBeforeStart(kTagDisplay);
  if (stop != 0) return stop;
  platform::Child child;
  error = platform::StartChild(command_line, options, &child);
  if (error != 0) {
    LogError(kTagDisplay, error);
    return -1;
  }
  platform::ChildJob job = HoldChild(&child, kTagDisplayJob, &error);
  if (error != 0) {
    LogError(kTagDisplay, error);
    return -1;
  }
  signals.Watch(child);
  // The child holds its own copy of the input now.
  (void)input.Close();
  // Our copy of the write end must go, or the pipe would never report its
  // end once the child has finished.
  if (pipe.write.Close() != 0) {
    LogError(kTagReadFromPipe, kTextClosingHandleFailed);
  } else {
    RelayToLogAndConsole(kind, &pipe, signals, logging);
  }

  error = child.Wait();
  if (error != 0) {
    LogError(kTagDisplayWait, error);
    // The child may still run: it is not ours to end on the way out.
    (void)job.Release();
    return -1;
  }
  std::int32_t code = 0;
  // Not examined: a status that cannot be read leaves the code 0, which is
  // logged and returned like any other.
  (void)child.ExitCode(&code);
  LogInfoLong(kTagDisplayExitCode, code);
  // Asked to end once the child had ended: the request decides the result.
  if (signals.StopExitCode() != 0) return signals.StopExitCode();
  return code;
}

int ExeandWait(std::string command_line) {
  platform::ChildSignalScope signals;
  const int stop = RequestBeforeStart(kTagWait);
  if (stop != 0) return stop;
  platform::Child child;
  platform::StartOptions options = HiddenNoInheritance();
  options.suspended = true;  // until held
  int error = platform::StartChild(command_line, options, &child);
  if (error != 0) {
    LogError(kTagWaitCreateProcess, error);
    return -1;
  }
  platform::ChildJob job = HoldChild(&child, kTagWaitJob, &error);
  if (error != 0) {
    LogError(kTagWaitCreateProcess, error);
    return -1;
  }
  signals.Watch(child);
  error = child.Wait();
  if (error != 0) {
    LogError(kTagWaitWaitCmd, command_line);
    LogError(kTagWaitWait, error);
    (void)job.Release();
    return -1;
  }
  std::int32_t code = 0;
  if (child.ExitCode(&code) != 0) code = 0;
  LogInfoLong(kTagWaitExitCode, code);
  if (signals.StopExitCode() != 0) return signals.StopExitCode();
  return code;
}

int ExeandCollect(const std::string& command_line, const char* tag, std::string* output) {
  output->clear();
  platform::ChildSignalScope signals;
  platform::Pipe pipe;
  int error = platform::CreateChildPipe(&pipe);
  if (error != 0) {
    LogError(tag, "no pipe for " + command_line + ": error " + IntToString(error));
    return -1;
  }
  platform::StartOptions options = HiddenNoInheritance();
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  options.suspended = true;  // until held
  platform::Child child;
  error = platform::StartChild(command_line, options, &child);
  (void)pipe.write.Close();  // the child holds its own copy; ours would keep the pipe open
  if (error != 0) {
    LogError(tag, "cannot start " + command_line + ": error " + IntToString(error));
    return -1;
  }
  platform::ChildJob job = HoldChild(&child, tag, &error);
  if (error != 0) {
    LogError(tag, "cannot start " + command_line + ": error " + IntToString(error));
    return -1;
  }
  signals.Watch(child);
  char chunk[4096];
  for (;;) {
    std::size_t count = 0;
    if (platform::ReadSome(pipe.read, chunk, sizeof chunk, &count) != 0 || count == 0) break;
    if (output->size() < kCollectLimit) output->append(chunk, count);
  }
  if (child.Wait() != 0) {
    (void)job.Release();
    return -1;
  }
  std::int32_t code = -1;
  if (child.ExitCode(&code) != 0) code = -1;
  return code;
}

int execute(std::string command_line) {
  const int stop = RequestBeforeStart(kTagExecute);
  if (stop != 0) return stop;
  WorkerCall call{command_line.c_str(), -1};
  platform::Worker worker;
  int error = platform::Worker::Start(RunThreadProc, &call, &worker);
  if (error != 0) {
    LogError(kTagExecuteCreateThread, error);
    platform::ExitProcessNow(-1);
  }
  error = worker.Join();
  if (error != 0) {
    LogError(kTagExecuteWait, error);
    return -1;
  }
  return call.result;
}

int ThreadProc(const char* command_line) {
  platform::StartOptions options = HiddenNoInheritance();
  // The child is meant to outlive the launcher and its terminal.
  options.new_session = true;
  platform::Child child;
  const int error = platform::StartChild(command_line, options, &child);
  if (error != 0) {
    LogError(kTagThreadProcCreateProcess, error);
    return -1;
  }
  return 0;
}

}  // namespace kb
