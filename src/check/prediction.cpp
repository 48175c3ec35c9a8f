#include "check/analysis.h"
#include "config/data_control.h"

namespace kb {
namespace check {

void PredictCommand(DataControl* options, const std::string& platform,
                    const std::string& config_file, int kind, Report* report) {
  (void)platform;
  (void)config_file;
  (void)kind;
  // The command line is not predicted yet: the launch assembles it inline.
  report->command_known = false;
  report->runner = options->IsConsole() == 1 ? "relayed" : "hidden";
}

}  // namespace check
}  // namespace kb
