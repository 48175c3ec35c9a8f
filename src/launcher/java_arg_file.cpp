#include "launcher/java_arg_file.h"

#include "common/command_line.h"
#include "common/text.h"
#include "env/java_runtime.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"

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
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\f': out += "\\f"; break;
      default: out += c; break;
    }
  }
  return out + "\"";
}

std::string JavaArgFileText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) text += QuoteForJavaArgFile(argument) + "\n";
  return text;
}

LongCommandLine ShortenWithArgFile(const std::string& command_line, bool uninstall,
                                   const std::string& temp_folder) {
  LongCommandLine out;
  if (uninstall) {
    out.refusal = "no argument file for an uninstall run, whose child outlives the launcher";
    return out;
  }
  std::vector<std::string> arguments = SplitCommandLine(command_line);
  const std::string program = arguments.empty() ? std::string() : arguments.front();
  JavaRuntime runtime;
  if (!IdentifyJavaRuntime(program, &runtime)) {
    out.refusal = "no argument file: \"" + program + "\" is not a Java runtime";
    return out;
  }
  if (runtime.version.feature == 0) {
    out.refusal = "no argument file: the version of the Java runtime in " + runtime.home +
                  " is unknown";
    return out;
  }
  if (runtime.version.feature < kFirstArgFileFeature) {
    out.refusal = "no argument file: Java " + IntToString(runtime.version.feature) + " in " +
                  runtime.home + " reads none (9 or newer needed)";
    return out;
  }
  const std::string folder = TrimWhitespace(temp_folder);
  if (folder.empty() || platform::GetPathKind(folder) != platform::PathKind::kDirectory) {
    out.refusal = "no argument file: the temporary location \"" + temp_folder +
                  "\" cannot be used";
    return out;
  }
  arguments.erase(arguments.begin());
  std::string path;
  const int error = platform::CreateExclusiveFile(folder, kArgFilePrefix, kArgFileSuffix,
                                                  JavaArgFileText(arguments), &path);
  if (error != 0) {
    out.refusal = "no argument file: it cannot be created in the temporary location " +
                  folder + " (error " + IntToString(error) + ")";
    return out;
  }
  out.arg_file = path;
  out.command_line = "\"" + program + "\" " + QuoteArgument("@" + path);
  return out;
}

}  // namespace kb
