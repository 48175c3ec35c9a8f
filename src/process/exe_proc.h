// ExeProc: the three ways of running the launch's one child process.
//
// ExeandDisplay relays the child's standard output and standard error into
// the log and (console launcher) onto the launcher's standard output;
// ExeandWait only waits; execute starts the child from a worker thread and
// returns while it runs on. Failures are logged and returned, never thrown.
#pragma once

#include <cstddef>
#include <string>

#include "log/log_output.h"

namespace kb {

// Log tags of the runners.
inline constexpr char kTagDisplay[] = "ExeProc::ExeandDisplay";
inline constexpr char kTagDisplayCreatePipe[] = "ExeProc::ExeandDisplay::CreatePipe";
inline constexpr char kTagDisplaySetHandleInformation[] =
    "ExeProc::ExeandDisplay::SetHandleInformation";
inline constexpr char kTagDisplayStdInvalid[] =
    "ExeProc::ExeandDisplay::GetStdHandle::INVALID_HANDLE_VALUE";
inline constexpr char kTagDisplayStdNull[] = "ExeProc::ExeandDisplay::GetStdHandle::NULL";
inline constexpr char kTagDisplayWait[] = "ExeProc::ExeandDisplay::WaitForSingleObject";
inline constexpr char kTagDisplayExitCode[] = "ExeProc::ExeandDisplay::GetExitCodeProcess";
inline constexpr char kTagDisplayStdInput[] = "ExeProc::ExeandDisplay::GetStdHandle::input";
inline constexpr char kTagDisplayJob[] = "ExeProc::ExeandDisplay::AssignProcessToJobObject";
inline constexpr char kTagReadFromPipe[] = "ExeProc::ReadFromPipe";
inline constexpr char kTextStandardOutput[] = "Standard output";
inline constexpr char kTextClosingHandleFailed[] = "Closing handle failed";
inline constexpr char kTagWait[] = "ExeProc::ExeandWait";
inline constexpr char kTagWaitCreateProcess[] = "ExeProc::ExeandWait::CreateProcess";
inline constexpr char kTagWaitWaitCmd[] = "ExeProc::ExeandWait::WaitForSingleObject::cmd";
inline constexpr char kTagWaitWait[] = "ExeProc::ExeandWait::WaitForSingleObject";
inline constexpr char kTagWaitJob[] = "ExeProc::ExeandWait::AssignProcessToJobObject";
inline constexpr char kTagWaitExitCode[] = "ExeProc::ExeandWait::GetExitCodeProcess";
inline constexpr char kTagExecute[] = "ExeProc::execute";
inline constexpr char kTagExecuteCreateThread[] = "ExeProc::execute::CreateThread";
inline constexpr char kTagExecuteWait[] = "ExeProc::execute::WaitForMultipleObjects";
inline constexpr char kTagThreadProcCreateProcess[] = "ExeProc::ThreadProc::CreateProcess";

// Bytes asked for by each read of the relay.
inline constexpr unsigned kRelayChunkSize = 64 * 1024;

// The runners (the ExeProc group) hold no state between calls.

// Starts the child with its standard output and standard error on a pipe
// and copies every byte into the log (line feeds stored as CR LF, and one
// CR LF after output that does not end with a line feed) and, when kind is
// 200, onto the launcher's standard output, until every holder of the
// pipe's write end has ended. Returns the child's exit code, or -1 when the
// pipe or the child cannot be created or the wait fails.
//
// When the relay ends, the launcher's own standard output is closed on
// purpose, so that whoever reads it sees its end while the launcher still
// waits for the child: Windows closes the standard output handle; POSIX
// puts /dev/null on descriptor 1 instead of closing it, since a closed
// descriptor 1 would be taken by the next file opened (the log) and stray
// output would land there.
//
// With inherit_input set the child reads the launcher's own standard input;
// otherwise it gets none. When there is no input to pass on, the log gets a
// WARNING and the child gets none.
//
// `logging` says how much of the output the log gets (see RelayLog); the
// echo always gets all of it.
//
// With terminal set ("terminal=auto"), when kind is 200 and the launcher's
// standard input and output are both terminals, the child gets a terminal
// instead (see platform::ChildTerminal) and inherit_input is not used: it
// reads that terminal. POSIX: what it shows reaches the console and the
// log, as `logging` allows, the log without terminal control sequences.
// Windows: it shares the launcher's console, and the log says that its
// output was not copied.
int ExeandDisplay(int kind, bool show_window, std::string command_line,
                  bool inherit_input = false, const OutputLogging& logging = OutputLogging(),
                  bool terminal = false);

// Starts the child hidden, inheriting nothing, and waits for it. Returns
// its exit code, or -1 when it cannot be created or the wait fails.
int ExeandWait(std::string command_line);

// Runs one of the launcher's own helper steps hidden, with its standard
// output and standard error collected into *output (the first
// kCollectLimit bytes of it), and waits for it; a request to end meanwhile
// goes to it and leaves the launcher's result alone. Returns its exit code,
// or -1 when it cannot be started or waited for (logged under `tag`).
inline constexpr std::size_t kCollectLimit = 64 * 1024;
int ExeandCollect(const std::string& command_line, const char* tag, std::string* output);

// Creates the child on a worker thread and returns once the worker has
// ended: 0 when the child was created (it runs on), -1 when the worker
// could not create it or the wait for the worker failed. When no worker
// can be started the launcher ends at once with exit code -1.
int execute(std::string command_line);

// The worker: creates the child from the command line's text without
// waiting for it. 0 when created, -1 (logged) when not.
int ThreadProc(const char* command_line);

}  // namespace kb
