#include "common/command_line.h"

#include <cstddef>

namespace kb {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

// The program token: quotes group (and may be glued to other text), nothing
// else is special, so "C:\dir\" keeps its backslash.
std::size_t ReadProgram(const std::string& line, std::string* program) {
  std::size_t i = 0;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(c)) {
      break;
    } else {
      program->push_back(c);
    }
  }
  return i;
}

// One argument starting at `i` (not a separator); returns the position
// after it.
std::size_t ReadArgument(const std::string& line, std::size_t i, std::string* argument) {
  bool quoted = false;
  while (i < line.size()) {
    const char c = line[i];
    if (c == '\\') {
      std::size_t run = 0;
      while (i < line.size() && line[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        argument->append(run / 2, '\\');
        if (run % 2 == 1) {
          argument->push_back('"');
          ++i;
        }
        // An even run leaves the quote to toggle on the next turn.
      } else {
        argument->append(run, '\\');
      }
    } else if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        argument->push_back('"');
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
    } else if (!quoted && IsSeparator(c)) {
      break;
    } else {
      argument->push_back(c);
      ++i;
    }
  }
  return i;
}

// Appends every argument of line from position i on.
void AppendArguments(const std::string& line, std::size_t i, std::vector<std::string>* result) {
  for (;;) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    if (i >= line.size()) return;
    result->emplace_back();
    i = ReadArgument(line, i, &result->back());
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> result(1);
  AppendArguments(line, ReadProgram(line, &result[0]), &result);
  return result;
}

std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<std::string> result;
  AppendArguments(line, 0, &result);
  return result;
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\r\v\f\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Backslashes before the closing quote must not escape it.
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    line += QuoteArgument(argument);
    line += ' ';
  }
  return line;
}

std::string BuildArgLine(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
  return JoinArguments(arguments);
}

}  // namespace kb
