// The findings on the predicted launch: program, class path, placeholders,
// length, uninstall runs.
#include <algorithm>
#include <set>

#include "check/analysis.h"
#include "check/finding_helpers.h"
#include "common/constants.h"
#include "common/text.h"
#include "launcher/child_command.h"
#include "platform/fs.h"
#include "platform/java_places.h"
#include "platform/program_search.h"
#include "platform/text.h"

namespace kb {
namespace check {
namespace {

using Key = IniScan::Key;
using Section = IniScan::Section;

// The class path as the child will read it, from its argument vector.
std::vector<std::string> ClassPathEntries(const std::vector<std::string>& argv) {
  std::string list;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if ((arg == "-cp" || arg == "-classpath" || arg == "--class-path") && i + 1 < argv.size()) {
      list = argv[i + 1];
      break;
    }
    if (arg.compare(0, 13, "--class-path=") == 0) {
      list = arg.substr(13);
      break;
    }
  }
  std::vector<std::string> entries;
  const char sep = platform::ClassPathSeparator();
  std::string::size_type start = 0;
  while (!list.empty()) {
    const std::string::size_type end = list.find(sep, start);
    const std::string entry =
        list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!entry.empty()) entries.push_back(entry);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return entries;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (platform::IsAbsolutePath(name) || folder.empty()) return name;
  return folder + platform::PathSeparator() + name;
}

void CheckClassPath(const IniScan& scan, Report* report) {
  const KeyValue* classpath = FindKey(*report, kKeyClasspath);
  const std::size_t line = classpath != nullptr ? classpath->line : 0;
  for (const std::string& entry : ClassPathEntries(report->argv)) {
    std::string path = InFolder(report->working_folder, entry);
    // "lib/*" names every jar in lib: the folder must exist.
    const std::string::size_type star = path.find('*');
    bool exists;
    if (star != std::string::npos) {
      const std::string::size_type sep = path.find_last_of("\\/", star);
      const std::string folder =
          sep == std::string::npos ? report->working_folder : path.substr(0, sep);
      exists = platform::GetPathKind(folder) == platform::PathKind::kDirectory;
    } else {
      exists = platform::GetPathKind(path) != platform::PathKind::kMissing;
    }
    if (!exists) {
      Add(report, Severity::kWarning, "classpath-missing", FileOf(classpath, scan.path()), line,
          "class-path entry " + Quoted(entry) + " does not exist (looked for " + path + ")");
    }
  }
}

bool IsPlaceholderName(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '-';
}

std::size_t LineNaming(const IniScan& scan, const std::string& platform, const std::string& text) {
  for (const std::string& name : LaunchAndPropertySections(platform)) {
    const Section* section = scan.FirstSection(name);
    if (section == nullptr) continue;
    for (const Key& key : section->keys) {
      if (key.has_value && key.value.find(text) != std::string::npos) return key.line;
    }
  }
  return 0;
}

void CheckPlaceholders(const IniScan& scan, const std::string& platform, Report* report) {
  std::set<std::string> reported;
  const std::string& line = report->command_line;
  for (std::string::size_type open = line.find('<'); open != std::string::npos;
       open = line.find('<', open + 1)) {
    std::string::size_type end = open + 1;
    while (end < line.size() && IsPlaceholderName(line[end])) ++end;
    if (end == open + 1 || end >= line.size() || line[end] != '>') continue;
    const std::string name = line.substr(open + 1, end - open - 1);
    if (!reported.insert(name).second) continue;
    std::string hint;
    for (const Property& property : report->properties) {
      if (EqualsNoCase(property.name, name)) {
        hint = ": did you mean <" + property.name + ">? Placeholders match letter case";
      }
    }
    if (hint.empty() && (name == kPropWorkingDir || name == kPropLauncherDir)) {
      hint = ": it exists only when [properties] has MASTERPROP; an empty \"MASTERPROP=\" gives it"
             " without a master file";
    }
    Add(report, Severity::kWarning, "unreplaced-placeholder", scan.path(),
        LineNaming(scan, platform, "<" + name + ">"),
        "<" + name + "> stays as it is in the command line" + hint);
  }
}

std::string FileNamePart(const std::string& path) {
  const std::string::size_type sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

void AddLaunchFindings(const IniScan& scan, const std::string& platform,
                       const std::string& launcher_dir, Report* report) {
  if (!report->command_known) return;
  if (report->java_bounds_crossed) {
    Add(report, Severity::kError, "javamax-below-javamin", scan.path(),
        scan.LookupLine(platform, kKeyJavaMax),
        report->java_detail + "; the launcher exits with -108");
  } else if (report->java_searched && !report->java_found) {
    Add(report, Severity::kError, "java-not-found", scan.path(), 0,
        "no Java runtime fits: " + report->java_detail + "; the launcher exits with -108");
  }
  const std::string length =
      IntToString(static_cast<long long>(CommandLineLength(report->command_line))) + " characters";
  const std::string over =
      ", more than the limit of " + IntToString(static_cast<long long>(kMaxCommandLine));
  if (report->too_long && report->arg_file) {
    Add(report, Severity::kNote, "argument-file", "", 0,
        "the command line has " + length + over +
            ": its arguments go to Java through an argument file");
  } else if (report->too_long) {
    Add(report, Severity::kError, "too-long", "", 0,
        "the command line has " + length + over + ": the launcher refuses it (" +
            report->arg_file_refusal + ") and exits with -1");
  }
  const KeyValue* cmd = FindKey(*report, kKeyLauncherCmd);
  const bool has_cmd = cmd != nullptr && !cmd->value.empty() && cmd->value != kPresentButEmpty;
  if (!report->argv.empty() && !report->argv[0].empty()) {
    report->program = platform::FindProgram(report->argv[0], launcher_dir, report->working_folder);
    if (report->program.empty() && has_cmd) {
      const std::string as_path = InFolder(report->working_folder, report->argv[0]);
      const bool folder = platform::GetPathKind(as_path) == platform::PathKind::kDirectory;
      Add(report, Severity::kError, folder ? "program-not-a-file" : "program-not-found",
          FileOf(cmd, scan.path()), cmd->line,
          folder ? Quoted(report->argv[0]) + " is a folder, not a program"
                 : Quoted(report->argv[0]) + " is not found" +
                       (report->argv[0].find_first_of("\\/") == std::string::npos
                            ? std::string(" on the search path")
                            : std::string(" (looked in " + report->working_folder + ")")));
    }
  }
  CheckClassPath(scan, report);
  CheckPlaceholders(scan, platform, report);
  if (report->runner == "uninstall") {
    const bool named = std::any_of(
        report->argv.begin(), report->argv.end(),
        [](const std::string& a) { return EqualsNoCase(FileNamePart(a), kUninstallMarker); });
    Add(report, named ? Severity::kNote : Severity::kWarning,
        named ? "uninstall-run" : "uninstall-by-accident", "", 0,
        std::string(named ? ""
                          : "the command line contains \"uninstall.jar\" inside an "
                            "argument, which makes this ") +
            (named ? "an uninstall run" : "an uninstall run") +
            ": the launcher starts the child from the data folder, does not wait for it, "
            "and exits with 0");
  }
}

}  // namespace check
}  // namespace kb
