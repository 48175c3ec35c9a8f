// The command-line splitter on arbitrary text, against a second splitter
// written straight from the C runtime's rules as a character-by-character
// state machine, plus: the arguments never hold more bytes than the line,
// and quoting them again gives a line that splits into the same arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "fuzz_support.h"

namespace {

// The rules, one character at a time: `pending` counts backslashes not yet
// written, which only a following quote can halve.
std::vector<std::string> ReferenceSplit(const std::string& line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  std::string program;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && (line[i] == ' ' || line[i] == '\t')) {
      break;
    } else {
      program += line[i];
    }
  }
  args.push_back(program);

  bool in_argument = false;
  quoted = false;
  std::size_t pending = 0;
  std::string current;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\') {
      ++pending;
      in_argument = true;
      continue;
    }
    if (c == '"') {
      current.append(pending / 2, '\\');
      const bool escaped = pending % 2 == 1;
      pending = 0;
      in_argument = true;
      if (escaped) {
        current += '"';
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        current += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
      continue;
    }
    current.append(pending, '\\');
    pending = 0;
    if (!quoted && (c == ' ' || c == '\t')) {
      if (in_argument) args.push_back(current);
      current.clear();
      in_argument = false;
      continue;
    }
    current += c;
    in_argument = true;
  }
  current.append(pending, '\\');
  if (in_argument) args.push_back(current);
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line = kbfuzz::AsString(data, size);
  const std::vector<std::string> args = kb::SplitCommandLine(line);

  KB_FUZZ_CHECK(!args.empty());
  KB_FUZZ_CHECK(args == ReferenceSplit(line));
  KB_FUZZ_CHECK(args[0].find('"') == std::string::npos);
  std::size_t total = 0;
  for (const std::string& arg : args) total += arg.size();
  KB_FUZZ_CHECK(total <= line.size());

  // The program token takes no escapes: quoting it whole keeps it as it is.
  std::string again = "\"" + args[0] + "\"";
  for (std::size_t i = 1; i < args.size(); ++i) again += " " + kb::QuoteArgument(args[i]);
  KB_FUZZ_CHECK(kb::SplitCommandLine(again) == args);
  return 0;
}
