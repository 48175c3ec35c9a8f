// relay_driver: runs the launcher's relay the way a console launch does.
//   relay_driver LOG_PATH COMMAND_LINE
// Sets the log path (empty: logging off) and calls ExeandDisplay(200, false,
// COMMAND_LINE); the exit code is the runner's result.
#include "log/log.h"
#include "process/exe_proc.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  kb::LogFilePath() = argv[1];
  return kb::ExeandDisplay(200, false, argv[2]);
}
