#include "instance/mutex_obj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/constants.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/mutex.h"
#include "platform/child.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "support/test_support.h"

namespace {

using kbtest::ScratchDir;

// A mutex_holder process whose output is read line by line while it runs.
class HolderProcess {
 public:
  bool Start(const std::string& arguments) {
    start_error_ = platform::CreateChildPipe(&pipe_);
    if (start_error_ != 0) return false;
    start_error_ = platform::MakeNotInheritable(pipe_.read);
    if (start_error_ != 0) return false;
    platform::StartOptions options;
    options.inherit_handles = true;
    options.std_output = &pipe_.write;
    const std::string line = "\"" + kbtest::BuiltProgram("mutex_holder") + "\" " + arguments;
    start_error_ = platform::StartChild(line, options, &child_);
    if (start_error_ != 0) return false;
    EXPECT_EQ(pipe_.write.Close(), 0);
    return true;
  }
  int start_error() const { return start_error_; }
  // The next line of output without its line end; empty at the end.
  std::string ReadLine() {
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      char chunk[256];
      std::size_t n = 0;
      if (platform::ReadSome(pipe_.read, chunk, sizeof chunk, &n) != 0 || n == 0) {
        std::string rest;
        rest.swap(buffer_);
        return rest;
      }
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  // Waits for the end; the exit code.
  int Finish() {
    while (!ReadLine().empty()) {
    }
    EXPECT_EQ(child_.Wait(), 0);
    std::int32_t code = -1;
    EXPECT_EQ(child_.ExitCode(&code), 0);
    return code;
  }

 private:
  platform::Pipe pipe_;
  platform::Child child_;
  std::string buffer_;
  int start_error_ = 0;
};

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Identifiers unique to one test run, so that parallel runs (and other
// users of the same account) never share a name.
std::string UniqueId(const std::string& stem) {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return stem + "-" + std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++);
}

std::string NameOf(const std::string& id) { return kb::kMutexNamePrefix + id; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

struct Shown {
  std::string text;
  std::string caption;
};
std::vector<Shown> g_boxes;
void RecordBox(const std::string& text, const std::string& caption) {
  g_boxes.push_back({text, caption});
}

class MutexObjTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_log_ = kb::LogFilePath();
    kb::LogFilePath() = dir_ / "guard.log";
    g_boxes.clear();
    kb::SetApplicationNameForTesting("tool_console");
    app_a_ = UniqueId("appa");
    app_b_ = UniqueId("appb");
    app_c_ = UniqueId("appc");
    self_ = UniqueId("app1");
  }
  void TearDown() override {
    kb::LogFilePath() = saved_log_;
  }
  // Writes the configuration file with these lines in section "wx6".
  std::string Ini(const std::string& lines) {
    const std::string path = dir_ / "tool.ini";
    kbtest::WriteFile(path, "[wx6]\n" + lines);
    return path;
  }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> warnings;
    for (const std::string& line : kbtest::Lines(kbtest::ReadFile(dir_ / "guard.log"))) {
      if (line.rfind("WARNING: ", 0) == 0) warnings.push_back(line);
    }
    return warnings;
  }
  // Starts a holder of the id's mutex in another process and waits until
  // it holds the name.
  std::unique_ptr<HolderProcess> Hold(const std::string& id, bool abort_at_release = false) {
    auto holder = std::make_unique<HolderProcess>();
    const std::string release = dir_ / ("release-" + id);
    EXPECT_TRUE(holder->Start("hold " + Quote(NameOf(id)) + " " + Quote(release) +
                              (abort_at_release ? " abort" : "")));
    EXPECT_EQ(holder->ReadLine().rfind("HELD", 0), 0u);
    return holder;
  }
  void Release(const std::string& id) { kbtest::WriteFile(dir_ / ("release-" + id), "go"); }
  bool Exists(const std::string& id) {
    bool exists = false;
    return platform::ProbeNamedMutex(NameOf(id), &exists) == 0 && exists;
  }

  ScratchDir dir_;
  std::string saved_log_;
  std::string app_a_, app_b_, app_c_, self_;
};

TEST_F(MutexObjTest, ConflictWithAnotherProcessIsRefusedWithDisplayNames) {
  auto holder = Hold(app_b_);
  // The list names it in upper case; names are made from the lower case.
  const std::string upper = Upper(app_b_);
  kb::MutexObj guard("wx6", Ini("norunwith=" + upper + "\nid=" + self_ +
                                "\nnorunwith_display_" + app_b_ + "=Setup B\nnorunwith_display_" +
                                self_ + "=Tool A\n"), RecordBox);
  EXPECT_EQ(guard.IsRunning(0), 183);
  const std::string message = "The Tool A cannot be invoked while the Setup B is running.";
  EXPECT_EQ(Warnings(), std::vector<std::string>{"WARNING: MutexObj::IsRunning=" + message});
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, message);
  EXPECT_EQ(g_boxes[0].caption, "Error");
  // A refused launch holds nothing.
  EXPECT_FALSE(guard.HoldsOwnMutex());
  EXPECT_FALSE(Exists(self_));
  Release(app_b_);
  EXPECT_EQ(holder->Finish(), 0);
}

// "-nomessage" (NoMessage) does not silence the conflict: only "-autorun"
// (silent 1) does.
TEST_F(MutexObjTest, OnlySilentOneSuppressesTheBox) {
  auto holder = Hold(app_b_);
  const std::string ini = Ini("norunwith=" + Upper(app_b_) + "  \n");
  struct Case {
    int silent;
    bool no_message;
  };
  for (const Case& c : {Case{1, false}, Case{0, false}, Case{0, true}, Case{2, false},
                        Case{-1, false}}) {
    SCOPED_TRACE(std::to_string(c.silent) + (c.no_message ? " -nomessage" : ""));
    g_boxes.clear();
    kb::NoMessage() = c.no_message;
    kb::MutexObj guard("wx6", ini, RecordBox);
    EXPECT_EQ(guard.IsRunning(c.silent), 183);
    EXPECT_EQ(g_boxes.size(), c.silent == 1 ? 0u : 1u);
  }
  kb::NoMessage() = false;
  // Every refusal is logged, boxed or not. Without display names and "id"
  // the entry as written and the application name stand in.
  EXPECT_EQ(Warnings(), std::vector<std::string>(
                            5, "WARNING: MutexObj::IsRunning=The tool_console cannot be invoked "
                                   "while the " + Upper(app_b_) + " is running."));
  Release(app_b_);
  EXPECT_EQ(holder->Finish(), 0);
}

TEST_F(MutexObjTest, ListWalkTrimsOnlyTheEndAndSkipsEmptyEntries) {
  auto holder = Hold(app_b_);
  struct Case {
    std::string list;
    int expected;
  };
  const std::vector<Case> cases = {
      {app_a_ + ", " + app_b_, 0},        // leading blank stays: " appb" is another name
      {app_a_ + "," + app_b_ + "   ", 183},  // trailing blanks go
      {",," + app_b_, 183},
      {" ,  ," + app_b_ + ",", 183},
      {app_a_ + ",,  ,", 0},
      {",", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    kb::MutexObj guard("wx6", Ini("norunwith=" + c.list + "\n"), RecordBox);
    EXPECT_EQ(guard.IsRunning(1), c.expected);
  }
  Release(app_b_);
  EXPECT_EQ(holder->Finish(), 0);
}

TEST(NoRunWithEntriesTest, WalksTheListInOrder) {
  using V = std::vector<std::string>;
  EXPECT_EQ(kb::NoRunWithEntries(""), V{});
  EXPECT_EQ(kb::NoRunWithEntries(" "), V{});
  EXPECT_EQ(kb::NoRunWithEntries("AppA, AppB ,,x"), (V{"appa", " appb", "x"}));
  EXPECT_EQ(kb::NoRunWithEntries(",\tTab ,Zz9_-.\xC4"), (V{"\ttab", "zz9_-.\xC4"}));
}

TEST_F(MutexObjTest, FirstRunningEntryInListOrderIsReported) {
  auto holder_b = Hold(app_b_);
  auto holder_c = Hold(app_c_);
  kb::MutexObj guard("wx6", Ini("norunwith=" + app_a_ + "," + app_c_ + "," + app_b_ + "\nid=" +
                                self_ + "\nnorunwith_display_" + app_b_ + "=Bee\nnorunwith_display_" +
                                app_c_ + "=Sea\nnorunwith_display_" + self_ + "=\n"), RecordBox);
  EXPECT_EQ(guard.IsRunning(1), 183);
  // A display key written without a value is no display name: the id as
  // read stands in.
  EXPECT_EQ(Warnings(), std::vector<std::string>{"WARNING: MutexObj::IsRunning=The " + self_ +
                                                 " cannot be invoked while the Sea is running."});
  Release(app_b_);
  Release(app_c_);
  EXPECT_EQ(holder_b->Finish(), 0);
  EXPECT_EQ(holder_c->Finish(), 0);
}

TEST_F(MutexObjTest, OwnMutexIsHeldUntilClosedAndSeenByOtherProcesses) {
  std::string mixed = self_;
  mixed[0] = 'A';  // "App1-...": the name uses the lower case
  kb::MutexObj guard("wx6", Ini("id=" + mixed + "  \n"), RecordBox);
  EXPECT_EQ(guard.IsRunning(0), 0);
  EXPECT_EQ(guard.OwnMutexName(), NameOf(self_));
  EXPECT_TRUE(guard.HoldsOwnMutex());
  EXPECT_TRUE(Exists(self_));

  HolderProcess probe;
  const std::string go = dir_ / "go";
  kbtest::WriteFile(go, "");
  ASSERT_TRUE(probe.Start("probe " + Quote(NameOf(self_)) + " " + Quote(go) + " 1"));
  EXPECT_EQ(probe.ReadLine(), "READY");
  EXPECT_EQ(probe.ReadLine(), "EXISTS");
  EXPECT_EQ(probe.Finish(), 1);

  guard.CloseOwnMutex();
  EXPECT_FALSE(guard.HoldsOwnMutex());
  EXPECT_FALSE(Exists(self_));
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MutexObjTest, SameApplicationListedInItsOwnListRunsOnce) {
  const std::string ini = Ini("id=" + self_ + "\nnorunwith=" + self_ + "\n");
  {
    kb::MutexObj first("wx6", ini, RecordBox);
    ASSERT_EQ(first.IsRunning(1), 0);
    kb::MutexObj second("wx6", ini, RecordBox);
    EXPECT_EQ(second.IsRunning(1), 183);
    EXPECT_EQ(second.LastError(), 183);
    EXPECT_FALSE(second.HoldsOwnMutex());
  }
  // Both gone: the destructor let go of the name.
  EXPECT_FALSE(Exists(self_));
  kb::MutexObj third("wx6", ini, RecordBox);
  EXPECT_EQ(third.IsRunning(1), 0);
  // Without itself in the list, launches of one application run side by side.
  kb::MutexObj fourth("wx6", Ini("id=" + self_ + "\n"), RecordBox);
  EXPECT_EQ(fourth.IsRunning(1), 0);
  EXPECT_TRUE(fourth.HoldsOwnMutex());
}

TEST_F(MutexObjTest, NameOfAHolderThatEndsAbnormallyDisappears) {
  auto holder = Hold(app_b_, /*abort_at_release=*/true);
  EXPECT_TRUE(Exists(app_b_));
  Release(app_b_);
  EXPECT_NE(holder->Finish(), 0);
  EXPECT_FALSE(Exists(app_b_));
  kb::MutexObj guard("wx6", Ini("norunwith=" + app_b_ + "\n"), RecordBox);
  EXPECT_EQ(guard.IsRunning(0), 0);
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(MutexObjTest, ProbingNeverCreatesTheName) {
  const std::string ini = Ini("norunwith=" + app_b_ + "\n");
  for (int i = 0; i < 3; ++i) {
    kb::MutexObj guard("wx6", ini, RecordBox);
    EXPECT_EQ(guard.IsRunning(0), 0);
    EXPECT_FALSE(Exists(app_b_));
  }
  EXPECT_TRUE(g_boxes.empty());
}

// Fifty launchers checking the same free name at the same moment: a probe
// that brought the name into being, even briefly, would refuse some of them.
TEST_F(MutexObjTest, FiftySimultaneousProbesOfAFreeNameAllPass) {
  constexpr int kProcesses = 50;
  const std::string go = dir_ / "go";
  std::vector<std::unique_ptr<HolderProcess>> probes;
  for (int i = 0; i < kProcesses; ++i) {
    probes.push_back(std::make_unique<HolderProcess>());
    ASSERT_TRUE(probes.back()->Start("probe " + Quote(NameOf(app_b_)) + " " + Quote(go) + " 300"))
        << "process " << i << ", error " << probes.back()->start_error();
  }
  for (auto& probe : probes) ASSERT_EQ(probe->ReadLine(), "READY");
  kbtest::WriteFile(go, "");
  int absent = 0;
  for (auto& probe : probes) {
    const std::string answer = probe->ReadLine();
    EXPECT_EQ(answer, "ABSENT");
    if (probe->Finish() == 0 && answer == "ABSENT") ++absent;
  }
  EXPECT_EQ(absent, kProcesses);
  EXPECT_FALSE(Exists(app_b_));
}

}  // namespace
