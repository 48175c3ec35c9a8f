// Entry point of the console launcher.
#include "common/constants.h"
#include "common/exit_codes.h"
#include "env/env_calls.h"
#include "launcher/run.h"
#include "log/log.h"

int main(int argc, char** argv) {
  int result;
  if (!kb::InitApplication()) {
    result = kb::kExitFrameworkInit;
  } else {
    kb::Run run(kb::BuildArgLine(argc, argv), kb::kKindConsole, 0);
    result = run.start();
  }
  kb::LogInfo("Launcher::main", result);
  return result;
}
