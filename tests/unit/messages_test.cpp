#include "launcher/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/data_control.h"
#include "log/log.h"
#include "platform/ui.h"
#include "support/test_support.h"

namespace {

struct Shown {
  std::string text;
  std::string caption;
};
std::vector<Shown> g_boxes;
std::vector<std::string> g_stderr_lines;
std::vector<Shown> g_questions;  // text + "|" + question
bool g_answer = false;
std::vector<std::string> g_opened;
int g_open_error = 0;

void RecordBox(const std::string& text, const std::string& caption) {
  g_boxes.push_back({text, caption});
}
void RecordStdErr(const std::string& line) { g_stderr_lines.push_back(line); }
bool RecordQuestion(const std::string& text, const std::string& question,
                    const std::string& caption) {
  g_questions.push_back({text + "|" + question, caption});
  return g_answer;
}
// Stands in for the system's opener: records the address, opens nothing.
int RecordOpen(const std::string& address) {
  g_opened.push_back(address);
  return g_open_error;
}
const kb::MessageOutlets kRecorded{RecordBox, RecordStdErr, RecordQuestion, RecordOpen};

class MessageDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_log_ = kb::LogFilePath();
    saved_no_message_ = kb::NoMessage();
    kb::LogFilePath() = dir_ / "messages.log";
    kb::NoMessage() = false;
    g_boxes.clear();
    g_stderr_lines.clear();
    g_questions.clear();
    g_opened.clear();
    g_answer = false;
    g_open_error = 0;
  }
  void TearDown() override {
    kb::LogFilePath() = saved_log_;
    kb::NoMessage() = saved_no_message_;
  }
  // The entries of the log without their time-stamp lines.
  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (const std::string& line : kbtest::Lines(kbtest::ReadFile(dir_ / "messages.log"))) {
      if (line.rfind("INFO: ", 0) == 0 || line.rfind("WARNING: ", 0) == 0) {
        entries.push_back(line);
      }
    }
    return entries;
  }

  kbtest::ScratchDir dir_;
  std::string saved_log_;
  bool saved_no_message_ = false;
};

// The string table travels with the executable on both builds.
TEST(StringTableTest, HoldsElevenTextsAndNothingElse) {
  EXPECT_EQ(platform::LoadResourceString(1), "Kestrelbay");
  EXPECT_EQ(platform::LoadResourceString(4),
            "The #2 cannot be invoked while the #1 is running.");
  EXPECT_EQ(platform::LoadResourceString(9),
            "Following argument can be used: \n -console\t\tprint all standard "
            "output into log file. \n -log <filename>\tUse giving log file instead. \n");
  EXPECT_EQ(platform::LoadResourceString(11), "System does not have enough memory.");
  for (int id = 1; id <= 11; ++id) EXPECT_FALSE(platform::LoadResourceString(id).empty()) << id;
  for (int id : {0, 12, -1, 65535}) EXPECT_EQ(platform::LoadResourceString(id), "") << id;
}

TEST_F(MessageDisplayTest, ConsoleKindLogsAndWritesOneLineToStdErrButShowsNoBox) {
  struct Case {
    int code;
    std::string detail;
    std::string logged;  // the message as the log holds it
    std::string line;    // the standard-error line
  };
  const std::vector<Case> cases = {
      {-100, "C:\\app\\tool.ini", "This file is missing: C:\\app\\tool.ini",
       "This file is missing: C:\\app\\tool.ini"},
      {-101, "", "This application does not support your platform. ",
       "This application does not support your platform."},
      {-103, "", "System does not have enough memory. ", "System does not have enough memory."},
      {-104, "x", "System does not have enough disk space. x",
       "System does not have enough disk space. x"},
      {-108, "/opt/jre", "Given Java does not exist or imcomplete. /opt/jre",
       "Given Java does not exist or imcomplete. /opt/jre"},
      {-5, "d", "Launcher exist with an genetic error. Please check its log file for details. d",
       "Launcher exist with an genetic error. Please check its log file for details. d"},
      {0, "", "Launcher exist with an genetic error. Please check its log file for details. ",
       "Launcher exist with an genetic error. Please check its log file for details."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    kbtest::WriteFile(dir_ / "messages.log", "");
    g_stderr_lines.clear();
    kb::MessageDisplay(200, c.code, c.detail, kRecorded);
    EXPECT_EQ(Entries(), std::vector<std::string>{"INFO: MessageDisplay=" + c.logged});
    EXPECT_EQ(g_stderr_lines, std::vector<std::string>{c.line});
  }
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MessageDisplayTest, UsageTextKeepsItsLinesInTheLogAndIsOneLineOnStdErr) {
  kb::MessageDisplay(200, -1000, "", kRecorded);
  const std::string log = kbtest::ReadFile(dir_ / "messages.log");
  EXPECT_NE(log.find("INFO: MessageDisplay=Following argument can be used: \r\n -console\t\tprint"),
            std::string::npos);
  ASSERT_EQ(g_stderr_lines.size(), 1u);
  EXPECT_EQ(g_stderr_lines[0],
            "Following argument can be used: -console print all standard output into log "
            "file. -log <filename> Use giving log file instead.");
}

// "-nomessage" silences every line of the launcher's own on standard error:
// the message and the warning of a log that cannot be written.
TEST_F(MessageDisplayTest, NoMessageSilencesStdErrButNotTheLog) {
  kb::WarnLostLog("/srv/logs/run.log", 0, kRecorded);
  EXPECT_EQ(g_stderr_lines, std::vector<std::string>{kb::LostLogWarning("/srv/logs/run.log", 0)});
  EXPECT_EQ(kb::LostLogWarning("/srv/logs/run.log", 0),
            "WARNING: the log file /srv/logs/run.log cannot be written: error 0; the run goes "
            "on without it");
  g_stderr_lines.clear();
  kb::NoMessage() = true;
  kb::MessageDisplay(200, -100, "/srv/tool.ini", kRecorded);
  kb::WarnLostLog("/srv/logs/run.log", 2, kRecorded);
  EXPECT_TRUE(g_stderr_lines.empty());
  EXPECT_EQ(Entries(),
            std::vector<std::string>{"INFO: MessageDisplay=This file is missing: /srv/tool.ini"});
}

TEST_F(MessageDisplayTest, WindowedKindShowsABoxUnlessNoMessage) {
  kb::MessageDisplay(100, -101, "", kRecorded);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");
  EXPECT_EQ(g_boxes[0].text, "This application does not support your platform. ");
  EXPECT_TRUE(g_stderr_lines.empty());

  kb::NoMessage() = true;
  kb::MessageDisplay(100, -103, "", kRecorded);
  EXPECT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           "INFO: MessageDisplay=This application does not support your platform. ",
                           "INFO: MessageDisplay=System does not have enough memory. "}));
}

TEST_F(MessageDisplayTest, CodeWithoutTableTextDoesNothingAtAll) {
  for (int kind : {100, 200}) {
    kb::MessageDisplay(kind, -106, "detail", kRecorded);
  }
  EXPECT_FALSE(kbtest::FileExists(dir_ / "messages.log"));
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_TRUE(g_stderr_lines.empty());
}

// The shipper's "javamissing" text stands in for the built-in one where the
// user sees it; the log keeps the built-in line and adds the shipper's.
TEST_F(MessageDisplayTest, ShippersJavaMissingTextIsShownInsteadOfTheBuiltInOne) {
  const std::string builtin =
      "INFO: MessageDisplay=Given Java does not exist or imcomplete. nothing on PATH";
  const std::string own = "Tally needs Java 17 to 21: get it at https://example.org/java.";
  struct Case {
    int kind;
    bool answer;
    std::string text;
    std::vector<std::string> lines;      // on standard error
    std::vector<std::string> boxes;      // plain boxes
    std::vector<std::string> questions;  // text|question
    std::vector<std::string> opened;
    std::vector<std::string> log;  // after the built-in line
  };
  const std::vector<Case> cases = {
      {200, true, own, {own}, {}, {}, {}, {"INFO: MessageDisplay::javamissing=" + own}},
      {200, true, "Install Java\t17 first.", {"Install Java 17 first."}, {}, {}, {},
       {"INFO: MessageDisplay::javamissing=Install Java\t17 first."}},
      {100, false, "Install Java 17 first.", {}, {"Install Java 17 first."}, {}, {},
       {"INFO: MessageDisplay::javamissing=Install Java 17 first."}},
      {100, false, own, {}, {}, {own + "|Open https://example.org/java now?"}, {},
       {"INFO: MessageDisplay::javamissing=" + own}},
      {100, true, own, {}, {}, {own + "|Open https://example.org/java now?"},
       {"https://example.org/java"},
       {"INFO: MessageDisplay::javamissing=" + own,
        "INFO: MessageDisplay::javamissing=opened https://example.org/java"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.text);
    kbtest::WriteFile(dir_ / "messages.log", "");
    g_stderr_lines.clear();
    g_boxes.clear();
    g_questions.clear();
    g_opened.clear();
    g_answer = c.answer;
    kb::JavaMissingDisplay(c.kind, "nothing on PATH", c.text, kRecorded);
    EXPECT_EQ(g_stderr_lines, c.lines);
    std::vector<std::string> boxes;
    for (const Shown& box : g_boxes) boxes.push_back(box.text);
    EXPECT_EQ(boxes, c.boxes);
    std::vector<std::string> questions;
    for (const Shown& question : g_questions) {
      questions.push_back(question.text);
      EXPECT_EQ(question.caption, "Error");
    }
    EXPECT_EQ(questions, c.questions);
    EXPECT_EQ(g_opened, c.opened);
    std::vector<std::string> log = {builtin};
    log.insert(log.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(Entries(), log);
  }
}

TEST_F(MessageDisplayTest, JavaMissingWithoutOwnTextOrWithNoMessage) {
  // Absent or present but empty: the built-in text, as before.
  for (const char* own : {"", " "}) {
    kbtest::WriteFile(dir_ / "messages.log", "");
    g_stderr_lines.clear();
    kb::JavaMissingDisplay(200, "java 11 in /opt/jre; 17 or newer wanted", own, kRecorded);
    const std::string message =
        "Given Java does not exist or imcomplete. java 11 in /opt/jre; 17 or newer wanted";
    EXPECT_EQ(g_stderr_lines, std::vector<std::string>{message});
    EXPECT_EQ(Entries(), std::vector<std::string>{"INFO: MessageDisplay=" + message});
  }
  // An opener that fails is logged, and nothing else happens.
  g_answer = true;
  g_open_error = 2;
  kbtest::WriteFile(dir_ / "messages.log", "");
  kb::JavaMissingDisplay(100, "d", "see https://example.org", kRecorded);
  EXPECT_EQ(g_opened, std::vector<std::string>{"https://example.org"});
  const std::vector<std::string> log = Entries();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].rfind("WARNING: MessageDisplay::javamissing=cannot open https://example.org: ",
                         0),
            0u)
      << log[2];

  g_opened.clear();
  g_stderr_lines.clear();
  g_boxes.clear();
  g_questions.clear();
  kb::NoMessage() = true;
  for (int kind : {100, 200}) kb::JavaMissingDisplay(kind, "d", "see https://example.org", kRecorded);
  EXPECT_TRUE(g_stderr_lines.empty());
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_TRUE(g_questions.empty());
  EXPECT_TRUE(g_opened.empty());
}

TEST(FirstHttpsAddressTest, FindsTheAddressWithoutWhatSurroundsIt) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"get it at https://example.org/java.", "https://example.org/java"},
      {"(https://example.org/a?b=c&d=e), then restart", "https://example.org/a?b=c&d=e"},
      {"HTTPS://Example.org/X first", "HTTPS://Example.org/X"},
      {"\"https://example.org/q\"", "https://example.org/q"},
      {"two: https://a.example/1 https://b.example/2", "https://a.example/1"},
      {"http://example.org only", ""},
      {"https:// alone", ""},
      {"nothing here", ""},
      {"", ""},
  };
  for (const auto& entry : table) {
    EXPECT_EQ(kb::FirstHttpsAddress(entry.first), entry.second) << entry.first;
  }
}

TEST(MessageStringIdTest, MapsEveryCode) {
  const std::vector<std::pair<int, int>> table = {
      {-100, 6}, {-101, 5}, {-103, 11}, {-104, 10}, {-106, 12}, {-108, 3},
      {-1000, 9}, {-102, 8}, {-1, 8}, {183, 8}, {-107, 8}};
  for (const auto& entry : table) EXPECT_EQ(kb::MessageStringId(entry.first), entry.second) << entry.first;
}

TEST(MessageAsOneLineTest, FoldsBreaksAndTabs) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"plain text", "plain text"},
      {"trailing blank ", "trailing blank"},
      {"a\nb", "a b"},
      {"a \r\n\t b", "a b"},
      {"\n\tleading", "leading"},
      {"two  blanks stay", "two  blanks stay"},
      {"end\n", "end"},
      {"", ""},
  };
  for (const auto& entry : table) EXPECT_EQ(kb::MessageAsOneLine(entry.first), entry.second) << entry.first;
}

}  // namespace
