// The child's command line: configuration and the launcher's arguments in,
// the arguments the child receives out (split as the child's C runtime
// splits its command line, on both builds).
#include "launcher/child_command.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/constants.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "support/test_support.h"

namespace {

using Args = std::vector<std::string>;

struct ChildCase {
  const char* label;
  // The section "wx6" of the configuration file (a [properties] section may
  // follow).
  std::string section;
  Args launcher_args;
  // What the child receives, its program first ("/" in the program stands
  // for the native separator).
  Args child_args;
  bool show_window = false;
};
std::ostream& operator<<(std::ostream& out, const ChildCase& c) { return out << c.label; }

class ChildCommandTest : public ::testing::TestWithParam<ChildCase> {
 protected:
  void TearDown() override {
    kb::LogFilePath().clear();
    kb::NoMessage() = false;
  }
  kb::ChildCommand Build(const std::string& section, const Args& launcher_args,
                         int kind = kb::kKindConsole) {
    const std::string ini = scratch_ / "tool.ini";
    kbtest::WriteFile(ini, "[wx6]\n" + section);
    kb::DataControl options(kb::JoinArguments(launcher_args));
    // Nothing here may write a log.
    kb::LogFilePath().clear();
    EXPECT_EQ(options.GetProperties(ini), 1);
    return kb::BuildChildCommand(options, "wx6", ini, kind);
  }

  kbtest::ScratchDir scratch_;
  // The default temporary and data folders stay inside the scratch folder.
  kbtest::ScopedEnv tmp_{"TMP", scratch_.path()};
  kbtest::ScopedEnv temp_{"TEMP", scratch_.path()};
  kbtest::ScopedEnv profile_{"USERPROFILE", scratch_.path()};
  kbtest::ScopedEnv xdg_{"XDG_DATA_HOME", scratch_.path()};
};

TEST_P(ChildCommandTest, ChildReceives) {
  const ChildCase& c = GetParam();
  const kb::ChildCommand child = Build(c.section, c.launcher_args);
  Args expected = c.child_args;
  expected[0] = kb::NormalizeSlashes(expected[0]);
  EXPECT_EQ(kb::SplitCommandLine(child.command_line), expected)
      << c.label << "\nline: [" << child.command_line << "]";
  EXPECT_EQ(child.show_window, c.show_window) << c.label;
  EXPECT_FALSE(child.too_long) << c.label;
}

const char kJava[] = "launchercmd=java\n";

INSTANTIATE_TEST_SUITE_P(
    Launcher, ChildCommandTest,
    ::testing::Values(
        ChildCase{"java pieces in order",
                  std::string(kJava) + "JavaArgs_1=-Xmx512m\nJavaArgs_2=-Dmode=1\n"
                                       "MainClass=app.Main\nAddtlArgs_1=-fast\n",
                  {"-nocleanup"},
                  {"java", "-Xmx512m", "-Dmode=1", "app.Main", "-fast"}},
        ChildCase{"windowed java becomes the console one",
                  "launchercmd=jre/bin/JAVAW.EXE\nMainClass=m\n",
                  {},
                  {"jre/bin/java.exe", "m"},
                  true},
        ChildCase{"launcherargs shut out the java keys",
                  "launchercmd=p\nlauncherargs=only this\nJavaArgs_1=-Dno\nMainClass=No\n",
                  {"-MainClass", "cli"},
                  {"p", "only", "this", "-MainClass", "cli"}},
        ChildCase{"override wins and leaves the pass-through arguments",
                  std::string(kJava) + "MainClass=file.Main\n",
                  {"-MainClass", "cli.Main", "user-arg", "two words"},
                  {"java", "cli.Main", "user-arg", "two words"}},
        ChildCase{"option words inside one argument stay one argument",
                  std::string(kJava) + "MainClass=app.Main\n",
                  {"C:\\Users\\me\\Downloads\\a -launchercmd hostname b.myext", "a -applogloc x b",
                   "report -noconsole .txt", "x -MainClass y"},
                  {"java", "app.Main", "C:\\Users\\me\\Downloads\\a -launchercmd hostname b.myext",
                   "a -applogloc x b", "report -noconsole .txt", "x -MainClass y"}},
        ChildCase{"quotes and backslashes pass through byte for byte",
                  std::string(kJava),
                  {"-wait", "a\"b", "x y\\", "\\\\srv\\dir\\", "\"", "\\\"", "-Dk=\"v w\""},
                  {"java", "a\"b", "x y\\", "\\\\srv\\dir\\", "\"", "\\\"", "-Dk=\"v w\""}},
        ChildCase{"line ends and other white space at the edges are kept",
                  std::string(kJava),
                  {"-wait", "\nfirst", "\v", "last\r\n", "\f", "\t"},
                  {"java", "\nfirst", "\v", "last\r\n", "\f", "\t"}},
        ChildCase{"empty arguments are kept",
                  std::string(kJava),
                  {"", "-wait", "", "x", ""},
                  {"java", "", "", "x", ""}},
        ChildCase{"only the first option is removed, letter case ignored",
                  std::string(kJava),
                  {"-WAIT", "-wait", "-Wait"},
                  {"java", "-wait", "-Wait"}},
        ChildCase{"own options keep their place or leave with their values",
                  std::string(kJava),
                  {"-quiet", "-jrehome", "C:\\my jre", "-autorun", "-nomessage", "z"},
                  {"java", "-quiet", "z"}},
        ChildCase{"override of a key not read stays for the child",
                  "launchercmd=p\nJavaArgs_1=a\n",
                  {"-JavaArgs_3", "c"},
                  {"p", "a", "-JavaArgs_3", "c"}},
        ChildCase{"placeholders are replaced in the pass-through arguments too",
                  std::string(kJava) + "MainClass=<M>\n[properties]\nM=m.Main\nH=h h\n",
                  {"<H>", "<M>x"},
                  {"java", "m.Main", "h", "h", "m.Mainx"}},
        ChildCase{"present but empty launchercmd gives a blank program",
                  "launchercmd=\nMainClass=m\n",
                  {"a"},
                  {" ", "m", "a"}}));

TEST_F(ChildCommandTest, OverrideGivesWhatTheSameTextInTheFileGives) {
  const Args values = {"x y\\",     "a\"b c",      " 'q r' ", "\"m n\"",
                       "C:\\dir\\", "-Dk=\"v w\"", "\"\"x"};
  for (const std::string& value : values) {
    const std::string in_file =
        Build("launchercmd=java\nJavaArgs_1=" + value + "\n", {}).command_line;
    const std::string overridden = Build("launchercmd=java\n", {"-JavaArgs_1", value}).command_line;
    EXPECT_EQ(overridden, in_file) << "value: [" << value << "]";
  }
}

TEST_F(ChildCommandTest, ReportsWhatItReadAndWhatTheLauncherLogs) {
  const kb::ChildCommand child =
      Build("launchercmd=bin/javaw.exe\nJavaArgs_1=-Da\nClasspath=x.jar\nMainClass=m\n",
            {"-javaargs_2", "-Db", "pass"}, kb::kKindWindowed);
  // A windowed launcher keeps the windowed runtime.
  EXPECT_EQ(child.launcher_command, kb::NormalizeSlashes("bin/javaw.exe"));
  EXPECT_EQ(child.pass_through, "pass ");
  std::vector<std::string> keys;
  for (const auto& key : child.keys) keys.push_back(key.name + "=" + key.value);
  EXPECT_EQ(keys, (Args{"launchercmd=bin/javaw.exe", "launcherargs=", "JavaArgs_=-Da -Db ",
                        "Classpath=x.jar", "MainClass=m", "AddtlArgs_="}));
  std::vector<std::string> log;
  for (const auto& line : child.log) log.push_back(line.tag + "=" + line.text);
  EXPECT_EQ(
      log, (Args{"launch command==bin/javaw.exe",
                 "Launcher::Run::start::launchercmd=" + child.launcher_command,
                 "Launcher::Run::start::javaargs=-Da -Db ", "Launcher::Run::start::classpath=x.jar",
                 "Launcher::Run::start::mainclass=m"}));
}

// CreateProcess counts the terminating NUL against its 32,767 characters:
// 32,766 is the longest line that starts, 32,767 is already too long.
TEST_F(ChildCommandTest, LineOf32767CharactersIsTooLong) {
  const std::string head = "\"p\" ";
  const std::string fits(32766 - head.size() - 1, 'a');  // the pass-through ends in a blank
  const kb::ChildCommand longest = Build("launchercmd=p\n", {fits});
  EXPECT_EQ(longest.command_line.size(), 32766u);
  EXPECT_FALSE(longest.too_long);
  const kb::ChildCommand over = Build("launchercmd=p\n", {fits + "b"});
  EXPECT_EQ(over.command_line.size(), 32767u);
  EXPECT_TRUE(over.too_long);
}

// Windows counts the line in UTF-16 units, not in the bytes of its UTF-8
// nor in characters: "é" is one unit (two bytes), "😀" two (four bytes).
// POSIX counts bytes.
TEST_F(ChildCommandTest, LengthLimitCountsWhatTheSystemCounts) {
  const std::string e_acute = "\xC3\xA9";
  const std::string grin = "\xF0\x9F\x98\x80";
  auto repeat = [](const std::string& piece, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += piece;
    return out;
  };
  const struct {
    const char* label;
    std::string argument;  // after "\"p\" ", followed by one blank
    bool too_long_on_windows;
  } cases[] = {
      {"32,761 e-acute: 32,766 units", repeat(e_acute, 32761), false},
      {"32,762 e-acute: 32,767 units", repeat(e_acute, 32762), true},
      {"16,380 pairs and one a: 32,766 units", repeat(grin, 16380) + "a", false},
      {"16,381 pairs: 32,767 units, 16,386 characters", repeat(grin, 16381), true},
  };
  for (const auto& c : cases) {
    const kb::ChildCommand child = Build("launchercmd=p\n", {c.argument});
    // Every row has far more than 32,766 bytes.
    EXPECT_EQ(child.too_long, kbtest::IsWindows() ? c.too_long_on_windows : true) << c.label;
  }
}

}  // namespace
