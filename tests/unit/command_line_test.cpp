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

TEST(BuildArgLineTest, JoinsAndQuotesArguments) {
  struct Case {
    std::vector<const char*> args;
    const char* line;
  };
  const Case cases[] = {
      {{}, ""},
      {{"a", "b c", ""}, "a \"b c\" \"\" "},
      {{"-nocleanup"}, "-nocleanup "},
      {{"-applogloc", "C:\\my logs\\run.log", "-autorun", "data.txt"},
       "-applogloc \"C:\\my logs\\run.log\" -autorun data.txt "},
      // Quotes, tabs and a trailing backslash before the closing quote are
      // escaped so the child sees the same argument.
      {{"say \"hi\""}, "\"say \\\"hi\\\"\" "},
      {{"a\tb"}, "\"a\tb\" "},
      {{"C:\\Program Files\\"}, "\"C:\\Program Files\\\\\" "},
      {{"C:\\dir\\"}, "C:\\dir\\ "},
      {{"-Dk=\"v\""}, "\"-Dk=\\\"v\\\"\" "},
      // Every kind of white space is quoted, so that no trim of the line
      // and no child that trims its arguments can lose it.
      {{"\nfirst", "last\r", "\v", "\f"}, "\"\nfirst\" \"last\r\" \"\v\" \"\f\" "},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"launcher"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(kb::BuildArgLine(static_cast<int>(argv.size()), argv.data()), c.line);
  }
}

TEST(BuildArgLineTest, ArgumentsComeBackUnchangedThroughTheSplitter) {
  const std::vector<std::vector<const char*>> cases = {
      {"a", "b c", ""},
      {"say \"hi\"", "a\tb", "C:\\Program Files\\", "x\\\\\"y", "\\\\"},
      {"-Dk=\"v w\"", "%PATH%", "a^b", "\"", "\"\"", " lead", "trail "},
  };
  for (const auto& args : cases) {
    std::vector<const char*> argv{"launcher"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string line = kb::BuildArgLine(static_cast<int>(argv.size()), argv.data());
    const std::vector<std::string> split = kb::SplitCommandLine("prog " + line);
    ASSERT_EQ(split.size(), args.size() + 1) << line;
    for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(split[i + 1], args[i]) << line;
  }
}

// A double-byte code page: 0x95 begins a two-byte character, and
// "\x95\x5C" (as 932 writes U+8868) is one character whose second byte is
// no backslash.
kb::LeadBytes SampleLeadBytes() {
  kb::LeadBytes lead;
  lead.Add(0x95);
  return lead;
}

TEST(CodePageLineTest, TwoByteCharactersAreNeverBackslashesOrQuotes) {
  const kb::LeadBytes lead = SampleLeadBytes();
  const struct {
    const char* argument;
    const char* quoted;
  } cases[] = {
      {"a \x95\x5C", "\"a \x95\x5C\""},      // no doubling before the closing quote
      {"\x95\x5C\"", "\"\x95\x5C\\\"\""},    // one escape for the quote, not three
      {"\x95\x5C", "\x95\x5C"},              // nothing to quote
      {"\x95\x5C\\ x", "\"\x95\x5C\\ x\""},  // a real backslash after it is one
      {"\x95", "\x95"},                      // a lead byte at the end stays as it is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kb::QuoteArgument(c.argument, lead, false), c.quoted) << c.argument;
  }
  const Args hostile = {"a \x95\x5C", "\x95\x5C\"", "\x95\x5C\\", "\"\x95\x5C \\\"",
                        "x\x95\x5C\x95\x5C"};
  std::string line = "\"\x95\x5C\\p\"";
  for (const std::string& argument : hostile)
    line += " " + kb::QuoteArgument(argument, lead, false);
  std::vector<std::string> split;
  for (const kb::LineArgument& a : kb::SplitCommandLine(line, lead)) split.push_back(a.text);
  Args expected = hostile;
  expected.insert(expected.begin(), "\x95\x5C\\p");
  EXPECT_EQ(split, expected) << line;
}

TEST(CodePageLineTest, WildcardsAreMarkedWhereTheyStandBareAndQuotedOnRequest) {
  const std::vector<kb::LineArgument> split =
      kb::SplitCommandLine("p*? *.txt \"*.txt\" a\"b\"? \"x\"*", kb::LeadBytes());
  std::vector<bool> bare;
  for (const kb::LineArgument& a : split) bare.push_back(a.bare_wildcard);
  // The program token never expands.
  EXPECT_EQ(bare, (std::vector<bool>{false, true, false, true, true}));
  EXPECT_EQ(kb::QuoteArgument("nonexist??", kb::LeadBytes(), true), "\"nonexist??\"");
  EXPECT_EQ(kb::QuoteArgument("*.txt", kb::LeadBytes(), true), "\"*.txt\"");
  EXPECT_EQ(kb::QuoteArgument("*.txt", kb::LeadBytes(), false), "*.txt");
}

TEST(SplitArgumentsTest, EveryTokenFollowsTheArgumentRules) {
  // Unlike a program token, a first argument's backslashes escape quotes.
  EXPECT_EQ(kb::SplitArguments("a\\\"b \"c d\\\\\" e"), (Args{"a\"b", "c d\\", "e"}));
  EXPECT_EQ(kb::SplitArguments("  "), Args{});
  EXPECT_EQ(kb::SplitArguments("\"\" \t"), Args{""});
}

}  // namespace
