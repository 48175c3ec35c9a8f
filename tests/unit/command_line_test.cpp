#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Args expected;
};

// Arguments after the program name, as the C runtime hands them to main.
const SplitCase kArgumentCases[] = {
    {"p a b c", {"p", "a", "b", "c"}},
    {"p \ta  \t b\t", {"p", "a", "b"}},
    {"p \"a b\" c", {"p", "a b", "c"}},
    {"p \"a\"b\"c\"", {"p", "abc"}},
    {"p \"ab\\\"c\" \"\\\\\" d", {"p", "ab\"c", "\\", "d"}},
    {"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
    {"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
    {"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
    {"p \"C:\\dir with\\\" x", {"p", "C:\\dir with\" x"}},
    {"p \"C:\\dir\\\\\" x", {"p", "C:\\dir\\", "x"}},
    {"p a\\\\ b\\", {"p", "a\\\\", "b\\"}},
    {"p \"\"", {"p", ""}},
    {"p \"\" b", {"p", "", "b"}},
    {"p \"unterminated arg", {"p", "unterminated arg"}},
    {"p a\"b\"\" c d", {"p", "ab\" c d"}},
    {"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
    {"p \"\"\"\" x", {"p", "\"", "x"}},
    {"p \"\"\"a\"\"\" b", {"p", "\"a\"", "b"}},
    {"p a^b %PATH% 'q r'", {"p", "a^b", "%PATH%", "'q", "r'"}},
    {"p x\ny", {"p", "x\ny"}},
    {"p \xe9t\xe9 \x80", {"p", "\xe9t\xe9", "\x80"}},
    {"p \\", {"p", "\\"}},
    {"p \\\"", {"p", "\""}},
    {"p \"a\\\\\"b", {"p", "a\\b"}},
};

// The program token: quotes group, backslashes never escape.
const SplitCase kProgramCases[] = {
    {"", {""}},
    {"   ", {""}},
    {"  foo x", {"", "foo", "x"}},
    {"\"a b\"c d", {"a bc", "d"}},
    {"\"C:\\Program Files\\App\\\" x", {"C:\\Program Files\\App\\", "x"}},
    {"C:\\dir\\p.exe\t-a", {"C:\\dir\\p.exe", "-a"}},
    {"a\\\"b c", {"a\\b c"}},
    {"\"\" x", {"", "x"}},
};

TEST(SplitCommandLineTest, ArgumentsFollowTheRuntimeRules) {
  for (const SplitCase& c : kArgumentCases) {
    EXPECT_EQ(kb::SplitCommandLine(c.line), c.expected) << "line: [" << c.line << "]";
  }
}

TEST(SplitCommandLineTest, ProgramTokenHasOnlyQuotesSpecial) {
  for (const SplitCase& c : kProgramCases) {
    EXPECT_EQ(kb::SplitCommandLine(c.line), c.expected) << "line: [" << c.line << "]";
  }
}

TEST(QuoteArgumentTest, QuotesOnlyWhatNeedsIt) {
  const struct {
    const char* argument;
    const char* quoted;
  } cases[] = {
      {"plain", "plain"},
      {"C:\\dir\\", "C:\\dir\\"},
      {"", "\"\""},
      {"a b", "\"a b\""},
      {"C:\\Program Files\\", "\"C:\\Program Files\\\\\""},
      {"a\"b", "\"a\\\"b\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"tab\there", "\"tab\there\""},
      {"v\vt", "\"v\vt\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kb::QuoteArgument(c.argument), c.quoted) << "argument: [" << c.argument << "]";
  }
}

TEST(QuoteArgumentTest, EveryQuotedArgumentSplitsBackUnchanged) {
  const Args hostile = {"",
                        " ",
                        "\t",
                        "\"",
                        "\"\"",
                        "\\",
                        "\\\\",
                        "\\\"",
                        "a\\\\\"b c",
                        "C:\\Program Files\\",
                        "\\\\server\\share\\dir with blank\\",
                        "-Dk=\"v w\"",
                        "trailing\\\\\\",
                        "x\ny",
                        "*?%PATH%^&|<>",
                        "\xc3\xa9\xff"};
  std::string line = "prog";
  for (const std::string& argument : hostile) line += " " + kb::QuoteArgument(argument);
  Args expected = hostile;
  expected.insert(expected.begin(), "prog");
  EXPECT_EQ(kb::SplitCommandLine(line), expected) << "line: [" << line << "]";
}

}  // namespace
