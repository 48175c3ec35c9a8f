// The launcher's own options: what each one does to the argument line and to
// the run's settings, in the parse's fixed order.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "config/data_control.h"
#include "config/options.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "log/time_stamp.h"
#include "platform/fs.h"
#include "support/test_support.h"

namespace {

using kb::DataControl;

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kb::SetApplicationNameForTesting("tool_console");
    kb::SetClockForTesting([] { return static_cast<std::time_t>(1700000000); });
  }
  void TearDown() override {
    kb::LogFilePath().clear();
    kb::NoMessage() = false;
  }
  std::string DefaultLog(const std::string& data) const {
    return kbtest::Join(data, kb::LauncherLogName(kb::ApplicationName()));
  }

  kbtest::ScratchDir scratch_;
  // Keep the default temporary and data folders inside the scratch folder.
  kbtest::ScopedEnv tmp_{"TMP", scratch_.path()};
  kbtest::ScopedEnv temp_{"TEMP", scratch_.path()};
  kbtest::ScopedEnv profile_{"USERPROFILE", scratch_.path()};
  kbtest::ScopedEnv xdg_{"XDG_DATA_HOME", scratch_.path()};
};

using Args = std::vector<std::string>;

struct PassCase {
  const char* label;
  Args arguments;
  Args pass_through;
  int console = 1;
};
std::ostream& operator<<(std::ostream& out, const PassCase& c) { return out << c.label; }

class PassThroughTest : public OptionsTest,
                        public ::testing::WithParamInterface<PassCase> {};

TEST_P(PassThroughTest, LeavesTheRestForTheChild) {
  const PassCase& c = GetParam();
  DataControl options(kb::JoinArguments(c.arguments));
  EXPECT_EQ(options.GetArguments(), c.pass_through) << c.label;
  EXPECT_EQ(options.GetArgLine(), kb::JoinArguments(c.pass_through)) << c.label;
  EXPECT_EQ(options.IsConsole(), c.console) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Options, PassThroughTest,
    ::testing::Values(
        PassCase{"nothing removed", {"a", "b"}, {"a", "b"}},
        PassCase{"letter case ignored", {"-WAIT", "x"}, {"x"}},
        PassCase{"only the first occurrence", {"-wait", "-wait"}, {"-wait"}},
        PassCase{"wait inside a word", {"x-waitress"}, {"x-waitress"}},
        PassCase{"wait inside a double-dash option", {"--max-wait-time=3"}, {"--max-wait-time=3"}},
        PassCase{"console inside a path", {"C:\\logs\\app-console\\a.log"},
                 {"C:\\logs\\app-console\\a.log"}},
        PassCase{"option inside one argument", {"report -noconsole .txt", "a -wait"},
                 {"report -noconsole .txt", "a -wait"}},
        PassCase{"option written with quotes is an argument", {"\"-wait\""}, {"\"-wait\""}},
        PassCase{"quiet stays", {"-quiet", "-nomessage"}, {"-quiet"}},
        PassCase{"noconsole is not console", {"-noconsole", "x"}, {"x"}, 0},
        PassCase{"console removed", {"-console", "x"}, {"x"}},
        PassCase{"jrehome value removed", {"a", "-jrehome", "C:\\jre", "b"}, {"a", "b"}},
        PassCase{"jrehome value with a blank removed", {"a", "-jrehome", "C:\\my jre", "b"},
                 {"a", "b"}},
        PassCase{"jrehome at the end", {"a", "-jrehome"}, {"a"}},
        PassCase{"cleandir takes the next option", {"-cleandir", "-autorun"}, {}},
        PassCase{"everything consumed", {"-wait", "-console", "-nocleanup", "-autorun"}, {}}));

TEST_F(OptionsTest, AppLogLocWithQuotedPathAndAutorun) {
  const std::string log = kbtest::Join(scratch_.path(), "my logs") + kbtest::Sep() + "run.log";
  DataControl options(kb::JoinArguments({"-applogloc", log, "-autorun", "data.txt"}));
  EXPECT_EQ(options.GetLogPath(), log);
  EXPECT_EQ(options.autorun, 1);
  EXPECT_EQ(options.GetArguments(), (Args{"-applogloc", log, "data.txt"}));
}

TEST_F(OptionsTest, AppLogLocWithoutValueFallsBackToTheDataLocation) {
  const std::string data = scratch_ / "data";
  DataControl options("-datalocation " + data + " -applogloc ");
  EXPECT_EQ(options.GetLogPath(), DefaultLog(data));
  EXPECT_EQ(options.GetArgLine(), "-datalocation " + data + " -applogloc ");
}

TEST_F(OptionsTest, AppLogLocTakesTheNextOptionAsItsPath) {
  kbtest::ScopedCwd cwd(scratch_.path());
  DataControl options("-applogloc -autorun ");
  EXPECT_EQ(options.GetLogPath(), scratch_ / "-autorun");
  EXPECT_EQ(options.autorun, 1);
  EXPECT_EQ(options.GetArguments(), Args{"-applogloc"});
}

TEST_F(OptionsTest, RelativeLocationsAreFixedAgainstTheStartFolder) {
  kbtest::MakeDirs(scratch_ / "logs");
  const std::string log = "logs" + kbtest::Sep() + "run.log";
  for (const Args& given : {Args{"-applogloc", log}, Args{"-datalocation", "data"}}) {
    std::string log_path;
    {
      kbtest::ScopedCwd cwd(scratch_.path());
      DataControl options(kb::JoinArguments(given));
      // The child still gets the option as it was given.
      EXPECT_EQ(options.GetArguments(), given);
      log_path = options.GetLogPath();
    }
    // Changing folder afterwards must move neither the log nor the data.
    kbtest::ScopedCwd elsewhere(scratch_ / "logs");
    if (given[0] == "-applogloc") {
      EXPECT_EQ(log_path, kbtest::Join(scratch_ / "logs", "run.log"));
    } else {
      EXPECT_EQ(log_path, DefaultLog(scratch_ / "data"));
    }
  }
}

TEST_F(OptionsTest, OwnLocationsUseTheNativeSeparator) {
  // Windows takes "/" for "\"; on POSIX a backslash is part of a name.
  const bool windows = platform::PathSeparator() == '\\';
  const std::string given = scratch_.path() + "/a/b\\c";
  const std::string own = windows ? scratch_.path() + "\\a\\b\\c" : given;
  const Args arguments = {"-applogloc", given + "/run.log", "-templocation", given + "/t",
                          "-cleandir", given + "/c", "-datalocation", given + "/d"};
  DataControl options(kb::JoinArguments(arguments));
  EXPECT_EQ(options.GetLogPath(), kbtest::Join(own, "run.log"));
  EXPECT_EQ(options.GetTempLocation(), kbtest::Join(own, "t"));
  EXPECT_TRUE(kbtest::FileExists(kbtest::Join(own, "t")));
  EXPECT_EQ(options.GetCleanDir(), kbtest::Join(own, "c"));
  EXPECT_EQ(options.GetDataDir(), kbtest::Join(own, "d"));
  // The child gets the options it is given as they were given.
  EXPECT_EQ(options.GetArguments(),
            (Args{"-applogloc", given + "/run.log", "-datalocation", given + "/d"}));
}

TEST_F(OptionsTest, DataLocationStaysAndNamesTheDefaultLog) {
  const std::string data = scratch_ / "data";
  DataControl options("-datalocation " + data + " ");
  EXPECT_EQ(options.GetDataDir(), data);
  EXPECT_EQ(options.GetLogPath(), DefaultLog(data));
  EXPECT_EQ(options.GetArgLine(), "-datalocation " + data + " ");
}

// An absent, empty or blank location means the default on both builds,
// never a file or folder named " " in the start folder.
TEST_F(OptionsTest, DefaultLocationsWhenAbsentEmptyOrBlank) {
  for (const Args& given : {Args{"x"}, Args{"-datalocation", " "}, Args{"-datalocation", ""},
                            Args{"-applogloc", " "}, Args{"-applogloc", "  "},
                            Args{"-templocation", " "}, Args{"-cleandir", " "}}) {
    SCOPED_TRACE(given[0] + " [" + given.back() + "]");
    kbtest::ScopedCwd cwd(scratch_.path());
    DataControl options(kb::JoinArguments(given));
    EXPECT_EQ(options.GetDataDir(), kb::GetDataLocation(""));
    EXPECT_FALSE(options.GetDataDir().empty());
    EXPECT_EQ(options.GetLogPath(), DefaultLog(options.GetDataDir()));
    EXPECT_EQ(options.GetTempLocation(), kb::GetTemp());
    EXPECT_EQ(options.GetCleanDir(), "");
    EXPECT_FALSE(kbtest::FileExists(scratch_ / " "));
  }
}

TEST_F(OptionsTest, FlagsAndCleanDir) {
  // A clean folder's name is used exactly as given, quotes included.
  const std::string clean = scratch_ / "clean \"me\" q";
  DataControl options(kb::JoinArguments({"-NoConsole", "-nocleanup", "-cleandir", clean, "keep"}));
  EXPECT_EQ(options.IsConsole(), 0);
  EXPECT_EQ(options.IsCleanup(), 0);
  EXPECT_EQ(options.GetCleanDir(), clean);
  EXPECT_EQ(options.autorun, 0);
  EXPECT_EQ(options.GetArguments(), Args{"keep"});
}

TEST_F(OptionsTest, DefaultsWhenNoOptionIsGiven) {
  DataControl options("");
  EXPECT_EQ(options.IsConsole(), 1);
  EXPECT_EQ(options.IsCleanup(), 1);
  EXPECT_EQ(options.autorun, 0);
  EXPECT_EQ(options.GetCleanDir(), "");
  EXPECT_FALSE(options.GetNoMessage());
}

TEST_F(OptionsTest, CleanDirTakesAFollowingOptionAsItsValue) {
  DataControl options("-cleandir -autorun ");
  EXPECT_EQ(options.GetCleanDir(), "-autorun");
  EXPECT_EQ(options.autorun, 0);
}

TEST_F(OptionsTest, ProcessWideValuesAreRewrittenByEveryParse) {
  const std::string data = scratch_ / "d";
  {
    DataControl first("-nomessage -applogloc " + (scratch_ / "one.log") + " ");
    EXPECT_TRUE(kb::NoMessage());
  }
  DataControl second("-datalocation " + data + " ");
  EXPECT_FALSE(kb::NoMessage());
  EXPECT_EQ(kb::LogFilePath(), DefaultLog(data));
}

TEST_F(OptionsTest, ParsedOptionsApplyNothingUntilALaunchTakesThem) {
  const std::string temp = scratch_ / "t";
  const Args arguments = {"-nomessage", "-applogloc", scratch_ / "x.log", "-templocation", temp,
                          "a"};
  const std::string before = scratch_ / "before.log";
  kb::LogFilePath() = before;
  DataControl seen(kb::ParseOptions(kb::JoinArguments(arguments)));
  EXPECT_EQ(kb::LogFilePath(), before);
  EXPECT_FALSE(kb::NoMessage());
  EXPECT_FALSE(kbtest::FileExists(temp));
  EXPECT_TRUE(seen.GetNoMessage());

  DataControl launch(kb::JoinArguments(arguments));
  EXPECT_EQ(seen.GetArguments(), launch.GetArguments());
  EXPECT_EQ(seen.GetLogPath(), kb::LogFilePath());
  EXPECT_EQ(seen.GetTempLocation(), launch.GetTempLocation());
  EXPECT_TRUE(kbtest::FileExists(temp));
}

TEST_F(OptionsTest, TempLocationIsCreatedWithItsParents) {
  const std::string temp = kbtest::Join(scratch_ / "t1", "t2");
  DataControl options("-templocation " + temp + " x ");
  EXPECT_TRUE(kbtest::FileExists(temp));
  EXPECT_EQ(options.GetTempLocation(), temp);
  EXPECT_EQ(options.GetArguments(), Args{"x"});
}

TEST_F(OptionsTest, ParsedOptionsLeaveTheDefaultTempFolderUncreated) {
  // Without "-templocation" a launch validates (and creates) the
  // environment's folder; an inspection must not.
  const std::string env_temp = scratch_ / "never";
  kbtest::ScopedEnv tmp("TMP", env_temp);
  DataControl seen(kb::ParseOptions("x "));
  EXPECT_FALSE(kbtest::FileExists(env_temp));
  EXPECT_EQ(seen.GetTempLocation(), env_temp);
  EXPECT_EQ(seen.GetLogPath(), DefaultLog(seen.GetDataDir()));
  EXPECT_TRUE(kb::LogFilePath().empty());
}

TEST_F(OptionsTest, DefaultTempLocationComesFromTheEnvironment) {
  const std::string temp = scratch_ / "envtemp";
  kbtest::MakeDirs(temp);
  kbtest::ScopedEnv tmp("TMP", temp);
  DataControl options("x ");
  EXPECT_EQ(options.GetTempLocation(), kb::GetTemp());
  EXPECT_FALSE(options.GetTempLocation().empty());
}

struct ValueCase {
  const char* label;
  std::string line;
  int remove;
  std::string value;
  int found;
  std::string after;
};
std::ostream& operator<<(std::ostream& out, const ValueCase& c) { return out << c.label; }

class OptionValueTest : public OptionsTest,
                        public ::testing::WithParamInterface<ValueCase> {};

TEST_P(OptionValueTest, ExtractsTheValue) {
  const ValueCase& c = GetParam();
  // A line without launcher options survives the parse unchanged.
  DataControl probe(c.line);
  int found = -7;
  EXPECT_EQ(probe.GetOptionValue("-opt", &found, c.remove), c.value) << c.label;
  EXPECT_EQ(found, c.found) << c.label;
  EXPECT_EQ(probe.GetArgLine(), c.after) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionValueTest,
    ::testing::Values(
        ValueCase{"quoted", "-opt \"a b\" c ", 1, "a b", 1, "c "},
        ValueCase{"unquoted", "-opt a b ", 1, "a", 1, "b "},
        ValueCase{"open quote runs to the end", "-opt \"a b", 1, "a b", 1, ""},
        ValueCase{"at the end", "x -opt", 1, "", 1, "x "},
        ValueCase{"absent", "x -optical y", 1, "", 0, "x -optical y "},
        ValueCase{"kept when not removed", "-OPT v w", 0, "v", 1, "-OPT v w "},
        ValueCase{"several blanks before", "x -opt   v w", 1, "v", 1, "x w "},
        ValueCase{"leading blanks of the line", "  -opt v w", 1, "v", 1, "w "},
        ValueCase{"value exactly as received", "-opt \"\\\"a\\\" b\\\\\" c", 1,
                  "\"a\" b\\", 1, "c "},
        ValueCase{"empty value", "-opt \"\" c", 1, "", 1, "c "}));

TEST_F(OptionsTest, FindOptionReportsTheIndexOfAWholeArgument) {
  // Counted over what the parse left: "-wait" is not counted.
  DataControl probe("-wait x-ab -ab -ab ");
  EXPECT_EQ(probe.FindOption("-AB", 0), 1);
  EXPECT_EQ(probe.FindOption("-a", 0), -1);
  EXPECT_EQ(probe.FindOption("-ab", 1), 1);
  EXPECT_EQ(probe.GetArguments(), (Args{"x-ab", "-ab"}));
}

}  // namespace
