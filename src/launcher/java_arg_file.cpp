#include "launcher/java_arg_file.h"

#include "common/command_line.h"
#include "common/text.h"
#include "env/java_runtime.h"
#include "platform/exclusive_file.h"
#include "launcher/short_forms.h"
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

std::string WhyNoArgFile(const std::string& command_line, bool uninstall,
                         const std::string& temp_folder) {
  if (uninstall) {
    return "no argument file for an uninstall run, whose child outlives the launcher";
  }
  const std::vector<std::string> arguments = SplitCommandLine(command_line);
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
  if (TrimWhitespace(temp_folder).empty() ||
      platform::GetPathKind(TrimWhitespace(temp_folder)) != platform::PathKind::kDirectory) {
    return "no argument file: the temporary location \"" + temp_folder + "\" cannot be used";
  }
  return std::string();
}

LongCommandLine ShortenWithArgFile(const std::string& command_line, bool uninstall,
                                   const std::string& temp_folder) {
  LongCommandLine out;
  out.refusal = WhyNoArgFile(command_line, uninstall, temp_folder);
  if (!out.refusal.empty()) return out;
  std::vector<std::string> arguments = SplitCommandLine(command_line);
  const std::string program = arguments.front();
  arguments.erase(arguments.begin());
  const std::string folder = TrimWhitespace(temp_folder);
  std::string path;
  // The runtime reads the file through the ANSI code page; its arguments
  // had their short forms placed with the line's.
  const int error =
      platform::CreateExclusiveFile(folder, kArgFilePrefix, kArgFileSuffix,
                                    platform::ToSystemText(JavaArgFileText(arguments)), &path);
  if (error != 0) {
    out.refusal = "no argument file: it cannot be created in the temporary location " + folder +
                  " (error " + IntToString(error) + ")";
    return out;
  }
  out.arg_file = path;
  // The runtime opens the file by the name it receives through the code page.
  ShortForms notes;
  out.command_line = "\"" + program + "\" " +
                     QuoteArgument("@" + ShortFormOf(path, SystemPathOracle(), &notes));
  out.warnings = ShortFormWarnings(notes);
  return out;
}

}  // namespace kb
