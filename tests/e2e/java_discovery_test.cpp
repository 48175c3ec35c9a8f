// Finding the Java runtime and running command lines past the system's
// limit, through the real launcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "java/java_runtime.h"
#include "support/e2e_support.h"
#include "support/java_homes.h"

namespace kbtest {
namespace {

using Strings = std::vector<std::string>;

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class JavaDiscovery : public LauncherTest {
 protected:
  JavaDiscovery() : java_home_("JAVA_HOME") {}
  ScopedEnv java_home_;
};

TEST_F(JavaDiscovery, TooOldBundledRuntimeGivesWayToANewerJavaHome) {
  MakeJavaHome(Join(app_dir_, "jre"), "11.0.2", Child());
  const std::string jdk = MakeJavaHome(dir_ / "jdk17", "17.0.15", Child());
  SetEnv("JAVA_HOME", jdk);
  Install();
  WriteIni("[default]\njavamin=17\nMainClass=app.Main\n");
  const RunResult r = Launch("tail");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(ChildArgs(r.output), (Strings{"app.Main", "tail"}));
  const Strings log = LogLines();
  const std::string tag = "INFO: Launcher::Run::start::javasearch=";
  EXPECT_TRUE(Contains(log, tag + "bundled:jre: " + Join(app_dir_, "jre") +
                                ", version 11.0.2: too old, 17 or newer wanted"));
  EXPECT_TRUE(Contains(log, tag + "env:JAVA_HOME: " + jdk + ", version 17.0.15: chosen"));
  EXPECT_TRUE(
      Contains(log, "INFO: Launcher::Run::start::launchercmd=" + kb::JavaProgramIn(jdk, false)));
}

TEST_F(JavaDiscovery, NothingFittingEndsWith108AndSaysWhatWasFound) {
  MakeJavaHome(Join(app_dir_, "jre"), "11.0.2", Child());
  Install();
  WriteIni("[default]\njavamin=17\njavasearch=bundled:jre;env:JAVA_HOME\nMainClass=app.Main\n");
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, SeenExit(-108));
  EXPECT_TRUE(ChildArgs(r.output).empty());
  const std::string message = "Given Java does not exist or imcomplete. java 11 in " +
                              Join(app_dir_, "jre") + ", JAVA_HOME unset; 17 or newer wanted";
  EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
  EXPECT_TRUE(Contains(LogLines(), "INFO: MessageDisplay=" + message));
}

// The shipper's text, placeholders replaced, reaches the user instead of the
// built-in one: on standard error from the console launcher, and from the
// windowed one on Linux (on Windows it is a box, which the message tests
// observe through its seam). The log keeps the built-in line.
TEST_F(JavaDiscovery, ShippersTextTellsTheUserWhatToDoWithoutARuntime) {
  MakeJavaHome(Join(app_dir_, "jre"), "25.0.1", Child());
  ScopedEnv site("KB_TEST_JAVA_SITE", "example.org");
  WriteIni("[properties]\nNAME=Tally\n[default]\njavamin=17\njavamax=21\n"
           "javasearch=bundled:jre\nMainClass=app.Main\n"
           "javamissing=<NAME> needs Java 17 to 21: https://<env:KB_TEST_JAVA_SITE>/java\n");
  const std::string own = "Tally needs Java 17 to 21: https://example.org/java";
  const std::string builtin = "Given Java does not exist or imcomplete. java 25 in " +
                              Join(app_dir_, "jre") + "; 17 to 21 wanted";
  struct Case {
    const char* name;
    const char* kind;
  };
  for (const Case& c : {Case{"tool_console", "launcher_console"}, Case{"tool", "launcher"}}) {
    SCOPED_TRACE(c.name);
    if (IsWindows() && std::string(c.name) == "tool") continue;  // a box under Wine
    Install(c.name, c.kind);
    const RunResult r = Launch("", c.name);
    EXPECT_EQ(r.exit_code, SeenExit(-108));
    EXPECT_NE(r.output.find(own), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("imcomplete"), std::string::npos) << r.output;
    const Strings log = Lines(LogContent(c.name));
    EXPECT_TRUE(Contains(log, "INFO: MessageDisplay=" + builtin));
    EXPECT_TRUE(Contains(log, "INFO: MessageDisplay::javamissing=" + own));
    EXPECT_TRUE(Contains(log, "INFO: Launcher::Run::start::javasearch=bundled:jre: " +
                                  Join(app_dir_, "jre") +
                                  ", version 25.0.1: too new, 17 to 21 wanted"));
  }
}

TEST_F(JavaDiscovery, ConfiguredProgramIgnoresTheSearchKeys) {
  MakeJavaHome(Join(app_dir_, "jre"), "17.0.15", Child());
  Install();
  WriteIni("[default]\nlaunchercmd=" + Child() +
           "\njavamin=99\njavamax=98\njavasearch=bundled:jre\njavamissing=no\n");
  const RunResult r = Launch("-javamin 11 -javamax 12 -javasearch x -javamissing y");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(ChildArgs(r.output), (Strings{"-javamin", "11", "-javamax", "12", "-javasearch", "x",
                                          "-javamissing", "y"}));
  EXPECT_EQ(LogContent().find("javasearch="), std::string::npos);
}

// A class path of more than 60,000 characters, built from properties (a
// value holds at most 4,095 bytes), reaches the real Java through an
// argument file with every argument intact: the bound on what placeholders
// may add lies far above it.
TEST_F(JavaDiscovery, LongClassPathRunsThroughAnArgumentFile) {
  if (IsWindows()) GTEST_SKIP() << "the real Java runs on the Linux build";
  const std::string classes = dir_ / "classes";
  const RunResult javac =
      kbtest::Run("javac -d " + kb::QuoteArgument(classes) + " " +
                  kb::QuoteArgument(std::string(KB_TEST_SOURCE_DIR) + "/e2e/java/app/Main.java"));
  ASSERT_EQ(javac.exit_code, 0) << javac.output;
  std::string ini = "[properties]\n";
  std::string class_path = classes;
  for (int p = 0; p < 16; ++p) {
    std::string value;
    for (int j = 0; value.size() < 3900; ++j) {
      value += (value.empty() ? "" : ";") + std::string("/opt/no such dir/p") + std::to_string(p) +
               "/lib" + std::to_string(j) + ".jar";
    }
    ini += "CP" + std::to_string(p) + "=" + value + "\n";
    class_path += ";<CP" + std::to_string(p) + ">";
  }
  ini += "[default]\nlaunchercmd=java\nClasspath=-cp \"" + class_path +
         "\"\nMainClass=app.Main\nAddtlArgs_1=x \"a \\\"quoted\\\" b\"\nAddtlArgs_2=C:\\dir\\\n";
  Install();
  WriteIni(ini);
  const RunResult r = Launch("\"two words\" it's #1 @file");
  EXPECT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
  const Strings lines = Lines(r.output);
  Strings args;
  std::size_t cp_length = 0;
  for (const std::string& line : lines) {
    if (line.rfind("JAVA-ARG=", 0) == 0) args.push_back(line.substr(9));
    if (line.rfind("JAVA-CP-LENGTH=", 0) == 0) cp_length = std::stoul(line.substr(15));
  }
  EXPECT_EQ(args,
            (Strings{"x", "a \"quoted\" b", "C:\\dir\\", "two words", "it's", "#1", "@file"}));
  EXPECT_GT(cp_length, 60000u);
  // The file was used, and removed once Java had ended.
  const std::string log = LogContent();
  const std::string tag = "INFO: Launcher::Run::start::argfile=";
  const std::size_t at = log.find(tag);
  ASSERT_NE(at, std::string::npos) << log.substr(0, 3000);
  const std::string arg_file = log.substr(at + tag.size(), log.find(' ', at) - at - tag.size());
  EXPECT_EQ(arg_file.rfind(dir_ / "tmp", 0), 0u) << arg_file;
  EXPECT_FALSE(FileExists(arg_file));
  EXPECT_TRUE(ListDir(dir_ / "tmp").empty());
}

// The Windows build, where no real Java runs: a runtime of version 9 or
// newer gets the file instead of its arguments, made afresh in the
// temporary folder and gone once the child has ended.
TEST_F(JavaDiscovery, ArgumentFileIsMadeInTheTemporaryFolderAndRemoved) {
  if (!IsWindows()) GTEST_SKIP() << "the real Java covers this on Linux";
  const std::string jdk = MakeJavaHome(dir_ / "jdk", "11.0.2", Child());
  std::string ini = "[default]\nlaunchercmd=" + kb::JavaProgramIn(jdk, false) + "\n";
  for (int i = 1; i <= 9; ++i) {
    ini += "JavaArgs_" + std::to_string(i) + "=-Dp" + std::to_string(i) + "=" +
           std::string(4000, 'a') + "\n";
  }
  Install();
  WriteIni(ini);
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
  const Strings args = ChildArgs(r.output);
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(args[0].rfind("@" + (dir_ / "tmp") + "\\kb-args-", 0), 0u) << args[0];
  EXPECT_FALSE(FileExists(args[0].substr(1)));
  EXPECT_TRUE(ListDir(dir_ / "tmp").empty());
}

}  // namespace
}  // namespace kbtest
