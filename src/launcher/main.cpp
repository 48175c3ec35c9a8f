// Entry point of both launchers: the console one (kind 200) and, built with
// KB_LAUNCHER_KIND=100 for the GUI subsystem, the windowed one.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/exit_codes.h"
#include "env/env_calls.h"
#include "java/java_cache_step.h"
#include "launcher/run.h"
#include "log/log.h"
#include "platform/running_program.h"
#include "platform/signal_scope.h"
#include "platform/text.h"

#ifndef KB_LAUNCHER_KIND
#define KB_LAUNCHER_KIND 200
#endif
static_assert(KB_LAUNCHER_KIND == kb::kKindConsole || KB_LAUNCHER_KIND == kb::kKindWindowed,
              "a launcher is either the console or the windowed kind");

// What launcher_check reads from this file (on Linux, which has no version
// resource or subsystem field): the version and the kind, so that a copy
// renamed "tally" is still known for what it is.
#if KB_LAUNCHER_KIND == 200
#define KB_KIND_TEXT "console"
#else
#define KB_KIND_TEXT "windowed"
#endif
[[gnu::used]] static constexpr char kSelfDescription[] =
    "kestrelbay-launcher: version=" KB_VERSION " kind=" KB_KIND_TEXT ";";
static_assert(std::string_view(kSelfDescription).substr(0, sizeof kb::kProgramMarker - 1) ==
                  kb::kProgramMarker,
              "the line begins as launcher_check looks for it");

// A GUI-subsystem build enters here too: the C runtime's windowed start-up
// calls main with the parsed arguments as the console one does. The
// arguments are taken again through the platform, which gives them in
// UTF-8 (Windows: from the wide command line, so no character is lost).
int main(int argc, char** argv) {
  // First of all: a request to end that arrives while no child runs (before
  // its start, or once it has ended) waits for the last log line, which
  // then names it.
  platform::LateRequestHold late_requests;
  int result;
  try {
    if (kb::IsJavaCacheStep()) {
      // Started by a launch of this program to make a class-data archive
      // once that launch had returned; no log and no child of the user's.
      platform::PrepareProcess();
      return kb::RunJavaCacheStep(platform::ProgramArguments(argc, argv));
    }
    if (!kb::InitApplication()) {
      result = kb::kExitFrameworkInit;
    } else {
      const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
      std::vector<const char*> pointers;
      for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
      kb::Run run(kb::BuildArgLine(static_cast<int>(pointers.size()), pointers.data()),
                  KB_LAUNCHER_KIND, 0);
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
