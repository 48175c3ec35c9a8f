#include "java/java_arg_file.h"


#include "common/command_line.h"
#include "common/text.h"
#include "env/env_calls.h"
#include "java/java_runtime.h"
#include "java/short_forms.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace kb {
namespace {

// Argument files arrived with Java 9.
constexpr int kFirstArgFileFeature = 9;
constexpr char kArgFilePrefix[] = "kb-args-";
constexpr char kArgFileSuffix[] = ".txt";

}  // namespace

std::string QuoteForJavaArgFile(const std::string& argument) {
  std::string out = "\"";
  for (char c : argument) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        out += c;
        break;
    }
  }
  return out + "\"";
}

std::string JavaArgFileText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) text += QuoteForJavaArgFile(argument) + "\n";
  return text;
}

namespace {

// Java options whose value is the next argument, so that the value is not
// taken for the main class.
constexpr const char* kOptionsWithValue[] = {"-cp",           "-classpath",
                                             "--class-path",  "-p",
                                             "--module-path", "--upgrade-module-path",
                                             "--add-modules", "--limit-modules",
                                             "--add-reads",   "--add-exports",
                                             "--add-opens",   "--patch-module",
                                             "--source",      "--enable-native-access"};

// Where Java is in reading its own options: an "@file" is expanded only
// before the main class, and not after "--disable-@files".
class OptionScan {
 public:
  bool Expands() const { return !main_seen_ && !disabled_; }
  bool MainSeen() const { return main_seen_; }
  JavaLaunch::Start start() const { return start_; }

  void See(const std::string& argument) {
    if (main_seen_) return;
    if (main_next_) {
      main_seen_ = true;  // the "-jar" file or "-m" module
    } else if (value_next_) {
      value_next_ = false;
    } else if (!argument.empty() && argument[0] == '-') {
      if (argument == "-jar") {
        main_next_ = true;
        start_ = JavaLaunch::Start::kJar;
      } else if (argument == "-m" || argument == "--module") {
        main_next_ = true;
        start_ = JavaLaunch::Start::kModule;
      } else if (argument.rfind("--module=", 0) == 0) {
        main_seen_ = true;
        start_ = JavaLaunch::Start::kModule;
      } else if (argument == "--disable-@files") {
        disabled_ = true;
      } else {
        for (const char* option : kOptionsWithValue) {
          if (argument == option) value_next_ = true;
        }
      }
    } else {
      main_seen_ = true;
      start_ = JavaLaunch::Start::kClass;
    }
  }

 private:
  bool main_seen_ = false;
  bool main_next_ = false;
  bool value_next_ = false;
  bool disabled_ = false;
  JavaLaunch::Start start_ = JavaLaunch::Start::kNone;
};

// The arguments of an argument file's text, enough to follow the options:
// white space separates, quotes group (a backslash escapes inside them), and
// '#' outside quotes starts a comment to the end of the line.
std::vector<std::string> ArgFileArguments(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool in_argument = false;
  for (std::string::size_type i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      if (in_argument) out.push_back(current);
      current.clear();
      in_argument = false;
    } else if (c == '#' && !in_argument) {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
    } else if (c == '"' || c == '\'') {
      in_argument = true;
      for (++i; i < text.size() && text[i] != c && text[i] != '\n' && text[i] != '\r'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        current += text[i];
      }
    } else {
      in_argument = true;
      current += c;
    }
  }
  if (in_argument) out.push_back(current);
  return out;
}

// Read as every named file is read, so that a FIFO or device in its place
// is refused at once instead of holding the launch; read whole, since a
// cut would change the arguments Java receives.
std::string ReadUserArgFile(const std::string& path, bool* ok) {
  std::string text;
  *ok = platform::ReadRegularFile(path, static_cast<std::size_t>(-1), &text) == 0;
  return text;
}

// The file an "@file" argument names, a relative name read from the
// child's working folder as Java reads it.
std::string UserArgFilePath(const std::string& argument, const std::string& working_folder) {
  const std::string name = NormalizeSlashes(argument.substr(1));
  return platform::IsAbsolutePath(name) || working_folder.empty()
             ? name
             : working_folder + platform::PathSeparator() + name;
}

}  // namespace

bool JavaArgFileBody(const std::vector<std::string>& arguments, const std::string& working_folder,
                     std::string* text, std::string* refusal) {
  text->clear();
  OptionScan scan;
  for (const std::string& argument : arguments) {
    if (scan.Expands() && argument.size() > 1 && argument[0] == '@') {
      const std::string path = UserArgFilePath(argument, working_folder);
      bool ok = false;
      const std::string user_text = ReadUserArgFile(path, &ok);
      if (!ok) {
        *refusal = "no argument file: the Java argument file " + path + " (" + argument +
                   ") cannot be read";
        return false;
      }
      // Its own line end keeps its last argument or comment apart from ours.
      *text += user_text + "\n";
      for (const std::string& inner : ArgFileArguments(user_text)) scan.See(inner);
      continue;
    }
    // The runtime reads the file through the ANSI code page; the argument
    // had its short forms placed with the line's. A user's file above is
    // copied as it is: it is already written for the runtime.
    *text += platform::ToSystemText(QuoteForJavaArgFile(argument)) + "\n";
    scan.See(argument);
  }
  return true;
}

JavaLaunch ReadJavaLaunch(const std::vector<std::string>& arguments,
                          const std::string& working_folder) {
  JavaLaunch out;
  OptionScan scan;
  // One argument as Java reads it: an option, or what is started. What
  // follows that, in a file or on the line, is the application's.
  auto take = [&scan, &out](const std::string& argument) {
    if (scan.MainSeen()) return;
    scan.See(argument);
    if (scan.MainSeen()) {
      out.target = argument;
    } else {
      out.options.push_back(argument);
    }
  };
  for (std::size_t at = 0; at < arguments.size() && !scan.MainSeen(); ++at) {
    const std::string& argument = arguments[at];
    if (scan.Expands() && argument.size() > 1 && argument[0] == '@') {
      const std::string path = UserArgFilePath(argument, working_folder);
      bool ok = false;
      const std::string user_text = ReadUserArgFile(path, &ok);
      if (!ok) {
        out.unreadable = path;
        return out;
      }
      for (const std::string& inner : ArgFileArguments(user_text)) take(inner);
    } else {
      take(argument);
    }
    out.options_end = at + 1;
  }
  out.start = scan.MainSeen() ? scan.start() : JavaLaunch::Start::kNone;
  // "-jar" and "-m" went into the list before what they name was seen.
  if (!out.options.empty() && out.start != JavaLaunch::Start::kClass &&
      (out.options.back() == "-jar" || out.options.back() == "-m" ||
       out.options.back() == "--module")) {
    out.options.pop_back();
  }
  return out;
}

std::string WhyNoArgFile(const std::string& command_line, bool uninstall, const TempFolder& temp,
                         const std::string& working_folder) {
  if (uninstall) {
    return "no argument file for an uninstall run, whose child outlives the launcher";
  }
  std::vector<std::string> arguments = SplitCommandLine(command_line);
  const std::string program = arguments.empty() ? std::string() : arguments.front();
  JavaRuntime runtime;
  if (!IdentifyJavaRuntime(program, &runtime)) {
    return "no argument file: \"" + program + "\" is not a Java runtime";
  }
  if (runtime.version.feature == 0) {
    return "no argument file: the version of the Java runtime in " + runtime.home + " is unknown";
  }
  if (runtime.version.feature < kFirstArgFileFeature) {
    return "no argument file: Java " + IntToString(runtime.version.feature) + " in " +
           runtime.home + " reads none (9 or newer needed)";
  }
  if (!temp.problem.empty()) {
    return "no argument file: the temporary location \"" + temp.path +
           "\" cannot be used: " + temp.problem;
  }
  arguments.erase(arguments.begin());
  std::string text;
  std::string refusal;
  if (!JavaArgFileBody(arguments, working_folder, &text, &refusal)) return refusal;
  return std::string();
}

LongCommandLine ShortenWithArgFile(const std::string& command_line, bool uninstall,
                                   const TempFolder& temp, const std::string& working_folder) {
  LongCommandLine out;
  out.refusal = WhyNoArgFile(command_line, uninstall, temp, working_folder);
  if (!out.refusal.empty()) return out;
  std::vector<std::string> arguments = SplitCommandLine(command_line);
  const std::string program = arguments.front();
  arguments.erase(arguments.begin());
  std::string text;
  if (!JavaArgFileBody(arguments, working_folder, &text, &out.refusal)) return out;
  const std::string& folder = temp.path;
  std::string path;
  const int error =
      platform::CreateExclusiveFile(folder, kArgFilePrefix, kArgFileSuffix, text, &path);
  if (error != 0) {
    out.refusal = "no argument file: it cannot be created in the temporary location " + folder +
                  " (error " + IntToString(error) + ")";
    return out;
  }
  out.arg_file = path;
  // The runtime opens the file by the name it receives through the code
  // page, and the line is that page's text, as every Java runtime's line.
  ShortForms notes;
  out.command_line = CodePageLine(
      {}, {program, "@" + ShortFormOf(path, SystemPathOracle(), &notes)}, SystemPathOracle());
  out.warnings = ShortFormWarnings(notes);
  return out;
}

}  // namespace kb
