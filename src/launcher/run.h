// The launcher object: the values that the launch sequence, the cleanup
// script and the user messages share, and the launch sequence itself.
#pragma once

#include <string>

#include "log/log_output.h"

namespace kb {

class DataControl;
struct ChildCommand;

class Run {
 public:
  // kind: 200 for the console launcher (the only kind the entry point
  // passes), 100 for a windowed one. trace: non-zero adds progress lines.
  Run(std::string argument_line, int kind, int trace);
  virtual ~Run();

  // The whole launch, once per process. Returns the launcher's exit code:
  // -100, -101, -103, 183, or the runner's result.
  int start();
  // Path of the configuration file beside the launcher (the application
  // name without "_console", plus ".ini"); empty, with a message, when no
  // regular file of that name can be opened (a folder, a FIFO or a device
  // counts as missing).
  std::string GetIniFile();
  // Writes the cleanup script for the clean directory; its path, or empty.
  std::string CreateCleanProc(std::string clean_directory);

  const std::string& clean_directory() const { return clean_directory_; }
  const std::string& cleanup_script_path() const { return cleanup_script_path_; }
  const std::string& launcher_directory() const { return launcher_directory_; }

 private:
  // Starts the assembled command line with the runner it calls for and, after
  // a normal run, writes the cleanup script. The runner's result.
  int RunChild(const DataControl& options, const ChildCommand& child);
  // Ends a launch whose properties cannot be loaded or whose placeholders
  // would pass their limit (logged): the message, the list freed, -103.
  int PropertiesFailed(DataControl* options);

  std::string clean_directory_;
  std::string cleanup_script_path_;
  std::string launcher_directory_;
  std::string argument_line_;
  int kind_;
  // "stdin=inherit": the relayed child reads the launcher's input.
  bool inherit_input_ = false;
  // "terminal=auto": the relayed child gets a terminal when the launcher has one.
  bool terminal_ = false;
  // "logoutput" and "logmax": how much of the child's output is logged.
  OutputLogging output_logging_;
  // "javacache" as configured: "auto" keeps a class-data cache.
  std::string java_cache_;
  int trace_;
  std::string temp_location_;  // never assigned: uninstall runs fall back
};

}  // namespace kb
