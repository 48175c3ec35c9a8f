// Entry point of both launchers: the console one (kind 200) and, built with
// KB_LAUNCHER_KIND=100 for the GUI subsystem, the windowed one.
#include <new>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "env/env_calls.h"
#include "launcher/run.h"
#include "log/log.h"
#include "platform/signal_scope.h"

#ifndef KB_LAUNCHER_KIND
#define KB_LAUNCHER_KIND 200
#endif
static_assert(KB_LAUNCHER_KIND == kb::kKindConsole || KB_LAUNCHER_KIND == kb::kKindWindowed,
              "a launcher is either the console or the windowed kind");

// A GUI-subsystem build enters here too: the C runtime's windowed start-up
// calls main with the parsed arguments as the console one does.
int main(int argc, char** argv) {
  // First of all: a request to end that arrives while no child runs (before
  // its start, or once it has ended) waits for the last log line, which
  // then names it.
  platform::LateRequestHold late_requests;
  int result;
  try {
    if (!kb::InitApplication()) {
      result = kb::kExitFrameworkInit;
    } else {
      kb::Run run(kb::BuildArgLine(argc, argv), KB_LAUNCHER_KIND, 0);
      result = run.start();
    }
  } catch (const std::bad_alloc&) {
    // Caught once, here: the run is unwound, which frees what it held, and
    // ends with a last log line instead of an abort.
    kb::LogError("Launcher::main", "out of memory");
    result = kb::kExitRunnerFailed;
  }
  const int late = late_requests.TakeExitCode();
  if (late != 0) result = late;
  kb::LogInfo("Launcher::main", result);
  return result;
}
