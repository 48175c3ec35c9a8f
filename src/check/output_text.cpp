#include <cstdio>

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

// Text wrapped to the console width, every line after the first indented.
// Lines break only at blanks: a word longer than the room (a path, a long
// argument) runs past the width, whole, so that it can be copied.
std::string Wrap(const std::string& text, std::size_t first_room, std::size_t indent) {
  const std::size_t room = kWidth - 1 - indent;
  std::string out;
  std::string rest = text;
  std::size_t width = first_room;
  while (rest.size() > width) {
    std::string::size_type cut = rest.rfind(' ', width);
    if (cut == std::string::npos || cut == 0) {
      cut = rest.find(' ', 1);
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

std::string Row(const std::string& label_text, const std::string& value_text) {
  const std::string label = Visible(label_text);
  const std::string value = Visible(value_text);
  std::string head = "  " + label;
  if (head.size() + 1 > kLabel) {
    return "  " + Wrap(label, kWidth - 3, 2) + "\n" + std::string(kLabel, ' ') +
           Wrap(value, kWidth - 1 - kLabel, kLabel) + "\n";
  }
  head += std::string(kLabel - head.size(), ' ');
  return head + Wrap(value, kWidth - 1 - kLabel, kLabel) + "\n";
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

std::string ToText(const Report& r) {
  std::string out;
  out += Row("configuration", r.config_file);
  out += Row("platform", r.platform + (r.platform_given ? " (given)" : " (this machine)"));
  out += Row("launcher", r.launcher + (r.kind == kKindConsole ? " (console)" : " (windowed)"));
  if (!r.master.named) {
    out += Row("master file", "none");
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
    out += Row("master file", master);
  }

  if (!r.user_file.empty()) out += Row("user file", r.user_file + " (" + r.user_file_state + ")");

  out += "\nKeys\n";
  for (const KeyValue& k : r.keys) {
    const std::string source = KeySource(k);
    out += Row(k.key, ShowValue(k.value) + (source.empty() ? "" : "  (" + source + ")"));
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
    out += Row("<" + p.name + ">", text + ")");
  }

  out += "\nLaunch\n";
  out += Row("working folder", r.working_folder + " (" + r.working_folder_reason + ")");
  out += Row("log file", r.log_file);
  out += Row("temporary", r.temp_folder.empty() ? "(none)" : r.temp_folder);
  if (!r.clean_folder.empty()) out += Row("cleanup script", "removes " + r.clean_folder);
  std::string guard = r.guard_id.empty() ? "no id" : "id " + r.guard_id;
  if (r.norunwith.empty()) guard += "; norunwith: none";
  for (const GuardEntry& g : r.norunwith) {
    guard +=
        "; \"" + g.id + "\"" + (g.display.empty() ? "" : " (" + g.display + ")") + " " + g.state;
  }
  out += Row("guard", guard);
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
  out += Row("runner", runner);
  if (r.arg_file) out += Row("argument file", "the arguments go to java through an @-file");
  if (!r.java_cache.empty()) {
    out += Row("java cache", (r.java_cache_exists ? "uses " : "creates ") + r.java_cache);
  } else if (!r.java_cache_refusal.empty()) {
    out += Row("java cache", "none: " + r.java_cache_refusal);
  }
  for (const std::string& line : r.java_log) out += Row("java search", line);

  out += "\nCommand line\n";
  if (!r.command_known) {
    out += "  (not predicted)\n";
  } else {
    out += "  " + Wrap(Visible(r.command_line), kWidth - 3, 2) + "\n";
    out += "\nArguments the child receives\n";
    for (std::size_t i = 0; i < r.argv.size(); ++i) {
      std::string arg = r.argv[i].empty() ? "(empty)" : Visible(r.argv[i]);
      if (!r.argv[i].empty() && (r.argv[i].front() == ' ' || r.argv[i].back() == ' ')) {
        arg = "[" + arg + "]";
      }
      if (i == 0) arg += r.program.empty() ? "  (not found)" : "  -> " + r.program;
      for (const Report::ShortForm& change : r.short_forms) {
        if (r.argv[i].find(change.short_form) != std::string::npos) {
          arg += "  (short form of " + Visible(change.original) + ")";
          break;
        }
      }
      std::string index = Num(i);
      index = std::string(index.size() < 4 ? 4 - index.size() : 0, ' ') + index + "  ";
      out += index + Wrap(arg, kWidth - 1 - index.size(), index.size()) + "\n";
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
    out += head + Wrap(text, kWidth - 1 - head.size(), head.size()) + "\n";
  }
  out += "\n" + Plural(r.Count(Severity::kError), "error") + ", " +
         Plural(r.Count(Severity::kWarning), "warning") + ", " +
         Plural(r.Count(Severity::kNote), "note") + "\n";
  return out;
}

}  // namespace check
}  // namespace kb
