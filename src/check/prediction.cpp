// The child's command line as the launch builds it: the same unit, on the
// same option state, after the same lookups.
#include "check/analysis.h"
#include "check/finding_helpers.h"
#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "java/java_arg_file.h"
#include "java/java_cache.h"
#include "java/java_cache_rules.h"
#include "java/short_forms.h"
#include "launcher/child_command.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace kb {
namespace check {

void PredictCommand(DataControl* options, const std::string& platform,
                    const std::string& config_file, int kind, Report* report) {
  // Relative paths of the line are the child's, found from its working
  // folder, not from wherever the check runs.
  const FolderPathOracle paths(report->working_folder);
  const ChildCommand child = BuildChildCommand(*options, platform, config_file, kind, paths);
  report->command_known = true;
  report->command_line = child.command_line;
  // What the child receives: Windows' C runtime splits the line by these
  // rules, and the POSIX launcher splits it with this very function.
  report->argv = SplitCommandLine(child.command_line);
  if (IsJavaRuntimeLine(child.command_line)) {
    // A Java runtime splits the ANSI form of its line, and the line holds
    // only what that page holds (short_forms.h), so this is the form
    // exactly; a double-byte page's two-byte characters stay whole.
    for (LineArgument& argument :
         SplitCommandLine(platform::ToSystemText(child.command_line), platform::AnsiLeadBytes())) {
      report->argv_bytes.push_back(std::move(argument.text));
    }
  } else {
    for (const std::string& argument : report->argv) {
      report->argv_bytes.push_back(platform::UnicodeArgumentBytes(argument));
    }
  }
  for (const ShortForms::Change& change : child.short_forms.changes) {
    report->short_forms.push_back({change.original, change.short_form});
  }
  for (const std::string& path : child.short_forms.no_short_name) {
    Add(report, Severity::kError, "no-short-name", "", 0,
        "the Java runtime cannot open " + path +
            ": it reads its command line through the ANSI code page, which cannot hold this "
            "name, and the volume keeps no short (8.3) name to give instead");
  }
  for (const ShortForms::Unholdable& entry : child.short_forms.unholdable) {
    Add(report, Severity::kWarning, "unholdable-argument", "", 0,
        "the argument " + Quoted(entry.argument) + " holds " +
            platform::CodePointName(entry.code_point) +
            ", which the ANSI code page cannot hold: the Java runtime receives " +
            Quoted(entry.received) + ", with \"?\" for each character the page cannot hold");
  }
  report->show_window = child.show_window;
  report->too_long = child.too_long;
  report->java_searched = child.java_searched;
  report->java_found = child.java_search.found;
  report->java_detail = child.java_search.detail;
  report->java_bounds_crossed = child.java_search.bounds_crossed;
  for (const JavaCandidate& candidate : child.java_search.candidates) {
    report->java_homes.push_back(candidate.home);
  }
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

void PredictJavaCache(const DataControl& options, Report* report) {
  const JavaCachePlan plan =
      PlanJavaCache(report->command_line, report->runner == "uninstall", options.GetDataDir(),
                    report->working_folder, ApplicationName(), options.GetTempFolder());
  if (plan.kind == JavaCacheKind::kNone) {
    report->java_cache_refusal = plan.why_not;
    return;
  }
  // The folder is only looked at: the check creates nothing.
  const std::string why = PredictJavaCacheFolder(plan.folder);
  if (!why.empty()) {
    report->java_cache_refusal = "the folder " + plan.folder + " cannot be used: " + why;
    return;
  }
  if (platform::PathExists(plan.archive) && !platform::IsPlainFile(plan.archive)) {
    report->java_cache_refusal = plan.archive + " is not a plain file";
    return;
  }
  report->java_cache = plan.archive;
  report->java_cache_exists = platform::IsPlainFile(plan.archive);
}

}  // namespace check
}  // namespace kb
