#include <cstdio>
#include <string>
#include <vector>

#include "check/output.h"
#include "common/constants.h"
#include "common/text.h"

namespace kb {
namespace check {
namespace {

constexpr std::size_t kWidth = 80;
constexpr std::size_t kLabel = 17;  // two blanks, the label, at least one blank

// Control characters made visible; everything else as it is.
std::string Visible(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    const unsigned char c = static_cast<unsigned char>(ch);
    if (const unsigned lone = LoneSurrogateAt(text, i)) {
      // An unpaired surrogate of a Windows name shows as its unit.
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", lone);
      out += buffer;
      i += 2;
    } else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    } else {
      out += ch;
    }
  }
  return out;
}

// Texts that are never broken across lines: the paths the report names.
// A path with blanks ("C:\\Program Files\\Tally") broken at a blank could not
// be copied.
using Whole = std::vector<std::string>;

// True when a break at `at` in `text` falls inside an occurrence of one of
// the whole texts.
bool InsideWhole(const std::string& text, std::size_t at, const Whole& whole) {
  for (const std::string& w : whole) {
    if (w.find(' ') == std::string::npos) continue;  // breaks only at blanks
    for (std::string::size_type start = text.find(w); start != std::string::npos;
         start = text.find(w, start + 1)) {
      if (start < at && at < start + w.size()) return true;
      if (start > at) break;
    }
  }
  return false;
}

// The last blank at or before `limit` that breaks no whole text, or npos.
std::string::size_type BreakBefore(const std::string& text, std::size_t limit,
                                   const Whole& whole) {
  for (std::string::size_type cut = text.rfind(' ', limit); cut != std::string::npos && cut > 0;
       cut = cut == 0 ? std::string::npos : text.rfind(' ', cut - 1)) {
    if (!InsideWhole(text, cut, whole)) return cut;
  }
  return std::string::npos;
}

// The first blank after the start that breaks no whole text, or npos.
std::string::size_type BreakAfter(const std::string& text, const Whole& whole) {
  for (std::string::size_type cut = text.find(' ', 1); cut != std::string::npos;
       cut = text.find(' ', cut + 1)) {
    if (!InsideWhole(text, cut, whole)) return cut;
  }
  return std::string::npos;
}

// Text wrapped to the console width, every line after the first indented.
// Lines break only at blanks, and never inside a whole text: a word or path
// longer than the room runs past the width, whole, so that it can be copied.
std::string Wrap(const std::string& text, std::size_t first_room, std::size_t indent,
                 const Whole& whole) {
  const std::size_t room = kWidth - 1 - indent;
  std::string out;
  std::string rest = text;
  std::size_t width = first_room;
  while (rest.size() > width) {
    std::string::size_type cut = BreakBefore(rest, width, whole);
    if (cut == std::string::npos) {
      cut = BreakAfter(rest, whole);
      if (cut == std::string::npos) break;
    }
    out += rest.substr(0, cut) + "\n" + std::string(indent, ' ');
    rest = rest.substr(cut);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    width = room;
  }
  // A text that ends in a blank leaves no empty line behind.
  if (rest.empty() && out.size() >= indent + 1) out.erase(out.size() - indent - 1);
  return out + rest;
}

std::string Row(const Whole& whole, const std::string& label_text, const std::string& value_text) {
  const std::string label = Visible(label_text);
  const std::string value = Visible(value_text);
  std::string head = "  " + label;
  if (head.size() + 1 > kLabel) {
    return "  " + Wrap(label, kWidth - 3, 2, whole) + "\n" + std::string(kLabel, ' ') +
           Wrap(value, kWidth - 1 - kLabel, kLabel, whole) + "\n";
  }
  head += std::string(kLabel - head.size(), ' ');
  return head + Wrap(value, kWidth - 1 - kLabel, kLabel, whole) + "\n";
}

// Every path the report names, as it is shown.
Whole PathsOf(const Report& r) {
  Whole whole = {r.config_file,     r.launcher,   r.launcher_reads, r.user_file,
                 r.working_folder,  r.log_file,   r.temp_folder,    r.clean_folder,
                 r.java_cache,      r.program,    r.master.path,    r.master.value};
  whole.insert(whole.end(), r.argv.begin(), r.argv.end());
  whole.insert(whole.end(), r.java_homes.begin(), r.java_homes.end());
  for (const Report::ShortForm& change : r.short_forms) whole.push_back(change.original);
  for (const Finding& f : r.findings) whole.push_back(f.file);
  for (std::string& w : whole) w = Visible(w);
  return whole;
}

std::string Num(std::size_t n) { return IntToString(static_cast<long long>(n)); }

std::string ShowValue(const std::string& value) {
  if (value.empty()) return "(absent)";
  if (value == kPresentButEmpty) return "(empty)";
  return Visible(value);
}

std::string KeySource(const KeyValue& k) {
  std::string where;
  if (k.source == "override") return "from the command line";
  if (k.source == "absent") return "";
  if (k.source == "not read") where = "not read: launcherargs is set; ";
  if (k.source == "present-but-empty") where = "present but empty, ";
  if (!k.section.empty()) where += "[" + k.section + "]";
  if (k.line > 0) where += " line " + Num(k.line);
  if (!k.file.empty()) where += " of the user file";
  return where;
}

std::string Plural(std::size_t n, const char* word) {
  return Num(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

std::vector<std::string> WholeTexts(const Report& report) { return PathsOf(report); }

std::string ToText(const Report& r) {
  const Whole whole = PathsOf(r);
  std::string out;
  out += Row(whole, "configuration", r.config_file);
  out += Row(whole, "platform", r.platform + (r.platform_given ? " (given)" : " (this machine)"));
  out += Row(whole, "launcher", r.launcher + " (" + (r.kind == kKindConsole ? "console" : "windowed") +
                             (r.kind_from == "name" ? ", by its name" : "") +
                             (r.launcher_version.empty() ? "" : ", version " + r.launcher_version) +
                             ")");
  if (!r.master.named) {
    out += Row(whole, "master file", "none");
  } else if (r.master.value.empty()) {
    out += Row(whole, "master file", "none by choice: the empty MASTERPROP= names no file");
  } else {
    std::string master = Visible(r.master.value) +
                         (r.master.found ? ": read " : ": not found, tried ") + r.master.path;
    if (!r.master.added.empty()) {
      master += "; adds";
      for (const std::string& name : r.master.added) master += " " + name;
    }
    if (!r.master.shadowed.empty()) {
      master += "; shadowed here:";
      for (const std::string& name : r.master.shadowed) master += " " + name;
    }
    out += Row(whole, "master file", master);
  }

  if (!r.user_file.empty()) out += Row(whole, "user file", r.user_file + " (" + r.user_file_state + ")");

  out += "\nKeys\n";
  for (const KeyValue& k : r.keys) {
    const std::string source = KeySource(k);
    out += Row(whole, k.key, ShowValue(k.value) + (source.empty() ? "" : "  (" + source + ")"));
  }

  out += "\nProperties\n";
  if (r.properties.empty()) out += "  none\n";
  for (const Property& p : r.properties) {
    std::string text = Visible(p.value) + "  (" + p.origin;
    if (p.line > 0) text += " line " + Num(p.line);
    if (p.used_by.empty()) {
      text += ", not used";
    } else {
      text += ", used by";
      for (const std::string& use : p.used_by) text += " " + use;
    }
    out += Row(whole, "<" + p.name + ">", text + ")");
  }

  out += "\nLaunch\n";
  out += Row(whole, "working folder", r.working_folder + " (" + r.working_folder_reason + ")");
  out += Row(whole, "log file", r.log_file);
  out += Row(whole, "temporary", r.temp_folder.empty() ? "(none)" : r.temp_folder);
  if (!r.clean_folder.empty()) out += Row(whole, "cleanup script", "removes " + r.clean_folder);
  std::string guard = r.guard_id.empty() ? "no id" : "id " + r.guard_id;
  if (r.norunwith.empty()) guard += "; norunwith: none";
  for (const GuardEntry& g : r.norunwith) {
    guard +=
        "; \"" + g.id + "\"" + (g.display.empty() ? "" : " (" + g.display + ")") + " " + g.state;
  }
  out += Row(whole, "guard", guard);
  std::string runner;
  if (r.runner == "no-properties") {
    runner = "none: the properties cannot be used; the launcher exits with -103";
  } else if (r.runner == "no-java") {
    runner = "none: no Java runtime fits; the launcher exits with -108";
  } else if (r.runner == "refused") {
    runner = "none: the command line is too long; the launcher exits with -1";
  } else if (r.runner == "uninstall") {
    runner =
        "uninstall run: started from the data folder; the launcher does not wait and "
        "exits with 0";
  } else if (r.runner == "hidden") {
    runner = "hidden (-noconsole): the launcher waits; output is not relayed";
  } else {
    runner = r.kind == kKindConsole
                 ? "relayed: output copied to the log and the console; the launcher waits"
                 : "relayed: output copied to the log (no console); the launcher waits";
  }
  out += Row(whole, "runner", runner);
  if (r.arg_file) out += Row(whole, "argument file", "the arguments go to java through an @-file");
  if (!r.java_cache.empty()) {
    out += Row(whole, "java cache", (r.java_cache_exists ? "uses " : "creates ") + r.java_cache);
  } else if (!r.java_cache_refusal.empty()) {
    out += Row(whole, "java cache", "none: " + r.java_cache_refusal);
  }
  for (const std::string& line : r.java_log) out += Row(whole, "java search", line);

  out += "\nCommand line\n";
  if (!r.command_known) {
    out += "  (not predicted)\n";
  } else {
    // The blank that ends every line is in the JSON document's copy; shown
    // here it would only be a trailing blank.
    out += "  " + Wrap(TrimRightChars(Visible(r.command_line), " "), kWidth - 3, 2, whole) + "\n";
    out += "\nArguments the child receives\n";
    // Without a runtime the line has no program: its first piece is an
    // option, which would be no program either, and nothing is started.
    const bool no_program = r.java_searched && !r.java_found;
    if (no_program) out += "   0  (no program: no Java runtime fits, nothing is started)\n";
    for (std::size_t i = 0; i < r.argv.size(); ++i) {
      std::string arg = r.argv[i].empty() ? "(empty)" : Visible(r.argv[i]);
      if (!r.argv[i].empty() && (r.argv[i].front() == ' ' || r.argv[i].back() == ' ')) {
        arg = "[" + arg + "]";
      }
      if (i == 0 && !no_program) arg += r.program.empty() ? "  (not found)" : "  -> " + r.program;
      for (const Report::ShortForm& change : r.short_forms) {
        if (r.argv[i].find(change.short_form) != std::string::npos) {
          arg += "  (short form of " + Visible(change.original) + ")";
          break;
        }
      }
      std::string index = Num(no_program ? i + 1 : i);
      index = std::string(index.size() < 4 ? 4 - index.size() : 0, ' ') + index + "  ";
      out += index + Wrap(arg, kWidth - 1 - index.size(), index.size(), whole) + "\n";
    }
  }

  out += "\nFindings\n";
  if (r.findings.empty()) out += "  none\n";
  for (const Finding& f : r.findings) {
    std::string head = std::string("  ") + SeverityName(f.severity);
    head += std::string(11 - head.size(), ' ');
    // A finding in another file (the user file) names it.
    std::string where = f.line > 0 ? "line " + Num(f.line) : std::string();
    if (!f.file.empty() && f.file != r.config_file) {
      where = f.file + (where.empty() ? "" : " " + where);
    }
    const std::string text = (where.empty() ? where : where + ": ") + Visible(f.message);
    out += head + Wrap(text, kWidth - 1 - head.size(), head.size(), whole) + "\n";
  }
  out += "\n" + Plural(r.Count(Severity::kError), "error") + ", " +
         Plural(r.Count(Severity::kWarning), "warning") + ", " +
         Plural(r.Count(Severity::kNote), "note") + "\n";
  return out;
}

}  // namespace check
}  // namespace kb
