#include "java/short_forms.h"

#include "common/command_line.h"
#include "java/java_runtime.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace kb {
namespace {

class SystemOracle : public PathOracle {
 public:
  char32_t FirstUnholdable(const std::string& text) const override {
    return platform::FirstUnholdable(text);
  }
  bool Exists(const std::string& path) const override { return platform::PathExists(path); }
  int ShortForm(const std::string& path, std::string* short_form) const override {
    return platform::ShortPathName(path, short_form);
  }
  std::string ToCodePage(const std::string& text) const override {
    return platform::ToSystemText(text);
  }
  std::string FromCodePage(const std::string& bytes) const override {
    return platform::SystemTextToUtf8(bytes);
  }
  LeadBytes CodePageLeadBytes() const override { return platform::AnsiLeadBytes(); }
};

// Each ";"-separated entry of the value given in its short form.
std::string ShortEntries(const std::string& value, const PathOracle& oracle, ShortForms* notes) {
  std::string out;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = value.find(';', start);
    const std::string entry =
        value.substr(start, end == std::string::npos ? std::string::npos : end - start);
    out += ShortFormOf(entry, oracle, notes);
    if (end == std::string::npos) return out;
    out += ';';
    start = end + 1;
  }
}

// The argument with the path-like text in it given in short form: the text
// after a leading "@" (an argument file); for an option with a ':' before
// any '=' ("-javaagent:<path>=<options>", "-agentpath:..."), the text
// between the two and the text after the '='; else the text after the
// first '=' ("-Dapp.home=<path>"); else the whole argument.
std::string ShortValues(const std::string& argument, const PathOracle& oracle, ShortForms* notes) {
  if (!argument.empty() && argument[0] == '@') {
    return "@" + ShortEntries(argument.substr(1), oracle, notes);
  }
  const std::string::size_type eq = argument.find('=');
  const std::string::size_type colon =
      !argument.empty() && argument[0] == '-' ? argument.find(':') : std::string::npos;
  if (colon != std::string::npos && colon < eq) {
    const std::string path =
        argument.substr(colon + 1, eq == std::string::npos ? eq : eq - colon - 1);
    std::string out = argument.substr(0, colon + 1) + ShortEntries(path, oracle, notes);
    if (eq != std::string::npos) out += "=" + ShortEntries(argument.substr(eq + 1), oracle, notes);
    return out;
  }
  if (eq != std::string::npos) {
    return argument.substr(0, eq + 1) + ShortEntries(argument.substr(eq + 1), oracle, notes);
  }
  return ShortEntries(argument, oracle, notes);
}

}  // namespace

const PathOracle& SystemPathOracle() {
  static const SystemOracle oracle;
  return oracle;
}

char32_t FolderPathOracle::FirstUnholdable(const std::string& text) const {
  return platform::FirstUnholdable(text);
}

std::string FolderPathOracle::ToCodePage(const std::string& text) const {
  return SystemPathOracle().ToCodePage(text);
}

std::string FolderPathOracle::FromCodePage(const std::string& bytes) const {
  return SystemPathOracle().FromCodePage(bytes);
}

LeadBytes FolderPathOracle::CodePageLeadBytes() const {
  return SystemPathOracle().CodePageLeadBytes();
}

std::string FolderPathOracle::InFolder(const std::string& path) const {
  if (folder_.empty() || platform::IsRootedPath(path)) return path;
  const char sep = platform::PathSeparator();
  return folder_.back() == sep ? folder_ + path : folder_ + sep + path;
}

bool FolderPathOracle::Exists(const std::string& path) const {
  return platform::PathExists(InFolder(path));
}

int FolderPathOracle::ShortForm(const std::string& path, std::string* short_form) const {
  const std::string full = InFolder(path);
  const int error = platform::ShortPathName(full, short_form);
  if (error != 0 || full == path) return error;
  // The child is given the entry as relative as the line has it; the
  // folder's own part is cut off in its short spelling.
  std::string folder_short;
  if (platform::ShortPathName(folder_, &folder_short) != 0) return 0;
  if (!folder_short.empty() && folder_short.back() != platform::PathSeparator()) {
    folder_short += platform::PathSeparator();
  }
  if (short_form->compare(0, folder_short.size(), folder_short) == 0) {
    short_form->erase(0, folder_short.size());
  }
  return 0;
}

std::string ShortFormOf(const std::string& path, const PathOracle& oracle, ShortForms* notes) {
  if (path.empty() || oracle.FirstUnholdable(path) == 0 || !oracle.Exists(path)) return path;
  std::string short_form;
  // A volume without short names answers the long name, which the page
  // still cannot hold.
  if (oracle.ShortForm(path, &short_form) != 0 || short_form.empty() ||
      oracle.FirstUnholdable(short_form) != 0) {
    notes->no_short_name.push_back(path);
    return path;
  }
  notes->changes.push_back({path, short_form});
  return short_form;
}

std::vector<std::string> PlaceShortForms(const std::vector<std::string>& arguments,
                                         const PathOracle& oracle, ShortForms* notes) {
  std::vector<std::string> out;
  out.reserve(arguments.size());
  for (const std::string& argument : arguments) {
    if (oracle.FirstUnholdable(argument) == 0) {
      out.push_back(argument);
      continue;
    }
    const std::size_t missing_before = notes->no_short_name.size();
    std::string placed;
    if (oracle.Exists(argument)) {
      placed = ShortFormOf(argument, oracle, notes);
    } else {
      placed = ShortValues(argument, oracle, notes);
    }
    // A path without a short name has its own warning already.
    const char32_t left = oracle.FirstUnholdable(placed);
    if (left != 0 && notes->no_short_name.size() == missing_before) {
      notes->unholdable.push_back({argument, left, oracle.FromCodePage(oracle.ToCodePage(placed))});
    }
    out.push_back(placed);
  }
  return out;
}

bool IsJavaRuntimeLine(const std::string& line) {
  const std::vector<std::string> arguments = SplitCommandLine(line);
  JavaRuntime runtime;
  return !arguments.empty() && IdentifyJavaRuntime(arguments.front(), &runtime);
}

PlacedLine PlaceShortFormsInLine(const std::string& line, const PathOracle& oracle) {
  PlacedLine out;
  out.line = line;
  if (oracle.FirstUnholdable(line) == 0 || !IsJavaRuntimeLine(line)) return out;
  const std::vector<LineArgument> source = SplitCommandLine(line, LeadBytes());
  std::vector<std::string> arguments;
  for (const LineArgument& argument : source) arguments.push_back(argument.text);
  const std::vector<std::string> placed = PlaceShortForms(arguments, oracle, &out.notes);
  out.line = CodePageLine(source, placed, oracle);
  out.changed = true;
  return out;
}

std::string CodePageLine(const std::vector<LineArgument>& source,
                         const std::vector<std::string>& arguments, const PathOracle& oracle) {
  if (arguments.empty()) return std::string();
  const LeadBytes lead = oracle.CodePageLeadBytes();
  // The program token knows no escapes: plain quotes, as the line gives it.
  std::string bytes = "\"" + oracle.ToCodePage(arguments.front()) + "\"";
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const bool bare =
        i < source.size() && source[i].bare_wildcard && oracle.FirstUnholdable(arguments[i]) == 0;
    bytes += ' ';
    bytes += QuoteArgument(oracle.ToCodePage(arguments[i]), lead, !bare);
  }
  return oracle.FromCodePage(bytes);
}

std::vector<std::string> ShortFormWarnings(const ShortForms& notes) {
  std::vector<std::string> lines;
  for (const std::string& path : notes.no_short_name) {
    lines.push_back("no short (8.3) name for " + path +
                    ": the volume keeps none, and the Java runtime reads its command line "
                    "through the ANSI code page, which cannot hold this name");
  }
  for (const ShortForms::Unholdable& entry : notes.unholdable) {
    lines.push_back("the argument \"" + entry.argument + "\" holds " +
                    platform::CodePointName(entry.code_point) +
                    ", which the ANSI code page cannot hold; the Java runtime receives \"" +
                    entry.received + "\", with \"?\" for each character the page cannot hold");
  }
  return lines;
}

}  // namespace kb
