// The findings in the file itself: structure, keys, numbering, values cut,
// the guard's keys and the master file.
#include <algorithm>
#include <limits>
#include <map>

#include "check/analysis.h"
#include "check/finding_helpers.h"
#include "check/known_keys.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "platform/text.h"

namespace kb {
namespace check {
namespace {

// The lookups read into a buffer of 4,096 units of the system's profile
// service (UTF-16 units on Windows, bytes elsewhere): one for the final NUL.
constexpr std::size_t kLongestValue = 4095;

using Key = IniScan::Key;
using Section = IniScan::Section;

bool IsLaunchSection(const std::string& name) {
  return EqualsNoCase(name, kPlatformWin) || EqualsNoCase(name, kPlatformWx6) ||
         EqualsNoCase(name, kSectionLinux) || EqualsNoCase(name, kSectionWindows) ||
         EqualsNoCase(name, kSectionDefault);
}

bool IsKnownSection(const std::string& name) {
  const std::vector<std::string>& known = KnownSections();
  return std::any_of(known.begin(), known.end(),
                     [&](const std::string& k) { return EqualsNoCase(k, name); });
}

// Lines the service keeps but never answers for and that are plainly
// comments.
bool IsComment(const Key& key) {
  if (!key.name.empty() && key.name[0] == ';') return true;
  return !key.has_value && !key.name.empty() && key.name[0] == '#';
}

// The number of a numbered key ("JavaArgs_12" -> 12), saturated.
unsigned long long NumberOf(const std::string& canonical, const std::string& prefix) {
  unsigned long long n = 0;
  for (char c : canonical.substr(prefix.size())) {
    if (n > std::numeric_limits<unsigned long long>::max() / 20) return n;
    n = n * 10 + static_cast<unsigned long long>(c - '0');
  }
  return n;
}

void CheckKeyNames(const IniScan& scan, const Section& section, Report* report) {
  const std::string& file = scan.path();
  for (const Key& key : section.keys) {
    if (IsComment(key) || !key.has_value) continue;
    const auto first = section.first_key.find(ToLowerAscii(key.name));
    if (first != section.first_key.end() && &section.keys[first->second] != &key) continue;
    const std::string canonical = CanonicalKey(key.name);
    if (canonical.empty()) {
      const std::string closest = ClosestKey(key.name);
      Add(report, Severity::kWarning, "unknown-key", file, key.line,
          Quoted(key.name) + " in [" + section.name + "] is not a key the launcher reads" +
              (closest.empty() ? std::string() : ": did you mean " + Quoted(closest) + "?"));
      continue;
    }
    if (canonical == key.name) continue;
    std::string value;
    scan.reader().ReadString(section.name, key.name, kLongestValue + 1, &value);
    if (value.empty()) {
      Add(report, Severity::kWarning, "case-mismatch", file, key.line,
          Quoted(key.name + "=") + " is empty, but the present-but-empty test looks for " +
              Quoted(canonical) + " written exactly so: it counts as absent here" +
              (EqualsNoCase(section.name, kSectionDefault)
                   ? std::string()
                   : ", and the sections read after [" + section.name + "] are read instead"));
    } else {
      Add(report, Severity::kNote, "key-case", file, key.line,
          Quoted(key.name) + " is read as " + Quoted(canonical) +
              " (letter case only matters for an empty value)");
    }
  }
}

// Structure of every section, and the keys of the sections that are read.
void CheckStructure(const IniScan& scan, Report* report) {
  const std::string& file = scan.path();
  for (const std::size_t line : scan.utf8_lines()) {
    Add(report, Severity::kWarning, "utf8-without-mark", file, line,
        "this line holds UTF-8 text, but a file without a byte-order mark is read in the "
        "ANSI code page, so these characters reach the launch as others: save plain Latin "
        "text in the ANSI code page, anything else as UTF-16LE with a byte-order mark");
  }
  const std::vector<Section>& sections = scan.reader().Sections();
  std::map<std::string, std::size_t> seen;  // lower-cased name -> first line
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    if (i == 0) {
      for (const Key& key : section.keys) {
        if (IsComment(key) || key.name.empty()) continue;
        if (key.line == 1 && scan.utf8_bom() && key.name.compare(0, 4, "\xEF\xBB\xBF[") == 0) {
          Add(report, Severity::kWarning, "utf8-bom", file, 1,
              "the file starts with a UTF-8 byte-order mark, which Windows reads as part of "
              "line 1: the section written there is not found (save without the mark)");
          continue;
        }
        Add(report, Severity::kWarning, "outside-section", file, key.line,
            Quoted(key.name) + " stands before any section and is never read");
      }
      continue;
    }
    const std::string lower = ToLowerAscii(section.name);
    if (!IsKnownSection(section.name)) {
      const std::string closest = ClosestSection(section.name);
      if (!closest.empty()) {
        Add(report, Severity::kWarning, "unknown-section", file, section.line,
            "[" + section.name + "] is never read: did you mean [" + closest + "]?");
      } else {
        Add(report, Severity::kNote, "unknown-section", file, section.line,
            "[" + section.name + "] is not a section the launcher reads");
      }
      continue;
    }
    const auto earlier = seen.find(lower);
    if (earlier != seen.end()) {
      Add(report, Severity::kWarning, "duplicate-section", file, section.line,
          "[" + section.name + "] is written again (first at line " +
              IntToString(static_cast<long long>(earlier->second)) +
              "): only the first is read, so the keys below this one are ignored");
      continue;
    }
    seen.emplace(lower, section.line);

    std::map<std::string, std::size_t> first_line;
    for (const Key& key : section.keys) {
      if (IsComment(key)) continue;
      if (!key.has_value) {
        if (!key.name.empty()) {
          Add(report, Severity::kWarning, "missing-equals", file, key.line,
              Quoted(key.name) + " has no `=`: the line is ignored");
        }
        continue;
      }
      const auto dup = first_line.emplace(ToLowerAscii(key.name), key.line);
      if (!dup.second) {
        Add(report, Severity::kWarning, "duplicate-key", file, key.line,
            Quoted(key.name) + " is written again in [" + section.name + "] (first at line " +
                IntToString(static_cast<long long>(dup.first->second)) +
                "): only the first is read");
        continue;
      }
      // The scan holds the value in UTF-8, whose byte count (the answer,
      // left unused) is not what the launcher's reader counts: 3,000 "e
      // acute" of an ANSI file are 3,000 UTF-16 units on Windows, not the
      // 6,000 bytes of their UTF-8.
      std::string value;
      (void)scan.reader().ReadString(section.name, key.name,
                                     std::numeric_limits<std::size_t>::max(), &value);
      const std::size_t length = platform::NativeLength(value);
      if (length > kLongestValue) {
        Add(report, Severity::kWarning, "value-cut", file, key.line,
            "the value of " + Quoted(key.name) + " has " +
                IntToString(static_cast<long long>(length)) + " " +
                platform::NativeLengthUnit() + ": the launcher reads only the first 4,095");
      }
    }
    if (IsLaunchSection(section.name)) {
      CheckKeyNames(scan, section, report);
    } else if (EqualsNoCase(section.name, kSectionProperties)) {
      for (const Key& key : section.keys) {
        if (key.has_value && key.name != kKeyMasterProp && EqualsNoCase(key.name, kKeyMasterProp)) {
          Add(report, Severity::kWarning, "case-mismatch", file, key.line,
              Quoted(key.name) + " is an ordinary property: only " + Quoted(kKeyMasterProp) +
                  ", written exactly so, names a master property file");
        }
      }
    }
  }
}

void CheckNumbering(const IniScan& scan, const std::string& platform, Report* report) {
  const KeyValue* launcher_args = FindKey(*report, kKeyLauncherArgs);
  if (launcher_args != nullptr && !launcher_args->value.empty()) return;  // not read at all
  for (const std::string& prefix : NumberedKeyPrefixes()) {
    // The launch's own reading says where the list stops: overrides and
    // the user file fill gaps as much as the file's keys do.
    unsigned long long stop = 1;
    while (FindKey(*report, prefix + IntToString(static_cast<long long>(stop))) != nullptr) ++stop;
    for (const std::string& name : LookupSections(platform)) {
      const Section* section = scan.FirstSection(name);
      if (section == nullptr) continue;
      for (const Key& key : section->keys) {
        if (!key.has_value) continue;
        const std::string canonical = CanonicalKey(key.name);
        if (canonical.compare(0, prefix.size(), prefix) != 0 || canonical == prefix) continue;
        if (NumberOf(canonical, prefix) <= stop) continue;
        Add(report, Severity::kWarning, "numbering-gap", scan.path(), key.line,
            Quoted(key.name) + " is never read: " + prefix +
                IntToString(static_cast<long long>(stop)) +
                " is missing, and numbered keys stop at the first missing number");
      }
    }
  }
}

void CheckLauncherArgs(const IniScan& scan, const std::string& platform, Report* report) {
  const KeyValue* launcher_args = FindKey(*report, kKeyLauncherArgs);
  if (launcher_args == nullptr || launcher_args->value.empty()) return;
  std::string ignored;
  for (const std::string& name : LookupSections(platform)) {
    const Section* section = scan.FirstSection(name);
    if (section == nullptr) continue;
    for (const Key& key : section->keys) {
      if (!key.has_value || !IsJavaKey(key.name)) continue;
      ignored += (ignored.empty() ? "" : ", ") + key.name + " (line " +
                 IntToString(static_cast<long long>(key.line)) + ")";
    }
  }
  if (ignored.empty()) return;
  Add(report, Severity::kWarning, "launcherargs-beside-java-keys", scan.path(), launcher_args->line,
      "launcherargs is set, so these keys are ignored: " + ignored);
}

void CheckGuard(const IniScan& scan, const std::string& platform, Report* report) {
  const std::string list = ReadIniValue(platform, kKeyNoRunWith, scan.path());
  const std::size_t line = scan.LookupLine(platform, kKeyNoRunWith);
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = list.find(',', start);
    const std::string raw = TrimRightChars(
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start), " ");
    if (!raw.empty() && raw[0] == ' ' && !TrimChars(raw, " ").empty()) {
      Add(report, Severity::kWarning, "norunwith-blank", scan.path(), line,
          "the norunwith entry " + Quoted(raw) +
              " keeps its leading blank and never matches an id: write the list without "
              "blanks after the commas");
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  const std::string id = ToLowerAscii(report->guard_id);
  if (id.empty()) return;
  for (const GuardEntry& entry : report->norunwith) {
    if (entry.id == id) {
      const KeyValue* kv = FindKey(*report, kKeyId);
      Add(report, Severity::kNote, "single-instance", scan.path(), kv ? kv->line : 0,
          "id " + Quoted(report->guard_id) +
              " is in its own norunwith list: only one copy runs at a time");
      return;
    }
  }
}

void CheckLauncherCmd(const IniScan& scan, Report* report) {
  const KeyValue* cmd = FindKey(*report, kKeyLauncherCmd);
  if (cmd == nullptr) return;
  // Without launchercmd, javamin or javasearch make the launcher search for
  // a runtime; whether one is found is a launch finding.
  if (cmd->value.empty() && report->java_searched) return;
  if (cmd->value.empty()) {
    Add(report, Severity::kError, "launchercmd-missing", scan.path(), 0,
        "launchercmd is not set: the command line would start with its first argument");
  } else if (cmd->value == kPresentButEmpty) {
    Add(report, Severity::kError, "launchercmd-missing", scan.path(), cmd->line,
        "launchercmd is empty: the command line would start with an empty program");
  } else if (report->kind == kKindConsole && EndsWithNoCase(cmd->value, "javaw.exe")) {
    Add(report, Severity::kNote, "javaw-rewrite", scan.path(), cmd->line,
        "javaw.exe is started as java.exe, so that its output can be relayed");
  }
}

void CheckMaster(const IniScan& scan, Report* report) {
  const MasterFile& master = report->master;
  if (!master.named) return;
  const std::size_t line = scan.LineOf(kSectionProperties, kKeyMasterProp);
  // An empty MASTERPROP names no file: it is the way to have <WORKINGDIR>
  // and <LAUNCHERDIR> without one, so there is nothing to miss.
  if (!master.found && !TrimWhitespace(master.value).empty()) {
    Add(report, Severity::kWarning, "master-missing", scan.path(), line,
        "the master property file " + Quoted(master.value) + " cannot be read" +
            (master.path.empty() ? std::string() : " (tried " + master.path + ")"));
  }
  for (const std::string& name : master.shadowed) {
    Add(report, Severity::kNote, "property-shadowed", scan.path(),
        scan.LineOf(kSectionProperties, name),
        "property " + Quoted(name) + " is also in the master file; this file's value wins");
  }
}

}  // namespace

void AddFileFindings(const IniScan& scan, const std::string& platform, Report* report) {
  CheckStructure(scan, report);
  CheckNumbering(scan, platform, report);
  CheckLauncherArgs(scan, platform, report);
  CheckLauncherCmd(scan, report);
  CheckGuard(scan, platform, report);
  CheckMaster(scan, report);
}

}  // namespace check
}  // namespace kb
