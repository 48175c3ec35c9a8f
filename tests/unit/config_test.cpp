// Configuration lookups: command-line overrides, platform section, "default",
// the present-but-empty marker, numbered keys, the property list and its
// master property file.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "config/data_control.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/environment.h"
#include "support/test_support.h"

namespace {

using kb::DataControl;

class ConfigTest : public ::testing::Test {
 protected:
  void TearDown() override { kb::LogFilePath().clear(); }

  // A DataControl whose parse touches only the scratch folder.
  std::string Line(const std::string& pass) const {
    return "-templocation " + (scratch_ / "tmp") + " -datalocation " + (scratch_ / "data") +
           " " + pass;
  }
  std::string Ini(const std::string& name, const std::string& text) const {
    const std::string path = scratch_ / name;
    kbtest::WriteFile(path, text);
    return path;
  }

  kbtest::ScratchDir scratch_;
};

struct LookupCase {
  const char* label;
  std::string ini;
  std::string key;
  std::string value;
};
std::ostream& operator<<(std::ostream& out, const LookupCase& c) { return out << c.label; }

class ConfigLookupTest : public ConfigTest,
                         public ::testing::WithParamInterface<LookupCase> {};

TEST_P(ConfigLookupTest, PlatformSectionThenDefault) {
  const LookupCase& c = GetParam();
  const std::string ini = Ini("tool.ini", c.ini);
  DataControl data(Line(""));
  EXPECT_EQ(data.GetConfigValue("wx6", c.key, ini), c.value) << c.label;
  EXPECT_EQ(kb::ReadIniValue("wx6", c.key, ini), c.value) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Config, ConfigLookupTest,
    ::testing::Values(
        LookupCase{"platform value", "[wx6]\nstartdir=a\n[default]\nstartdir=b\n", "startdir",
                   "a"},
        LookupCase{"empty in platform hides default",
                   "[wx6]\nstartdir=\n[default]\nstartdir=C:\\x\n", "startdir", " "},
        LookupCase{"other case in platform: default consulted",
                   "[wx6]\nStartDir=\n[default]\nstartdir=C:\\x\n", "startdir", "C:\\x"},
        LookupCase{"empty only in default", "[default]\nid=\n", "id", " "},
        LookupCase{"quoted empty counts as empty", "[wx6]\nid=\"\"\n", "id", " "},
        LookupCase{"absent everywhere", "[wx6]\na=1\n", "id", ""},
        LookupCase{"section letter case", "[WX6]\nId=7\n", "id", "7"}));

TEST_F(ConfigTest, MissingFileGivesEmpty) {
  DataControl data(Line(""));
  EXPECT_EQ(data.GetConfigValue("wx6", "startdir", scratch_ / "none.ini"), "");
  EXPECT_EQ(kb::IniKeyExists("wx6", "startdir", scratch_ / "none.ini"), 0);
}

TEST_F(ConfigTest, IniKeyExistsMatchesExactCaseOnly) {
  const std::string ini = Ini("k.ini", "[s]\nMainClass=\n");
  EXPECT_EQ(kb::IniKeyExists("s", "MainClass", ini), 1);
  EXPECT_EQ(kb::IniKeyExists("S", "MainClass", ini), 1);
  EXPECT_EQ(kb::IniKeyExists("s", "mainclass", ini), 0);
}

TEST_F(ConfigTest, KeyListsAreReadWhole) {
  // 400 names of 12 bytes overflow a 4096-byte list.
  std::string text = "[s]\n";
  for (int i = 0; i < 400; ++i) text += "key_" + std::string(7 - std::to_string(i).size(), '0') + std::to_string(i) + "=\n";
  const std::string ini = Ini("many.ini", text);
  EXPECT_EQ(kb::IniKeyExists("s", "key_0000000", ini), 1);
  EXPECT_EQ(kb::IniKeyExists("s", "key_0000399", ini), 1);
  EXPECT_EQ(kb::ReadIniValue("s", "key_0000399", ini), " ");
}

TEST_F(ConfigTest, OverrideWinsAndIsConsumed) {
  const std::string ini = Ini("tool.ini", "[wx6]\nstartdir=file\n");
  const std::string work = scratch_ / "work";
  DataControl data(Line("a -StartDir " + work + " b "));
  EXPECT_EQ(data.GetConfigValue("wx6", "startdir", ini), work);
  EXPECT_EQ(data.GetArgLine(), "-datalocation " + (scratch_ / "data") + " a b ");
}

TEST_F(ConfigTest, EmptyOverrideIsConsumedAndTheFileUsed) {
  const std::string ini = Ini("tool.ini", "[wx6]\nstartdir=file\n");
  DataControl data(Line("a -startdir"));
  EXPECT_EQ(data.GetConfigValue("wx6", "startdir", ini), "file");
  EXPECT_EQ(data.GetArgLine(), "-datalocation " + (scratch_ / "data") + " a ");
}

TEST_F(ConfigTest, OverrideValueIsNotSubstituted) {
  const std::string ini = Ini("tool.ini", "[properties]\nP=x\n[wx6]\nMainClass=<P>\n");
  DataControl data(Line("-mainclass <P> "));
  ASSERT_EQ(data.GetProperties(ini), 1);
  EXPECT_EQ(data.GetConfigValue("wx6", "MainClass", ini), "<P>");
  EXPECT_EQ(data.GetConfigValue("wx6", "MainClass", ini), "x");
}

// Reads of overrides in sequence: what each read answers and what is left
// for the child after all of them.
struct OverrideCase {
  const char* label;
  std::string pass;
  std::vector<std::string> keys;
  std::vector<std::string> values;
  std::string left;
};
std::ostream& operator<<(std::ostream& out, const OverrideCase& c) { return out << c.label; }

class OverrideReadsTest : public ConfigTest, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(OverrideReadsTest, EachReadAnswersAsTheOverridesLeftIt) {
  const OverrideCase& c = GetParam();
  const std::string ini =
      Ini("tool.ini", "[wx6]\nstartdir=file\nMainClass=Main\nclasspath=cp\n");
  DataControl data(Line(c.pass));
  std::vector<std::string> values;
  for (const std::string& key : c.keys) values.push_back(data.GetConfigValue("wx6", key, ini));
  EXPECT_EQ(values, c.values) << c.label;
  EXPECT_EQ(data.GetArgLine(), "-datalocation " + (scratch_ / "data") + " " + c.left) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Config, OverrideReadsTest,
    ::testing::Values(
        OverrideCase{"a key read twice: the override, then the file", "-startdir w x ",
                     {"startdir", "startdir"}, {"w", "file"}, "x "},
        OverrideCase{"a repeated override: one per read", "-startdir w -startdir v x ",
                     {"startdir", "startdir", "startdir"}, {"w", "v", "file"}, "x "},
        OverrideCase{"a value that is another option's text",
                     "-mainclass -classpath x y ", {"mainclass", "classpath"},
                     {"-classpath", "cp"}, "x y "},
        OverrideCase{"the other option read first: the next argument left is the value",
                     "-mainclass -classpath x y ", {"classpath", "mainclass"}, {"x", "y"}, ""},
        OverrideCase{"an option left last by a read has no value",
                     "-mainclass -classpath x ", {"classpath", "mainclass", "mainclass"},
                     {"x", "Main", "Main"}, ""},
        OverrideCase{"a value that is the key's own option", "-startdir -startdir w ",
                     {"startdir", "startdir"}, {"-startdir", "file"}, "w "}));

struct JoinCase {
  const char* label;
  std::string ini;
  std::string pass;
  std::string joined;
  std::string left;
};
std::ostream& operator<<(std::ostream& out, const JoinCase& c) { return out << c.label; }

class JoinTest : public ConfigTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(JoinTest, JoinsUpToTheFirstGap) {
  const JoinCase& c = GetParam();
  const std::string ini = Ini("tool.ini", c.ini);
  DataControl data(Line(c.pass));
  EXPECT_EQ(data.JoinNumberedValues("wx6", "JavaArgs_", ini), c.joined) << c.label;
  const std::string prefix = "-datalocation " + (scratch_ / "data") + " ";
  EXPECT_EQ(data.GetArgLine(), prefix + c.left) << c.label;
}

std::string TenArgs() {
  std::string text = "[wx6]\n";
  for (int i = 1; i <= 10; ++i) text += "JavaArgs_" + std::to_string(i) + "=a" + std::to_string(i) + "\n";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Config, JoinTest,
    ::testing::Values(
        JoinCase{"gap hides the rest",
                 "[wx6]\nJavaArgs_1=-Xmx512m\nJavaArgs_2=-Dx=1\nJavaArgs_4=-Dy\n", "", "-Xmx512m -Dx=1 ",
                 ""},
        JoinCase{"present but empty continues", "[wx6]\nJavaArgs_1=\nJavaArgs_2=-Da\n", "",
                 "  -Da ", ""},
        JoinCase{"none", "[wx6]\nJavaArgs_2=x\n", "", "", ""},
        JoinCase{"default section fills in", "[wx6]\nJavaArgs_1=p\n[default]\nJavaArgs_2=d\n", "",
                 "p d ", ""},
        JoinCase{"numbered override", "[wx6]\nJavaArgs_1=a\nJavaArgs_2=b\n",
                 "-javaargs_2 B keep ", "a B ", "keep "},
        JoinCase{"override of 1 leaves 10 alone", TenArgs(), "-JavaArgs_10 TEN keep ",
                 "a1 a2 a3 a4 a5 a6 a7 a8 a9 TEN ", "keep "},
        JoinCase{"override fills a gap", "[wx6]\nJavaArgs_1=a\nJavaArgs_3=c\n",
                 "-JavaArgs_2 b", "a b c ", ""}));

class PropertiesTest : public ConfigTest {};

TEST_F(PropertiesTest, SubstitutionFollowsListOrder) {
  const std::string home_first =
      Ini("h.ini", "[properties]\nHOME=C:\\app\nLIB=<HOME>\\lib\n[wx6]\nv=<LIB>;<HOME>\n");
  DataControl a(Line(""));
  ASSERT_EQ(a.GetProperties(home_first), 1);
  EXPECT_EQ(a.GetConfigValue("wx6", "v", home_first), "<HOME>\\lib;C:\\app");

  const std::string lib_first =
      Ini("l.ini", "[properties]\nLIB=<HOME>\\lib\nHOME=C:\\app\n[wx6]\nv=<LIB>;<HOME>\n");
  DataControl b(Line(""));
  ASSERT_EQ(b.GetProperties(lib_first), 1);
  EXPECT_EQ(b.GetConfigValue("wx6", "v", lib_first), "C:\\app\\lib;C:\\app");
}

TEST_F(PropertiesTest, PlaceholderEdges) {
  const std::string ini = Ini("p.ini", "[properties]\nHOME=h\nP=\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  struct { const char* in; const char* out; } cases[] = {
      {"<home>", "<home>"},          // case-sensitive
      {"<NOPE>", "<NOPE>"},          // unknown name stays
      {"a<>b", "ab"},                // the trailing empty entry
      {"[<P>]", "[ ]"},              // present but empty
      {"<HOME><HOME>", "hh"},        // every occurrence
      {"<<HOME>>", "<h>"},           // not rescanned by its own entry
  };
  for (const auto& c : cases) EXPECT_EQ(data.ReplaceProperties(c.in), c.out) << c.in;
  const auto& list = data.Properties();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.back().name, "");
}

TEST_F(PropertiesTest, EnvironmentTextCountsTowardsTheGrowthBound) {
  // A Windows variable holds at most 32,767 characters: 40 of them pass
  // the bound together, 30 stay within it.
  ASSERT_EQ(platform::SetEnvVar("KB_BIG", std::string(32000, 'x')), 0);
  std::string within;
  for (int i = 0; i < 30; ++i) within += "<env:KB_BIG>";
  const std::string beyond = within + within;
  DataControl data(Line(""));
  EXPECT_EQ(data.ReplaceProperties(within).size(), 30u * 32000u);
  EXPECT_FALSE(data.ReplacementLimitReached());
  EXPECT_EQ(data.ReplaceProperties(beyond), beyond);
  EXPECT_TRUE(data.ReplacementLimitReached());
  ASSERT_EQ(platform::UnsetEnvVar("KB_BIG"), 0);
}

TEST_F(PropertiesTest, LongValuesAndNamesAreKeptWhole) {
  const std::string name(300, 'N');
  const std::string value(3000, 'v');
  const std::string ini = Ini("long.ini", "[properties]\n" + name + "=" + value + "\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  ASSERT_EQ(data.Properties().size(), 2u);
  EXPECT_EQ(data.Properties()[0].name, name);
  EXPECT_EQ(data.ReplaceProperties("<" + name + ">"), value);
  const std::string ini2 = Ini("long2.ini", "[properties]\nL=" + value + "\n");
  DataControl data2(Line(""));
  ASSERT_EQ(data2.GetProperties(ini2), 1);
  EXPECT_EQ(data2.ReplaceProperties("<L>"), value);
}

TEST_F(PropertiesTest, PropertyKeyListIsReadWhole) {
  // Twelve 24-character names do not fit the first 260-byte list.
  std::string text = "[properties]\n";
  std::string line, expected;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "PROPERTY_NAME_NUMBER_" + std::to_string(100 + i);
    text += name + "=v" + std::to_string(i) + "\n";
    line += "<" + name + ">";
    expected += "v" + std::to_string(i);
  }
  const std::string ini = Ini("cut.ini", text);
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  EXPECT_EQ(data.ReplaceProperties(line), expected);
}

TEST_F(PropertiesTest, NoMasterMeansNoBuiltInNames) {
  const std::string ini = Ini("t.ini", "[properties]\nA=1\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  EXPECT_EQ(data.ReplaceProperties("<WORKINGDIR>|<LAUNCHERDIR>"), "<WORKINGDIR>|<LAUNCHERDIR>");
}

TEST_F(PropertiesTest, EmptyMasterPropStillAddsBuiltInNames) {
  kb::LogFilePath() = scratch_ / "run.log";
  const std::string ini = Ini("t.ini", "[properties]\nA=1\nMASTERPROP=\n");
  DataControl data(Line(""));
  kb::LogFilePath() = scratch_ / "run.log";
  ASSERT_EQ(data.GetProperties(ini), 1);
  const auto& list = data.Properties();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "A");
  EXPECT_EQ(list[1].name, "WORKINGDIR");
  EXPECT_EQ(list[1].value, kb::GetCurrentDir());
  EXPECT_EQ(list[2].name, "LAUNCHERDIR");
  EXPECT_EQ(list[2].value, kb::GetLauncherDir());
  // Only the INFO line: the empty name never becomes the configuration's
  // own folder, opened as a file (the Windows path service drops the blank).
  const std::string log = kbtest::ReadFile(scratch_ / "run.log");
  EXPECT_NE(log.find("INFO: DataControl::GetProperties::masterProperty="), std::string::npos);
  EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;
  EXPECT_EQ(data.GetMasterFile(), "");
}

TEST_F(PropertiesTest, MasterFileByAbsolutePath) {
  const std::string master = Ini("master.ini", "[properties]\nA=master\nB=2\nMASTERPROP=m\n");
  const std::string ini = Ini("t.ini", "[properties]\nA=own\nMASTERPROP=" + master + "\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  EXPECT_EQ(data.ReplaceProperties("<A><B><MASTERPROP>"), "own2m");
  const auto& list = data.Properties();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[3].name, "WORKINGDIR");
  EXPECT_EQ(list[4].name, "LAUNCHERDIR");
}

TEST_F(PropertiesTest, RelativeMasterRetriedBesideTheConfigFile) {
  kbtest::MakeDirs(scratch_ / "app" + kbtest::Sep() + "conf");
  kbtest::WriteFile(kbtest::Join(scratch_ / "app", "conf") + kbtest::Sep() + "master.ini",
                    "[properties]\nM=beside\n");
  const std::string ini = scratch_ / "app" + kbtest::Sep() + "tool.ini";
  // Written with "/" so one file serves both builds.
  kbtest::WriteFile(ini, "[properties]\nMASTERPROP=conf/master.ini\n");
  kbtest::MakeDirs(scratch_ / "elsewhere");
  kbtest::ScopedCwd cwd(scratch_ / "elsewhere");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  EXPECT_EQ(data.ReplaceProperties("<M>"), "beside");
  EXPECT_EQ(data.ReplaceProperties("<WORKINGDIR>"), scratch_ / "elsewhere");
}

TEST_F(PropertiesTest, RelativeMasterIsNeverTakenFromTheCurrentFolder) {
  kbtest::MakeDirs(scratch_ / "app" + kbtest::Sep() + "conf");
  kbtest::MakeDirs(scratch_ / "cwd" + kbtest::Sep() + "conf");
  kbtest::WriteFile(kbtest::Join(scratch_ / "app", "conf") + kbtest::Sep() + "m.ini",
                    "[properties]\nM=beside\n");
  // Planted where the launcher is started from.
  kbtest::WriteFile(kbtest::Join(scratch_ / "cwd", "conf") + kbtest::Sep() + "m.ini",
                    "[properties]\nM=planted\n");
  kbtest::WriteFile(scratch_ / "cwd" + kbtest::Sep() + "bare.ini", "[properties]\nM=planted\n");
  const std::string ini = scratch_ / "app" + kbtest::Sep() + "tool.ini";
  kbtest::ScopedCwd cwd(scratch_ / "cwd");
  const struct {
    const char* master;
    const char* expected;
  } cases[] = {{"conf\\m.ini", "beside"}, {"conf/./m.ini", "beside"}, {"bare.ini", "<M>"}};
  for (const auto& c : cases) {
    kbtest::WriteFile(ini, std::string("[properties]\nMASTERPROP=") + c.master + "\n");
    DataControl data(Line(""));
    ASSERT_EQ(data.GetProperties(ini), 1);
    EXPECT_EQ(data.ReplaceProperties("<M>"), c.expected) << c.master;
  }
}

TEST_F(PropertiesTest, UnreadableMasterAddsOnlyBuiltInNames) {
  const std::string ini = Ini("t.ini", "[properties]\nMASTERPROP=" + (scratch_ / "gone.ini") + "\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  ASSERT_EQ(data.Properties().size(), 2u);
  EXPECT_EQ(data.Properties()[0].name, "WORKINGDIR");
}

TEST_F(PropertiesTest, FreeLeavesOnlyTheFirstEntry) {
  const std::string ini = Ini("t.ini", "[properties]\nA=1\nB=2\n");
  DataControl data(Line(""));
  ASSERT_EQ(data.GetProperties(ini), 1);
  data.FreeProperties();
  data.FreeProperties();
  EXPECT_EQ(data.Properties().size(), 1u);
  EXPECT_EQ(data.ReplaceProperties("<B>"), "<B>");
}

TEST_F(ConfigTest, EveryLookupSeesTheFileAsItIsNow) {
  const std::string ini = Ini("t.ini", "[wx6]\nk=old\n");
  EXPECT_EQ(kb::ReadIniValue("wx6", "k", ini), "old");
  // Same size, rewritten at once: a cache keyed on seconds would miss it.
  kbtest::WriteFile(ini, "[wx6]\nk=new\n");
  EXPECT_EQ(kb::ReadIniValue("wx6", "k", ini), "new");
  kbtest::WriteFile(ini, "[wx6]\nk=\n");
  EXPECT_EQ(kb::ReadIniValue("wx6", "k", ini), " ");
}

}  // namespace
