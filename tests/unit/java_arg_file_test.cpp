#include "java/java_arg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"
#include "java/java_runtime.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

using kbtest::Join;

struct QuoteCase {
  const char* argument;
  const char* written;
};

// What Java reads back from each line is the argument itself: a backslash
// escapes inside quotes, and nothing else is special there.
const QuoteCase kQuoteCases[] = {
    {"app.Main", "\"app.Main\""},
    {"", "\"\""},
    {"C:\\Program Files\\app\\lib\\a.jar", "\"C:\\\\Program Files\\\\app\\\\lib\\\\a.jar\""},
    {"trailing\\", "\"trailing\\\\\""},
    {"say \"hi\"", "\"say \\\"hi\\\"\""},
    {"it's #1 @home", "\"it's #1 @home\""},
    {"@file", "\"@file\""},
    {"a\tb\nc\rd\fe", "\"a\\tb\\nc\\rd\\fe\""},
    {"\\\\server\\share", "\"\\\\\\\\server\\\\share\""},
    {"\xe9t\xe9", "\"\xe9t\xe9\""},
};

TEST(JavaArgFileTest, EveryArgumentIsQuotedWithJavaEscapes) {
  for (const QuoteCase& c : kQuoteCases) {
    EXPECT_EQ(kb::QuoteForJavaArgFile(c.argument), c.written) << "[" << c.argument << "]";
  }
  EXPECT_EQ(kb::JavaArgFileText({"-cp", "a b"}), "\"-cp\"\n\"a b\"\n");
}

struct BodyCase {
  std::vector<std::string> arguments;
  const char* body;  // null: refused
};

// Java expands "@file" only before the main class (a "-jar" file, a "-m"
// module) and not after "--disable-@files"; an option's value is not the
// main class, and a main class inside the user's file counts.
TEST(JavaArgFileTest, UserArgumentFilesAreWrittenInOnlyWhereJavaWouldReadThem) {
  kbtest::ScratchDir dir;
  kbtest::WriteFile(dir / "u", "-Du=1");
  kbtest::WriteFile(dir / "m", "-cp x.jar\nMain # ends the options\n");
  const BodyCase cases[] = {
      {{"-cp", "lib.jar", "@u", "Main", "@u"}, "\"-cp\"\n\"lib.jar\"\n-Du=1\n\"Main\"\n\"@u\"\n"},
      {{"-jar", "app.jar", "@u"}, "\"-jar\"\n\"app.jar\"\n\"@u\"\n"},
      {{"--disable-@files", "@u", "Main"}, "\"--disable-@files\"\n\"@u\"\n\"Main\"\n"},
      {{"@m", "@u"}, "-cp x.jar\nMain # ends the options\n\n\"@u\"\n"},
      {{"@missing", "Main"}, nullptr},
  };
  for (const BodyCase& c : cases) {
    std::string body;
    std::string refusal;
    const bool ok = kb::JavaArgFileBody(c.arguments, dir.path(), &body, &refusal);
    EXPECT_EQ(ok, c.body != nullptr) << c.arguments.front();
    if (ok) {
      EXPECT_EQ(body, c.body) << c.arguments.front();
    } else {
      EXPECT_NE(refusal.find(dir / "missing"), std::string::npos) << refusal;
    }
  }
}

class ShortenTest : public ::testing::Test {
 protected:
  ShortenTest() : temp_(dir_ / "temp") { kbtest::MakeDirs(temp_); }

  std::string LongLine(const std::string& program) const {
    return "\"" + program + "\" -cp \"" + std::string(kb::kMaxCommandLine, 'x') +
           "\" \"a b\" C:\\dir\\ \"q\\\"uote\" ";
  }

  kbtest::ScratchDir dir_;
  std::string temp_;
};

TEST_F(ShortenTest, JavaNineOrNewerGetsAnArgumentFileWithTheSameArguments) {
  const std::string java = kb::JavaProgramIn(kbtest::MakeJavaHome(dir_ / "jdk", "9.0.4"), false);
  const std::string line = LongLine(java);
  const kb::LongCommandLine out = kb::ShortenWithArgFile(line, false, {temp_, ""}, dir_.path());
  ASSERT_TRUE(out.refusal.empty()) << out.refusal;
  std::vector<std::string> expected = kb::SplitCommandLine(line);
  expected.erase(expected.begin());
  EXPECT_EQ(kbtest::ReadFile(out.arg_file), kb::JavaArgFileText(expected));
  EXPECT_EQ(kb::SplitCommandLine(out.command_line),
            (std::vector<std::string>{java, "@" + out.arg_file}));
  EXPECT_EQ(kbtest::ListDir(temp_).size(), 1u);
  // A second run never reuses the name.
  const kb::LongCommandLine again = kb::ShortenWithArgFile(line, false, {temp_, ""}, dir_.path());
  EXPECT_NE(again.arg_file, out.arg_file);
  EXPECT_EQ(kbtest::ListDir(temp_).size(), 2u);
}

struct RefusalCase {
  const char* version;  // of the program's home; null: no release file
  bool uninstall;
  bool java;  // program named java, or some other name
  bool temp_usable;
  const char* reason;
};

TEST_F(ShortenTest, RefusalsSayWhyNoArgumentFileWasUsed) {
  const RefusalCase cases[] = {
      {"17", true, true, true, "uninstall run"},
      {"17", false, false, true, "is not a Java runtime"},
      {nullptr, false, true, true, "is not a Java runtime"},
      {"", false, true, true, "is unknown"},
      {"1.8.0_392", false, true, true, "Java 8 in "},
      {"17", false, true, false,
       "temporary location \"no-temp\" cannot be used: it is not an absolute path"},
  };
  int n = 0;
  for (const RefusalCase& c : cases) {
    const std::string home = kbtest::MakeJavaHome(dir_ / ("home" + std::to_string(n++)), c.version);
    const std::string program = c.java ? kb::JavaProgramIn(home, false) : Join(home, "tool");
    const kb::LongCommandLine out = kb::ShortenWithArgFile(
        LongLine(program), c.uninstall,
        kb::DecideTempFolder(c.temp_usable ? temp_ : "no-temp", false), dir_.path());
    EXPECT_NE(out.refusal.find(c.reason), std::string::npos) << out.refusal;
    EXPECT_TRUE(out.arg_file.empty());
  }
  EXPECT_TRUE(kbtest::ListDir(temp_).empty());
}

}  // namespace
