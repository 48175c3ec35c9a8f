#include "launcher/child_command.h"

#include <algorithm>

#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "java/java_arg_file.h"
#include "platform/fs.h"
#include "platform/java_places.h"
#include "platform/text.h"

namespace kb {
namespace {

constexpr char kWindowedJava[] = "javaw.exe";
constexpr char kConsoleJava[] = "java.exe";

// The class path as the Java runtime of this platform reads it.
std::string NativeClassPath(const std::string& class_path) {
  std::string out = NormalizeSlashes(class_path);
  const char list_sep = platform::ClassPathSeparator();
  for (char& c : out) {
    if (c == ';') c = list_sep;
  }
  return out;
}

class Assembly {
 public:
  Assembly(DataControl& options, const std::string& tag, const std::string& ini, ChildCommand* out)
      : options_(options), tag_(tag), ini_(ini), out_(out) {}

  // The places of environment text in the value read last.
  std::string Value(const char* key) {
    spans_.clear();
    return Keep(key, options_.GetConfigValue(tag_, key, ini_, &spans_));
  }
  std::string Joined(const char* prefix) {
    spans_.clear();
    return Keep(prefix, options_.JoinNumberedValues(tag_, prefix, ini_, &spans_));
  }
  // Appends `text`, the value read last (or a text of the same length that
  // begins with it), to the line, keeping where its environment text went.
  void Place(std::string* line, const std::string& text, std::vector<TextSpan>* line_spans) {
    for (const TextSpan& span : spans_) {
      if (span.offset >= text.size()) continue;
      line_spans->push_back(TextSpan{line->size() + span.offset,
                                     std::min(span.length, text.size() - span.offset)});
    }
    spans_.clear();
    *line += text;
  }
  void Forget() { spans_.clear(); }
  void Log(const char* tag, const std::string& text) { out_->log.push_back({tag, text}); }

 private:
  std::string Keep(const char* name, const std::string& value) {
    out_->keys.push_back({name, value});
    return value;
  }

  DataControl& options_;
  std::vector<TextSpan> spans_;
  const std::string& tag_;
  const std::string& ini_;
  ChildCommand* out_;
};

}  // namespace

ChildCommand BuildChildCommand(DataControl& options, const std::string& platform_tag,
                               const std::string& ini_file, int kind, const PathOracle& paths) {
  ChildCommand out;
  Assembly read(options, platform_tag, ini_file, &out);
  std::string line;
  // Environment text already in the line: the pass over the finished line
  // leaves it as the variable had it.
  std::vector<TextSpan> env_spans;

  std::string launcher_cmd = read.Value(kKeyLauncherCmd);
  if (launcher_cmd.empty()) {
    // Only a configuration without a program may ask for a search; with a
    // program, "-javamin", "-javamax" and "-javasearch" stay arguments of
    // the child.
    JavaSearchRequest request;
    request.minimum = read.Value(kKeyJavaMin);
    request.maximum = read.Value(kKeyJavaMax);
    request.search = read.Value(kKeyJavaSearch);
    if (!request.minimum.empty() || !request.maximum.empty() || !request.search.empty()) {
      request.launcher_dir = BeforeLast(ini_file, platform::PathSeparator());
      request.windowed = kind == kKindWindowed;
      out.java_searched = true;
      out.java_search = FindJavaRuntime(request);
      for (const std::string& text : out.java_search.log) read.Log(kTagJavaSearch, text);
      // Read only when it is to be shown, so that the key of a run that
      // found its runtime never reaches the child either.
      if (!out.java_search.found) out.java_missing = read.Value(kKeyJavaMissing);
      launcher_cmd = out.java_search.program;
      read.Forget();  // a found program holds no environment text
    }
  }
  if (EndsWithNoCase(launcher_cmd, kWindowedJava)) {
    if (kind == kKindConsole) {
      launcher_cmd.replace(launcher_cmd.size() - (sizeof kWindowedJava - 1), std::string::npos,
                           kConsoleJava);
    }
    out.show_window = true;
    read.Log("launch command=", launcher_cmd);
  }
  if (!launcher_cmd.empty()) {
    launcher_cmd = NormalizeSlashes(launcher_cmd);
    line = "\"";
    read.Place(&line, launcher_cmd, &env_spans);
    line += "\" ";
  }
  out.launcher_command = launcher_cmd;
  read.Log("Launcher::Run::start::launchercmd", launcher_cmd);

  const std::string launcher_args = read.Value(kKeyLauncherArgs);
  if (!launcher_args.empty()) {
    read.Place(&line, launcher_args + " ", &env_spans);
    read.Log("Launcher::Run::start::launcherargs", launcher_args);
  } else {
    const std::string java_args = read.Joined(kKeyJavaArgsPrefix);
    if (!java_args.empty()) {
      read.Place(&line, java_args, &env_spans);
      read.Log("Launcher::Run::start::javaargs", java_args);
    }
    std::string class_path = read.Value(kKeyClasspath);
    if (!class_path.empty()) {
      class_path = NativeClassPath(class_path);
      read.Place(&line, class_path + " ", &env_spans);
      read.Log("Launcher::Run::start::classpath", class_path);
    }
    const std::string main_class = read.Value(kKeyMainClass);
    if (!main_class.empty()) {
      read.Place(&line, main_class + " ", &env_spans);
      read.Log("Launcher::Run::start::mainclass", main_class);
    }
    const std::string addtl_args = read.Joined(kKeyAddtlArgsPrefix);
    if (!addtl_args.empty()) {
      read.Place(&line, addtl_args, &env_spans);
      read.Log("Launcher::Run::start::addtlargs", addtl_args);
    }
  }

  out.pass_through = options.GetArgLine();
  line += out.pass_through;
  PlacedLine placed = PlaceShortFormsInLine(options.ReplaceProperties(line, env_spans), paths);
  out.command_line = std::move(placed.line);
  out.short_forms = std::move(placed.notes);
  for (const std::string& text : ShortFormWarnings(out.short_forms)) {
    out.warnings.push_back({kTagCommandLine, text});
  }
  if (placed.changed) read.Log("launch command=", out.command_line);
  out.too_long = CommandLineTooLong(out.command_line);
  return out;
}

std::string::size_type CommandLineLength(const std::string& command_line) {
  // What the system counts: Windows UTF-16 code units of the line passed
  // to CreateProcessW, POSIX bytes.
  return platform::NativeLength(command_line);
}

bool CommandLineTooLong(const std::string& command_line) {
  return CommandLineLength(command_line) > kMaxCommandLine;
}

}  // namespace kb
