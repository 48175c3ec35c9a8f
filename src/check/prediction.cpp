// The child's command line as the launch builds it: the same unit, on the
// same option state, after the same lookups.
#include "check/analysis.h"
#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "launcher/child_command.h"

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
  if (child.too_long) {
    report->runner = "refused";
  } else if (ContainsNoCase(child.command_line, kUninstallMarker)) {
    report->runner = "uninstall";
  } else {
    report->runner = options->IsConsole() == 1 ? "relayed" : "hidden";
  }
}

}  // namespace check
}  // namespace kb
