// The configuration check's findings: each mistake is found at its line,
// and a sound configuration gives none.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "check/analysis.h"
#include "check/output.h"
#include "common/text.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "support/java_homes.h"
#include "platform/program_info.h"
#include "support/test_support.h"

namespace {

using kb::check::Finding;
using kb::check::Report;
using kb::check::Severity;

class CheckTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // The check describes another launcher; give the tests their own back.
    kb::InitApplicationAs("");
    kb::LogFilePath().clear();
  }

  // "CHILD" in the text stands for a program that exists, "HERE" for the
  // scratch folder.
  std::string Expand(std::string text) const {
    text = kb::ReplaceAll(text, "CHILD", kbtest::Child());
    return kb::ReplaceAll(text, "HERE", scratch_.path());
  }

  Report Check(const std::string& ini, const std::vector<std::string>& args = {},
               const std::string& name = "tool.ini") {
    kbtest::WriteFile(scratch_ / name, Expand(ini));
    kb::check::Request request;
    request.config_file = scratch_ / name;
    request.platform = "wx6";
    request.launcher_args = args;
    Report report;
    std::string error;
    EXPECT_TRUE(kb::check::Analyse(request, &report, &error)) << error;
    return report;
  }

  kbtest::ScratchDir scratch_;
};

// "warning numbering-gap 8": severity, code and line of one finding.
std::string Describe(const Finding& f) {
  return std::string(kb::check::SeverityName(f.severity)) + " " + f.code + " " +
         std::to_string(f.line);
}

std::vector<std::string> Findings(const Report& report, bool with_notes) {
  std::vector<std::string> out;
  for (const Finding& f : report.findings) {
    if (with_notes || f.severity != Severity::kNote) out.push_back(Describe(f));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string Message(const Report& report, const std::string& code, std::size_t line) {
  for (const Finding& f : report.findings) {
    if (f.code == code && f.line == line) return f.message;
  }
  return std::string();
}

struct FindingCase {
  FindingCase(const char* label_text, std::string ini_text, std::vector<std::string> args_given,
              std::vector<std::string> findings, std::string user_text = std::string())
      : label(label_text),
        ini(std::move(ini_text)),
        args(std::move(args_given)),
        expected(std::move(findings)),
        user(std::move(user_text)) {}
  const char* label;
  std::string ini;
  std::vector<std::string> args;
  std::vector<std::string> expected;  // every finding, notes included, sorted
  std::string user;  // HERE/user.ini, written when not empty
};
std::ostream& operator<<(std::ostream& out, const FindingCase& c) { return out << c.label; }

class CheckFindingTest : public CheckTest, public ::testing::WithParamInterface<FindingCase> {};

TEST_P(CheckFindingTest, FindsExactlyTheseAtTheirLines) {
  const FindingCase& c = GetParam();
  // The variables the "<env:NAME>" rows name.
  const kbtest::ScopedEnv spaced("KB_CHECK_SPACED", "/home/John Smith");
  const kbtest::ScopedEnv quoted("KB_CHECK_QUOTED", "say \"hi\"");
  const kbtest::ScopedEnv plain("KB_CHECK_PLAIN", "/home/john");
  if (!c.user.empty()) kbtest::WriteFile(scratch_ / "user.ini", Expand(c.user));
  std::vector<std::string> expected = c.expected;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Findings(Check(c.ini, c.args), true), expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Check, CheckFindingTest,
    ::testing::Values(
        FindingCase{"gap in numbered keys; CR LF, blank and comment lines counted",
                    "; comment\r\n\r\n[wx6]\r\nlaunchercmd=CHILD\r\nJavaArgs_1=-Da\r\n\r\n"
                    "JavaArgs_2=-Db\r\nJavaArgs_4=-Dd\r\n",
                    {},
                    {"warning numbering-gap 8"}},
        FindingCase{"an override fills the gap",
                    "[wx6]\nlaunchercmd=CHILD\nJavaArgs_1=-Da\nJavaArgs_2=-Db\nJavaArgs_4=-Dd\n",
                    {"-JavaArgs_3", "-Dc"},
                    {}},
        FindingCase{"the user file fills the gap",
                    "[wx6]\nlaunchercmd=CHILD\nJavaArgs_1=-Da\nJavaArgs_2=-Db\nJavaArgs_4=-Dd\n"
                    "userini=HERE/user.ini\n",
                    {},
                    {},
                    "[default]\nJavaArgs_3=-Dc\n"},
        FindingCase{"gap across the platform section and default",
                    "[wx6]\nlaunchercmd=CHILD\nAddtlArgs_1=a\n[default]\nAddtlArgs_3=c\n",
                    {},
                    {"warning numbering-gap 5"}},
        FindingCase{"present but empty in another letter case counts as absent",
                    "[wx6]\nlaunchercmd=CHILD\nStartDir=\n[default]\nstartdir=HERE\n",
                    {},
                    {"warning case-mismatch 3"}},
        FindingCase{"empty numbered key in another letter case ends the list",
                    "[default]\nlaunchercmd=CHILD\nJavaArgs_1=-Da\njavaargs_2=\nJavaArgs_3=-Dc\n",
                    {},
                    {"warning case-mismatch 4", "warning numbering-gap 5"}},
        FindingCase{"a value in another letter case works: a note only",
                    "[default]\nlaunchercmd=CHILD\nmainclass=app.Main\n",
                    {},
                    {"note key-case 3"}},
        FindingCase{"unknown keys, numbered ones with a leading zero among them",
                    "[default]\nlaunchercmd=CHILD\nMainClas=app.Main\nJavaArgs_01=-Dx\nfoo=1\n",
                    {},
                    {"warning unknown-key 3", "warning unknown-key 4", "warning unknown-key 5"}},
        FindingCase{"key and section written twice",
                    "[default]\nlaunchercmd=CHILD\nMainClass=a\nmainclass=b\n[Default]\nid=x\n",
                    {},
                    {"warning duplicate-key 4", "warning duplicate-section 5"}},
        FindingCase{"value longer than the lookups read",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=" + std::string(4096, 'a') + "\n",
                    {},
                    {"warning value-cut 3"}},
        FindingCase{"a value of exactly 4,095 bytes is whole",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=" + std::string(4095, 'a') + "\n",
                    {},
                    {}},
        // Counted as the reader counts: bytes of the file on POSIX, UTF-16
        // units on Windows, never the bytes of the check's own UTF-8.
        FindingCase{"3,000 ANSI e-acute are whole (6,000 bytes in UTF-8)",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=" + std::string(3000, '\xE9') + "\n",
                    {},
                    {}},
        FindingCase{"4,096 ANSI e-acute are cut",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=" + std::string(4096, '\xE9') + "\n",
                    {},
                    {"warning value-cut 3"}},
        FindingCase{"launcherargs beside Java keys",
                    "[default]\nlaunchercmd=CHILD\nlauncherargs=-version\nClasspath=-cp x\n",
                    {},
                    {"warning launcherargs-beside-java-keys 3"}},
        FindingCase{"own id in norunwith; a blank after a comma",
                    "[default]\nlaunchercmd=CHILD\nid=App\nnorunwith=app, other\n",
                    {},
                    {"note single-instance 3", "warning norunwith-blank 4"}},
        FindingCase{"start folder that does not exist",
                    "[default]\nlaunchercmd=CHILD\nstartdir=HERE/missing\n",
                    {},
                    {"error start-folder-missing 3"}},
        FindingCase{"stdin is a known key; inherit on the relayed run needs no word",
                    "[default]\nlaunchercmd=CHILD\nstdin=inherit\n",
                    {},
                    {}},
        FindingCase{"stdin=inherit on a hidden run has no effect",
                    "[default]\nlaunchercmd=CHILD\nstdin=Inherit\n",
                    {"-noconsole"},
                    {"note stdin-no-effect 3"}},
        FindingCase{"a stdin value that is neither inherit nor none",
                    "[default]\nlaunchercmd=CHILD\nstdin=pipe\n",
                    {},
                    {"warning stdin-value 3"}},
        FindingCase{"terminal=auto on the relayed console run needs no word",
                    "[default]\nlaunchercmd=CHILD\nterminal=Auto\n",
                    {},
                    {}},
        FindingCase{"terminal=auto on a hidden run has no effect",
                    "[default]\nlaunchercmd=CHILD\nterminal=auto\n",
                    {"-noconsole"},
                    {"note terminal-no-effect 3"}},
        FindingCase{"terminal=auto on an uninstall run has no effect",
                    "[default]\nlaunchercmd=CHILD\nlauncherargs=uninstall.jar\nterminal=auto\n",
                    {},
                    {"note terminal-no-effect 4", "note uninstall-run 0"}},
        FindingCase{"stdin is ignored while terminal=auto is in effect",
                    "[default]\nlaunchercmd=CHILD\nstdin=none\nterminal=auto\n",
                    {},
                    {"note stdin-ignored 3"}},
        FindingCase{"a terminal value other than auto",
                    "[default]\nlaunchercmd=CHILD\nterminal=yes\n",
                    {},
                    {"warning terminal-value 3"}},
        FindingCase{"a javacache value other than auto",
                    "[default]\nlaunchercmd=CHILD\njavacache=on\n",
                    {},
                    {"warning javacache-value 3"}},
        FindingCase{"javacache=auto for a program that is no Java runtime keeps no cache",
                    "[default]\nlaunchercmd=CHILD\njavacache=auto\n",
                    {},
                    {"warning javacache-none 3"}},
        FindingCase{"a logkeep that keeps everything though it names a number",
                    "[default]\nlaunchercmd=CHILD\nlogkeep=0\n",
                    {},
                    {"warning logkeep-value 3"}},
        FindingCase{"logdir, logoutput and logmax are known keys; valid values need no word",
                    "[default]\nlaunchercmd=CHILD\nlogdir=HERE/logs\nlogoutput=None\nlogmax=10M\n",
                    {},
                    {}},
        FindingCase{"a logoutput value that is neither all nor none",
                    "[default]\nlaunchercmd=CHILD\nlogoutput=off\n",
                    {},
                    {"warning logoutput-value 3"}},
        FindingCase{"a logmax of zero bounds nothing",
                    "[default]\nlaunchercmd=CHILD\nlogmax=0\n",
                    {},
                    {"warning logmax-value 3"}},
        FindingCase{"a logmax with a unit it does not know",
                    "[default]\nlaunchercmd=CHILD\nlogmax=10MB\n",
                    {},
                    {"warning logmax-value 3"}},
        FindingCase{"the user file's logoutput and logmax are judged at their lines",
                    "[default]\nlaunchercmd=CHILD\nuserini=HERE/user.ini\n",
                    {},
                    {"warning logoutput-value 2", "warning logmax-value 3"},
                    "[default]\nlogoutput=some\nlogmax=big\n"},
        FindingCase{"the user file: what it may not set, at its lines; its values at theirs",
                    "[default]\nlaunchercmd=CHILD\nuserini=HERE/user.ini\n",
                    {},
                    {"warning logkeep-value 2", "warning userini-ignored 3",
                     "warning userini-ignored 4", "warning userini-ignored 5"},
                    "[default]\nlogkeep=abc\nNorunwith_Display_x=X\nid=\n[Properties]\nA=1\n"},
        FindingCase{
            "<env:NAME> outside quotes whose value holds a blank splits the argument",
            "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=-Dapp.data=<env:KB_CHECK_SPACED>/.a\n"
            "AddtlArgs_2=-Dq=\"<env:KB_CHECK_SPACED>\"\nAddtlArgs_3=<env:KB_CHECK_PLAIN>\n",
            {},
            {"warning env-splits 3"}},
        FindingCase{"through a property; a quote in the value splits inside quotes too",
                    "[properties]\nDATA=<env:KB_CHECK_SPACED>\n[default]\nlaunchercmd=CHILD\n"
                    "AddtlArgs_1=-Dd=<DATA>\nAddtlArgs_2=-Dq=\"<env:KB_CHECK_QUOTED>\"\n"
                    "AddtlArgs_3=-Dr=\"<DATA>\"\nAddtlArgs_4=\"-Ds=<env:KB_CHECK_SPACED>\"\n",
                    {},
                    // The outer quotes of a value are the file's, not the command line's.
                    {"warning env-splits 5", "warning env-splits 6", "warning env-splits 8"}},
        FindingCase{"in the user file's keys and in the launcher's arguments",
                    "[default]\nlaunchercmd=CHILD\nuserini=HERE/user.ini\n",
                    {"<env:KB_CHECK_SPACED>", "a <env:KB_CHECK_SPACED>"},
                    {"warning env-splits 2", "warning env-splits 0"},
                    "[default]\nAddtlArgs_1=<env:KB_CHECK_SPACED>\n"},
        FindingCase{"a user file that is a folder is refused",
                    "[default]\nlaunchercmd=CHILD\nuserini=HERE\n",
                    {},
                    {"warning userini-refused 0"}},
        FindingCase{"a relative user file is refused",
                    "[default]\nlaunchercmd=CHILD\nuserini=user.ini\n",
                    {},
                    {"warning userini-refused 0"}},
        FindingCase{"a missing user file is the usual case: no finding",
                    "[default]\nlaunchercmd=CHILD\nuserini=HERE/none.ini\n",
                    {},
                    {}},
        FindingCase{"no launchercmd for this platform",
                    "[win]\nlaunchercmd=CHILD\n",
                    {},
                    {"error launchercmd-missing 0"}},
        FindingCase{"each system's own section is read: neither is unknown",
                    "[linux]\nlaunchercmd=CHILD\n[Windows]\nlaunchercmd=CHILD\n",
                    {},
                    {}},
        FindingCase{"javamax below javamin: no runtime can fit",
                    "[default]\njavamin=17\nMainClass=a.B\n[wx6]\njavamax=11\n",
                    {},
                    {"error javamax-below-javamin 5"}},
        FindingCase{"a runtime search with nothing that fits ends with -108, not a missing program",
                    "[default]\njavamin=99\njavasearch=env:KB_CHECK_UNSET_HOME\nMainClass=a.B\n",
                    {},
                    {"error java-not-found 0"}},
        FindingCase{"placeholders doubling at 24 levels pass the limit: the launch ends with -103",
                    [] {
                      std::string ini = "[properties]\n";
                      for (int i = 0; i < 23; ++i) {
                        ini += "P" + std::to_string(i) + "=<P" + std::to_string(i + 1) + "><P" +
                               std::to_string(i + 1) + ">\n";
                      }
                      return ini + "P23=x\n[default]\nlaunchercmd=CHILD\nMainClass=<P0>\n";
                    }(),
                    {},
                    {"error properties-failed 0"}},
        FindingCase{"master property file missing",
                    "[properties]\nMASTERPROP=absent.ini\n[default]\nlaunchercmd=CHILD\n",
                    {},
                    {"warning master-missing 2"}},
        FindingCase{"an empty MASTERPROP names no file to miss and gives <LAUNCHERDIR>; logkeep",
                    "[properties]\nMASTERPROP=\n[default]\nlaunchercmd=CHILD\n"
                    "AddtlArgs_1=<LAUNCHERDIR>\nlogkeep=10\n",
                    {},
                    {}},
        FindingCase{"UTF-8 byte-order mark hides the first section",
                    "\xEF\xBB\xBF[default]\nid=x\n[wx6]\nlaunchercmd=CHILD\n",
                    {},
                    {"warning utf8-bom 1", "warning outside-section 2"}},
        // Windows reads a file without a mark in the ANSI code page, so the
        // UTF-8 sequences become other characters; POSIX reads the bytes.
        FindingCase{"UTF-8 text in a file without a byte-order mark",
                    "[default]\nlaunchercmd=CHILD\n\nAddtlArgs_1=Caf\xC3\xA9-\xE2\x82\xAC\n",
                    {},
                    kbtest::IsWindows() ? std::vector<std::string>{"warning utf8-without-mark 4"}
                                        : std::vector<std::string>{}},
        FindingCase{"program not found",
                    "[default]\nlaunchercmd=HERE/nothing/java\n",
                    {},
                    {"error program-not-found 2"}},
        FindingCase{"class path: a wildcard folder counts, missing entries do not",
                    "[default]\nlaunchercmd=CHILD\n"
                    "Classpath=-cp HERE/*;HERE/missing.jar;HERE/nodir/*\n",
                    {},
                    {"warning classpath-missing 3", "warning classpath-missing 3"}},
        FindingCase{"placeholder left in the command line",
                    "[properties]\nHOME=x\n[default]\nlaunchercmd=CHILD\nAddtlArgs_1=<home>\n",
                    {},
                    {"warning unreplaced-placeholder 5"}},
        FindingCase{"uninstall.jar inside an argument makes an uninstall run",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=-Dlog=Uninstall.jar.log\n",
                    {},
                    {"warning uninstall-by-accident 0"}},
        FindingCase{
            "an uninstall run that names its jar is only a note",
            "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=-jar\nAddtlArgs_2=lib/uninstall.jar\n",
            {},
            {"note uninstall-run 0"}},
        FindingCase{"command line over the limit",
                    "[default]\nlaunchercmd=CHILD\nAddtlArgs_1=" + std::string(4000, 'a') +
                        "\nAddtlArgs_2=" + std::string(4000, 'b') + "\nAddtlArgs_3=" +
                        std::string(4000, 'c') + "\nAddtlArgs_4=" + std::string(4000, 'd') +
                        "\nAddtlArgs_5=" + std::string(4000, 'e') + "\nAddtlArgs_6=" +
                        std::string(4000, 'f') + "\nAddtlArgs_7=" + std::string(4000, 'g') +
                        "\nAddtlArgs_8=" + std::string(4000, 'h') +
                        "\nAddtlArgs_9=" + std::string(800, 'i') + "\n",
                    {},
                    {"error too-long 0"}},
        FindingCase{"misspelt section and a line without equals sign",
                    "[defualt]\nlaunchercmd=CHILD\n[default]\nlaunchercmd=CHILD\nMainClass app\n",
                    {},
                    {"warning unknown-section 1", "warning missing-equals 5"}}));

TEST_F(CheckTest, SuggestsTheClosestKey) {
  const Report report = Check("[default]\nlaunchercmd=CHILD\nMainClas=a\nJavaArgs_01=b\n");
  EXPECT_NE(Message(report, "unknown-key", 3).find("`MainClass`"), std::string::npos);
  EXPECT_NE(Message(report, "unknown-key", 4).find("`JavaArgs_1`"), std::string::npos);
}

TEST_F(CheckTest, SuggestsAnEmptyMasterPropForTheBuiltInPlaceholders) {
  const Report report = Check("[default]\nlaunchercmd=CHILD\nAddtlArgs_1=<LAUNCHERDIR>\n");
  EXPECT_NE(Message(report, "unreplaced-placeholder", 3).find("\"MASTERPROP=\""),
            std::string::npos);
}

TEST_F(CheckTest, EmptyMasterPropIsNoMasterFileByChoice) {
  const Report report = Check("[properties]\nMASTERPROP=\n[default]\nlaunchercmd=CHILD\n");
  EXPECT_TRUE(report.master.named);
  EXPECT_EQ(report.master.value, "");
  EXPECT_EQ(report.master.path, "");
  const std::string text = kb::check::ToText(report);
  EXPECT_NE(text.find("none by choice"), std::string::npos) << text;
  EXPECT_EQ(text.find("not found"), std::string::npos) << text;
}

TEST_F(CheckTest, MasterFileShadowedAndAddedProperties) {
  kbtest::WriteFile(scratch_ / "master.ini", "[properties]\nA=master\nB=added\n");
  const Report report = Check(
      "[properties]\nMASTERPROP=master.ini\nA=own\n[default]\nlaunchercmd=CHILD\n"
      "MainClass=<A><B>\n");
  EXPECT_EQ(Findings(report, true), std::vector<std::string>{"note property-shadowed 3"});
  EXPECT_TRUE(report.master.found);
  EXPECT_EQ(report.master.added, std::vector<std::string>{"B"});
  EXPECT_EQ(report.master.shadowed, std::vector<std::string>{"A"});
  const auto main_class =
      std::find_if(report.keys.begin(), report.keys.end(),
                   [](const kb::check::KeyValue& k) { return k.key == "MainClass"; });
  ASSERT_NE(main_class, report.keys.end());
  EXPECT_EQ(main_class->value, "ownadded");
}

TEST_F(CheckTest, KeySourcesFollowTheLookupOrder) {
  const std::string user = scratch_ / "user.ini";
  kbtest::WriteFile(user, "[wx6]\nJavaArgs_1=-Duser\n[default]\nstdin=\nid=user\nterminal=auto\n");
  const Report report = Check(
      "[wx6]\nlaunchercmd=CHILD\nstartdir=\nMainClass=file.Main\n[default]\n"
      "startdir=HERE\nClasspath=-cp a\nuserini=HERE/user.ini\nstdin=none\nid=own\n",
      {"-MAINCLASS", "other.Main", "-Classpath", "\"\""});
  auto key = [&report](const std::string& name) {
    for (const kb::check::KeyValue& k : report.keys) {
      if (k.key == name)
        return k.value + "|" + k.source + "|" + k.section + "|" + std::to_string(k.line) + "|" +
               k.file;
    }
    return std::string("missing");
  };
  EXPECT_EQ(key("startdir"), " |present-but-empty|wx6|3|");
  EXPECT_EQ(key("MainClass"), "other.Main|override||0|");
  // An empty override is consumed but leaves the file's value.
  EXPECT_EQ(key("Classpath"), "-cp a|default|default|7|");
  EXPECT_EQ(key("launcherargs"), "|absent||0|");
  // The user file comes before the configuration file, but never for the
  // guard's keys.
  EXPECT_EQ(key("JavaArgs_1"), "-Duser|wx6|wx6|2|" + user);
  EXPECT_EQ(key("stdin"), " |present-but-empty|default|4|" + user);
  EXPECT_EQ(key("id"), "own|default|default|10|");
  EXPECT_EQ(key("terminal"), "auto|default|default|6|" + user);
  EXPECT_EQ(report.user_file_state, "read");
}

TEST_F(CheckTest, PropertiesUsedByTheUserFilesKeysAreUsed) {
  kbtest::WriteFile(scratch_ / "user.ini",
                    "[default]\nAddtlArgs_1=<BYUSER>\nid=<IGNORED>\n[properties]\nX=<IGNORED>\n");
  const Report report = Check(
      "[properties]\nBYUSER=u\nIGNORED=i\n[default]\nlaunchercmd=CHILD\n"
      "userini=HERE/user.ini\n");
  std::vector<std::string> uses;
  for (const kb::check::Property& p : report.properties) {
    std::string line = p.name + ":";
    for (const std::string& use : p.used_by) line += " " + use;
    uses.push_back(line);
  }
  // Keys the user file may not set, and its [properties], use nothing.
  EXPECT_EQ(uses, (std::vector<std::string>{"BYUSER: AddtlArgs_1", "IGNORED:"}));
}

// The system's own section has its place: after the tag's on Windows,
// before it on Linux, in the user file as in the configuration file.
TEST_F(CheckTest, KeySourcesKnowTheSystemSection) {
  const std::string user = scratch_ / "user.ini";
  kbtest::WriteFile(user, "[linux]\nMainClass=user.Linux\n[windows]\nMainClass=user.Windows\n");
  const Report report = Check(
      "[wx6]\nlaunchercmd=CHILD\nstartdir=HERE\n[linux]\nstartdir=/tmp\nstdin=inherit\n"
      "[windows]\nstartdir=C:\\\nstdin=inherit\n[default]\nuserini=HERE/user.ini\n");
  auto key = [&report](const std::string& name) {
    for (const kb::check::KeyValue& k : report.keys) {
      if (k.key == name) return k.value + "|" + k.section + "|" + std::to_string(k.line);
    }
    return std::string("missing");
  };
  const bool windows = kbtest::IsWindows();
  EXPECT_EQ(key("startdir"), windows ? scratch_.path() + "|wx6|3" : "/tmp|linux|5");
  EXPECT_EQ(key("stdin"), windows ? "inherit|windows|9" : "inherit|linux|6");
  EXPECT_EQ(key("MainClass"), windows ? "user.Windows|windows|4" : "user.Linux|linux|2");
}

// A Java runtime's line: the check shows it as Java receives it, with each
// original path, and says what Java cannot receive (Windows; POSIX passes
// bytes).
TEST_F(CheckTest, JavaLineShowsShortFormsAndWhatCannotBeHeld) {
  kbtest::MakeJavaHome(scratch_ / "jre", "17");
  const std::string data = scratch_ / "data-\u65e5\u672c.txt";
  kbtest::WriteFile(data, "x");
  const Report report = Check("[default]\nlaunchercmd=HERE/jre/bin/java\n",
                              {data, "file-\u65e5\u672c.txt"});
  ASSERT_EQ(report.argv.size(), 3u);
  if (!kbtest::IsWindows()) {
    EXPECT_EQ(report.argv[1], data);
    EXPECT_TRUE(report.short_forms.empty());
    EXPECT_EQ(Findings(report, false), std::vector<std::string>{});
    return;
  }
  ASSERT_EQ(report.short_forms.size(), 1u);
  EXPECT_EQ(report.short_forms[0].original, data);
  EXPECT_EQ(report.argv[1], report.short_forms[0].short_form);
  EXPECT_NE(report.command_line.find(report.short_forms[0].short_form), std::string::npos);
  // What Java receives: "?" for what the code page cannot hold, in bytes
  // and as text, and the warning says so.
  EXPECT_EQ(report.argv[2], "file-??.txt");
  ASSERT_EQ(report.argv_bytes.size(), 3u);
  EXPECT_EQ(report.argv_bytes[2], "file-??.txt");
  EXPECT_EQ(Findings(report, false), std::vector<std::string>{"warning unholdable-argument 0"});
  EXPECT_NE(Message(report, "unholdable-argument", 0).find("U+65E5"), std::string::npos);
  EXPECT_NE(Message(report, "unholdable-argument", 0).find("receives `file-??.txt`"),
            std::string::npos)
      << Message(report, "unholdable-argument", 0);
}

// The check may run anywhere; the child runs in its working folder (here
// the launcher's), and a relative entry is looked for there.
TEST_F(CheckTest, RelativeClassPathEntryIsFoundFromTheChildsFolderWhereverTheCheckRuns) {
  kbtest::MakeJavaHome(scratch_ / "jre", "17");
  kbtest::MakeDirs(scratch_ / "lib");
  kbtest::WriteFile(kbtest::Join(scratch_ / "lib", "\u65e5\u672c.jar"), "x");
  kbtest::ScratchDir elsewhere;
  kbtest::ScopedCwd cwd(elsewhere.path());
  // Given as an override: an ANSI file cannot hold the name.
  const Report report = Check("[default]\nlaunchercmd=HERE/jre/bin/java\n",
                              {"-Classpath", "-cp lib\\\u65e5\u672c.jar"});
  EXPECT_EQ(Findings(report, false), std::vector<std::string>{});
  if (!kbtest::IsWindows()) {
    EXPECT_TRUE(report.short_forms.empty());
    return;
  }
  ASSERT_EQ(report.short_forms.size(), 1u);
  EXPECT_EQ(report.short_forms[0].original, "lib\\\u65e5\u672c.jar");
  // Relative still, as the line has it.
  EXPECT_EQ(report.short_forms[0].short_form.rfind("lib\\", 0), 0u)
      << report.short_forms[0].short_form;
  ASSERT_EQ(report.argv.size(), 3u);
  EXPECT_EQ(report.argv[2], report.short_forms[0].short_form);
}

TEST_F(CheckTest, DescribesTheLauncherItPredicts) {
  const Report report = Check("[default]\nlaunchercmd=CHILD\n", {}, "My App.ini");
  EXPECT_EQ(report.launcher, kb::check::DefaultLauncherFor(scratch_ / "My App.ini"));
  EXPECT_EQ(report.kind, 200);
  EXPECT_EQ(report.launcher_reads, scratch_ / "My App.ini");
  // The log is named after that launcher, not after the check.
  const std::string log_name = report.log_file.substr(report.log_file.find_last_of("\\/") + 1);
  EXPECT_EQ(log_name.rfind("My App_console_", 0), 0u) << report.log_file;
  // In the folder logdir names, as the launch puts it.
  const Report moved = Check("[properties]\nL=logs\n[default]\nlaunchercmd=CHILD\nlogdir=HERE/<L>/\n",
                             {}, "My App.ini");
  EXPECT_EQ(moved.log_file.substr(0, moved.log_file.find_last_of("\\/")),
            kbtest::Join(scratch_.path(), "logs"));
}

// The windowed launcher has no terminal to give: the key is noted as
// without effect there, as on a hidden run (the table's rows).
TEST_F(CheckTest, TerminalHasNoEffectForTheWindowedLauncher) {
  kbtest::WriteFile(scratch_ / "tool.ini", Expand("[default]\nlaunchercmd=CHILD\nterminal=auto\n"));
  kb::check::Request request;
  request.config_file = scratch_ / "tool.ini";
  request.platform = "wx6";
  request.launcher = "tool";
  Report report;
  std::string error;
  ASSERT_TRUE(kb::check::Analyse(request, &report, &error)) << error;
  EXPECT_EQ(report.kind, 100);
  EXPECT_EQ(Findings(report, true), std::vector<std::string>{"note terminal-no-effect 3"});
}

// The README's complete configuration, with its paths made real here.
TEST_F(CheckTest, NoFalseFindingOnTheReadmeExample) {
  const std::string bin = kbtest::Join(kbtest::Join(scratch_.path(), "jre"), "bin");
  kbtest::MakeDirs(bin);
  kbtest::CopyFile(kbtest::Child(), kbtest::Join(bin, "java.exe"));
  kbtest::MakeDirs(scratch_ / "lib");
  kbtest::WriteFile(kbtest::Join(scratch_ / "lib", "myapp.jar"), "");
  kbtest::WriteFile(kbtest::Join(scratch_ / "lib", "deps.jar"), "");
  const Report report = Check(
      "[properties]\nAPPHOME=HERE\nMEMORY=512m\n\n[default]\n"
      "launchercmd=<APPHOME>\\jre\\bin\\java.exe\nJavaArgs_1=-Xmx<MEMORY>\n"
      "JavaArgs_2=-Dmyapp.home=\"<APPHOME>\"\nClasspath=-cp lib\\myapp.jar;lib\\deps.jar\n"
      "MainClass=com.example.myapp.Main\nAddtlArgs_1=--verbose\nid=myapp\n"
      "norunwith=myapp,myapp-installer\nnorunwith_display_myapp=MyApp\n"
      "norunwith_display_myapp-installer=MyApp Installer\n\n[wx6]\n; only on 64-bit Windows\n"
      "JavaArgs_1=-Xmx2g\n",
      {"report.txt"});
  EXPECT_EQ(Findings(report, true), std::vector<std::string>{"note single-instance 12"});
  const Report placeholders = Check(
      "[properties]\nLIB=<HOME>\\lib\nHOME=HERE\n[default]\nlaunchercmd=CHILD\n"
      "AddtlArgs_1=<LIB>\n");
  EXPECT_EQ(Findings(placeholders, true), std::vector<std::string>{});
}

TEST_F(CheckTest, TheDemoConfigurationPassesWithoutFindings) {
  const bool windows = kbtest::Sep() == "\\";
  const std::string examples = std::string(KB_TEST_DATA_DIR) + "/../../examples/hello/";
  const std::string ini =
      kbtest::ReadFile(examples + (windows ? "hello_windows.ini" : "hello.ini"));
  ASSERT_FALSE(ini.empty());
  kbtest::MakeDirs(scratch_ / "classes");
  // The demo's runtime: "java" on the search path, or the Windows demo's
  // child beside the launcher.
  kbtest::MakeDirs(scratch_ / "bin");
  kbtest::CopyFile(kbtest::Child(),
                   windows ? scratch_ / "hello_child.exe" : kbtest::Join(scratch_ / "bin", "java"));
  kbtest::ScopedEnv path("PATH", scratch_ / "bin");
  const Report report = Check(ini, {"Kestrelbay", "user"}, "hello.ini");
  EXPECT_EQ(Findings(report, true), std::vector<std::string>{});
  EXPECT_FALSE(report.program.empty());
}

// The README's sample report and JSON document are the tool's own output
// for the demo, with this machine's places put back as the README shows
// them.
TEST_F(CheckTest, ReadmeSamplesAreWhatTheToolPrints) {
  if (kbtest::IsWindows()) GTEST_SKIP() << "the README's samples are made on Linux";
  const std::string root = std::string(KB_TEST_DATA_DIR) + "/../../";
  const std::string readme = kbtest::ReadFile(root + "README.md");
  auto block = [&readme](const std::string& opening) {
    const std::string::size_type start = readme.find(opening);
    if (start == std::string::npos) return std::string("(no sample after " + opening + ")");
    const std::string::size_type from = start + opening.size();
    return readme.substr(from, readme.find("```", from) - from);
  };
  kbtest::MakeDirs(scratch_ / "classes");
  kbtest::MakeDirs(scratch_ / "bin");
  kbtest::CopyFile(kbtest::Child(), kbtest::Join(scratch_ / "bin", "java"));
  kbtest::ScopedEnv path("PATH", scratch_ / "bin");
  kbtest::CopyFile(root + "examples/hello/hello.ini", scratch_ / "hello.ini");
  kb::check::Request request;  // the machine's platform, as the sample's run
  request.config_file = scratch_ / "hello.ini";
  request.launcher_args = {"Kestrelbay", "user"};
  Report report;
  std::string error;
  ASSERT_TRUE(kb::check::Analyse(request, &report, &error)) << error;
  const std::string readme_log =
      "/root/.local/share/Orlan/Kestrelbay/hello_console_2026-12-8-1.39.26.log";
  auto as_in_readme = [&](std::string text) {
    text = kb::ReplaceAll(text, report.program, "/usr/bin/java");
    text = kb::ReplaceAll(text, report.log_file, readme_log);
    text = kb::ReplaceAll(text, "\"temp_folder\": \"" + report.temp_folder,
                          "\"temp_folder\": \"/tmp");
    text = kb::ReplaceAll(text, "temporary      " + report.temp_folder, "temporary      /tmp");
    return kb::ReplaceAll(text, scratch_.path(), "/tmp/readme/hello");
  };
  EXPECT_EQ(block("$ launcher_check hello/hello.ini -- Kestrelbay user\n"),
            as_in_readme(kb::check::ToText(report)));
  EXPECT_EQ(block("For the demo:\n\n```json\n"), as_in_readme(kb::check::ToJson(report)));
}

TEST_F(CheckTest, TextWrapsAtEightyColumnsAndNeverInsideAWord) {
  const std::string jar = "/opt/" + std::string(50, 'p') + "/" + std::string(60, 'q') + ".jar";
  std::string words;
  for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
  const struct {
    const char* label;
    std::string ini;
    std::string whole;  // a word longer than a line that must stay on one
  } cases[] = {
      {"words wrap within eighty columns",
       "[properties]\nLONG=" + words + "\n[default]\nlaunchercmd=CHILD\nMainClass=<LONG>\n", ""},
      {"a path longer than a line stays whole",
       "[default]\nlaunchercmd=CHILD\nClasspath=-cp " + jar + "\nMainClass=a.B\n", jar},
  };
  for (const auto& c : cases) {
    const std::string text = kb::check::ToText(Check(c.ini));
    for (const std::string& line : kbtest::Lines(text)) {
      // Only a word too long for any line (here the data folder's log path
      // too) may run past the width, and nothing after it.
      if (line.size() <= 79) continue;
      EXPECT_EQ(line.find(' ', 79), std::string::npos) << c.label << line;
      EXPECT_GT(line.size() - line.rfind(' ') - 1, 79u - 17u) << c.label << line;
    }
    if (!c.whole.empty()) EXPECT_NE(text.find(c.whole), std::string::npos) << c.label << text;
  }
}

TEST(ProgramMarkerTest, TheFirstWholeLineDescribesTheProgram) {
  using platform::ProgramKind;
  const std::string marker = "kestrelbay-launcher: version=";
  const struct {
    const char* label;
    std::string bytes;
    bool found;
    std::string version;
    ProgramKind kind;
  } cases[] = {
      {"console", "\x7f" "ELF..." + marker + "1.0.0.0 kind=console;\0...", true, "1.0.0.0",
       ProgramKind::kConsole},
      {"windowed", marker + "2.3.4.5 kind=windowed;", true, "2.3.4.5", ProgramKind::kWindowed},
      {"the reader's own text ends at its NUL",
       marker + std::string("\0", 1) + "x;" + marker + "1.2.0.0 kind=console;", true, "1.2.0.0",
       ProgramKind::kConsole},
      {"unknown kind", marker + "1.0.0.0 kind=service;", false, "", ProgramKind::kUnknown},
      {"no version", marker + " kind=console;", false, "", ProgramKind::kUnknown},
      {"no end", marker + "1.0.0.0 kind=console", false, "", ProgramKind::kUnknown},
      {"none", "just bytes", false, "", ProgramKind::kUnknown},
  };
  for (const auto& c : cases) {
    platform::ProgramInfo info;
    EXPECT_EQ(platform::ParseProgramMarker(c.bytes, &info), c.found) << c.label;
    EXPECT_EQ(info.version, c.version) << c.label;
    EXPECT_EQ(info.kind, c.kind) << c.label;
  }
}

// A path with blanks, wider than a line, stays whole on one line wherever
// the report names it, so that it can be copied.
TEST_F(CheckTest, TextNeverBreaksInsideAPath) {
  const std::string folder = kbtest::Join(
      kbtest::Join(scratch_.path(), "Program Files"),
      kbtest::Join("Tally Application With A Rather Long Name", "lib and more"));
  kbtest::MakeDirs(folder);
  const std::string jar = kbtest::Join(folder, "tally app.jar");
  const Report report =
      Check("[default]\nlaunchercmd=CHILD\nstartdir=" + folder + "\nMainClass=a.B\n",
            {jar}, kbtest::Join("Program Files", "tool.ini"));
  const std::string text = kb::check::ToText(report);
  ASSERT_GT(folder.size(), 80u);
  for (const std::string& path : {report.config_file, report.working_folder, jar}) {
    EXPECT_NE(text.find(path), std::string::npos) << path << "\n" << text;
  }
}

// Without a runtime there is no program: the first option is not shown as
// one.
TEST_F(CheckTest, NoRuntimeMeansNoProgramInTheArgumentList) {
  const std::string text = kb::check::ToText(
      Check("[default]\njavamin=99\njavasearch=env:KB_CHECK_UNSET_HOME\nJavaArgs_1=-Xmx256m\n"
            "MainClass=a.B\n"));
  EXPECT_NE(text.find("\nArguments the child receives\n"
                      "   0  (no program: no Java runtime fits, nothing is started)\n"
                      "   1  -Xmx256m\n"
                      "   2  a.B\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("(not found)"), std::string::npos) << text;
}

// An unpaired surrogate of a Windows argument shows as its unit in the text
// report, and stays one character in JSON.
TEST(CheckOutputTest, ALoneSurrogateShowsAsItsUnit) {
  kb::check::Report report;
  report.command_known = true;
  report.command_line =
      "p a\xED\xA0\x80"
      "b";
  report.argv = {"p",
                 "a\xED\xA0\x80"
                 "b"};
  report.argv_bytes = report.argv;
  const std::string text = kb::check::ToText(report);
  EXPECT_NE(text.find("a\\uD800b"), std::string::npos) << text;
  EXPECT_EQ(text.find("\xED\xA0\x80"), std::string::npos) << text;
  EXPECT_NE(kb::check::ToJson(report).find("\"a\\ud800b\""), std::string::npos);
}

struct JsonCase {
  const char* label;
  std::string bytes;
  std::string json;
};
std::ostream& operator<<(std::ostream& out, const JsonCase& c) { return out << c.label; }

class JsonStringTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonStringTest, ValidUtf8StaysAndOtherBytesBecomeReplacementCharacters) {
  EXPECT_EQ(kb::check::JsonString(GetParam().bytes), GetParam().json) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Check, JsonStringTest,
    ::testing::Values(
        JsonCase{"plain, quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        JsonCase{"control characters", std::string("\n\r\t\x01\x7f", 5),
                 "\"\\n\\r\\t\\u0001\\u007f\""},
        JsonCase{"NUL", std::string("a\0b", 3), "\"a\\u0000b\""},
        JsonCase{"valid two, three and four bytes", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80",
                 "\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        JsonCase{"a Latin-1 byte", "caf\xE9", "\"caf\xEF\xBF\xBD\""},
        JsonCase{"bytes are never taken for the characters of their values",
                 "\xFC\xFF|\xC3\xBC\xC3\xBF", "\"\xEF\xBF\xBD\xEF\xBF\xBD|\xC3\xBC\xC3\xBF\""},
        JsonCase{"truncated sequence", "\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        JsonCase{"overlong slash", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        // A Windows name's unpaired surrogate, as the launcher holds it: the
        // unit itself, so the JSON stays valid and nothing is lost.
        JsonCase{"surrogate half", "\xED\xA0\x80", "\"\\ud800\""},
        JsonCase{"second half between letters",
                 "a\xED\xBF\xBF"
                 "b",
                 "\"a\\udfff"
                 "b\""},
        JsonCase{"surrogate lead cut short", "\xED\xA0", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        JsonCase{"beyond U+10FFFF", "\xF4\x90\x80\x80",
                 "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}));

}  // namespace
