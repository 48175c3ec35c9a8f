// The child's command line as the launch builds it: the same unit, on the
// same option state, after the same lookups.
#include "check/analysis.h"
#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "launcher/child_command.h"
#include "launcher/java_arg_file.h"

namespace kb {
namespace check {

void PredictCommand(DataControl* options, const std::string& platform,
                    const std::string& config_file, int kind, Report* report) {
  const ChildCommand child = BuildChildCommand(*options, platform, config_file, kind);
  report->command_known = true;
  report->command_line = child.command_line;
  // What the child receives: Windows' C runtime splits the line by these
  // rules, and the POSIX launcher splits it with this very function.
  report->argv = SplitCommandLine(child.command_line);
  report->show_window = child.show_window;
  report->too_long = child.too_long;
  report->java_searched = child.java_searched;
  report->java_found = child.java_search.found;
  report->java_detail = child.java_search.detail;
  report->java_log = child.java_search.log;
  const bool uninstall = ContainsNoCase(child.command_line, kUninstallMarker);
  if (child.too_long) {
    report->arg_file_refusal = WhyNoArgFile(child.command_line, uninstall, options->GetTempFolder(),
                                            report->working_folder);
    report->arg_file = report->arg_file_refusal.empty();
  }
  if (child.java_searched && !child.java_search.found) {
    report->runner = "no-java";
  } else if (child.too_long && !report->arg_file) {
    report->runner = "refused";
  } else if (uninstall) {
    report->runner = "uninstall";
  } else {
    report->runner = options->IsConsole() == 1 ? "relayed" : "hidden";
  }
}

}  // namespace check
}  // namespace kb
