// The Windows C runtime's own argument parsing against SplitCommandLine:
// each hostile line goes to test_child through the real process start, and
// the arguments it prints must be the ones SplitCommandLine gives.
#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> PrintedArguments(const std::string& output) {
  std::vector<std::string> arguments;
  for (const std::string& line : kbtest::Lines(output)) {
    // The child prints what it received in the ANSI code page.
    if (line.compare(0, 4, "ARG=") == 0) {
      arguments.push_back(platform::SystemTextToUtf8(line.substr(4)));
    }
  }
  return arguments;
}

TEST(CommandLineWin32Test, RuntimeSplitsLikeSplitCommandLine) {
  const char* const kTails[] = {
      "a b c",
      "\ta  \t b\t ",
      "\"a b\" c",
      "\"a\"b\"c\"",
      "\"ab\\\"c\" \"\\\\\" d",
      "a\\\\\\b d\"e f\"g h",
      "a\\\\\\\"b c d",
      "a\\\\\\\\\"b c\" d e",
      "\"C:\\dir with\\\" x",
      "\"C:\\dir\\\\\" x",
      "a\\\\ b\\",
      "\"\"",
      "\"\" b \"\"",
      "\"unterminated arg",
      "a\"b\"\" c d",
      "\"a\"\"b\" c",
      "\"\"\"\" x",
      "\"\"\"a\"\"\" b",
      "a^b %PATH% 'q r' *.ini",
      "\\\\server\\share\\ \"\\\\server\\share dir\\\\\"",
      "-Dk=\"v w\" -cp lib\\a.jar;lib\\b.jar app.Main",
      "\u00e9t\u00e9 \u20ac\u00ff",
      "\\\"\\\\\"\\\\\\\"",
  };
  const std::string program = "\"" + kbtest::Child() + "\"";
  for (const char* tail : kTails) {
    const std::string line = program + " " + tail;
    const kbtest::RunResult run = kbtest::Run(line);
    ASSERT_TRUE(run.started) << line;
    std::vector<std::string> expected = kb::SplitCommandLine(line);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected[0], kbtest::Child());
    expected.erase(expected.begin());
    EXPECT_EQ(PrintedArguments(run.output), expected) << "line: [" << tail << "]";
  }
}

}  // namespace
