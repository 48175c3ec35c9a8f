#include "common/command_line.h"

#include <cstddef>
#include <utility>

namespace kb {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t'; }
bool IsWildcard(char c) { return c == '*' || c == '?'; }

// True when line[i] begins a two-byte character; it is then taken whole.
bool TwoByte(const std::string& line, std::size_t i, const LeadBytes& lead) {
  return i + 1 < line.size() && lead(static_cast<unsigned char>(line[i]));
}

// The program token: quotes group (and may be glued to other text), nothing
// else is special, so "C:\dir\" keeps its backslash.
std::size_t ReadProgram(const std::string& line, const LeadBytes& lead, std::string* program) {
  std::size_t i = 0;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (TwoByte(line, i, lead)) {
      program->append(line, i, 2);
      ++i;
    } else if (c == '"') {
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
std::size_t ReadArgument(const std::string& line, std::size_t i, const LeadBytes& lead,
                         LineArgument* out) {
  std::string* argument = &out->text;
  bool quoted = false;
  while (i < line.size()) {
    const char c = line[i];
    if (TwoByte(line, i, lead)) {
      argument->append(line, i, 2);
      i += 2;
    } else if (c == '\\') {
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
      if (!quoted && IsWildcard(c)) out->bare_wildcard = true;
      argument->push_back(c);
      ++i;
    }
  }
  return i;
}

// Appends every argument of line from position i on.
void AppendArguments(const std::string& line, std::size_t i, const LeadBytes& lead,
                     std::vector<LineArgument>* result) {
  for (;;) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    if (i >= line.size()) return;
    result->emplace_back();
    i = ReadArgument(line, i, lead, &result->back());
  }
}

std::vector<std::string> Texts(std::vector<LineArgument> arguments) {
  std::vector<std::string> out;
  out.reserve(arguments.size());
  for (LineArgument& argument : arguments) out.push_back(std::move(argument.text));
  return out;
}

// True when the argument must be quoted: empty, or holding white space of
// any kind or a quote (or, when asked, a wildcard) outside a two-byte
// character.
bool NeedsQuotes(const std::string& argument, const LeadBytes& lead, bool quote_wildcards) {
  if (argument.empty()) return true;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (TwoByte(argument, i, lead)) {
      ++i;
      continue;
    }
    switch (argument[i]) {
      case ' ':
      case '\t':
      case '\n':
      case '\r':
      case '\v':
      case '\f':
      case '"':
        return true;
      default:
        if (quote_wildcards && IsWildcard(argument[i])) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<LineArgument> SplitCommandLine(const std::string& line, const LeadBytes& lead) {
  std::vector<LineArgument> result(1);
  AppendArguments(line, ReadProgram(line, lead, &result[0].text), lead, &result);
  return result;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  return Texts(SplitCommandLine(line, LeadBytes()));
}

std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<LineArgument> result;
  AppendArguments(line, 0, LeadBytes(), &result);
  return Texts(std::move(result));
}

std::string QuoteArgument(const std::string& argument) {
  return QuoteArgument(argument, LeadBytes(), false);
}

std::string QuoteArgument(const std::string& argument, const LeadBytes& lead,
                          bool quote_wildcards) {
  if (!NeedsQuotes(argument, lead, quote_wildcards)) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    const char c = argument[i];
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
    // The second byte of a two-byte character is never a backslash or a
    // quote, whatever its value.
    if (TwoByte(argument, i, lead)) quoted.push_back(argument[++i]);
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
