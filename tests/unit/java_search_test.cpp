#include "java/java_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/java_places.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

using kbtest::Join;

class JavaSearchTest : public ::testing::Test {
 protected:
  JavaSearchTest()
      : app_(dir_ / "app"),
        empty_(dir_ / "empty"),
        path_("PATH", dir_ / "empty"),
        java_home_("JAVA_HOME"),
        other_("KB_TEST_JAVA") {
    kbtest::MakeDirs(empty_);
  }

  kb::JavaSearchResult Find(const std::string& search, const std::string& minimum,
                            bool windowed = false, const std::string& maximum = "") {
    kb::JavaSearchRequest request;
    request.search = search;
    request.minimum = minimum;
    request.maximum = maximum;
    request.launcher_dir = app_;
    request.windowed = windowed;
    request.system_folders = &system_;
    return kb::FindJavaRuntime(request);
  }

  kbtest::ScratchDir dir_;
  std::string app_;
  std::string empty_;
  std::vector<std::string> system_;
  kbtest::ScopedEnv path_;
  kbtest::ScopedEnv java_home_;
  kbtest::ScopedEnv other_;
};

struct OrderCase {
  const char* search;
  const char* minimum;
  const char* chosen;  // below the scratch folder
  const char* maximum = "";
};

TEST_F(JavaSearchTest, FirstFittingRuntimeInTheWrittenOrderWins) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "17.0.15");
  kbtest::MakeJavaHome(Join(app_, "runtime"), "21.0.2");
  kbtest::MakeJavaHome(dir_ / "envjdk", "11.0.22");
  kbtest::SetEnv("KB_TEST_JAVA", "\"" + (dir_ / "envjdk") + "\"");  // quotes are common
  const OrderCase cases[] = {
      {"bundled:jre;bundled:runtime", "", "app/jre"},
      {"bundled:runtime;bundled:jre", "", "app/runtime"},
      {"env:KB_TEST_JAVA;bundled:jre", "", "envjdk"},
      {"bundled:missing;env:JAVA_HOME;bundled:runtime", "", "app/runtime"},
      {"bundled:jre;bundled:runtime", "21", "app/runtime"},
      {"env:KB_TEST_JAVA;bundled:jre;bundled:runtime", "17", "app/jre"},
      {"env:KB_TEST_JAVA", "1.8", "envjdk"},
      {"BUNDLED:runtime;Bundled:jre", " ", "app/runtime"},
      {" ; bogus ;bundled:runtime", "", "app/runtime"},
      {"bundled:runtime;bundled:jre", "", "app/jre", "17"},
      {"bundled:runtime;env:KB_TEST_JAVA;bundled:jre", "17", "app/jre", "17.0.2"},
      {"bundled:runtime;bundled:jre", "11", "app/runtime", "21"},
      {"bundled:runtime;env:KB_TEST_JAVA", "", "envjdk", "11.0.22"},
      {"bundled:runtime;bundled:jre", "", "app/runtime", " "},
  };
  for (const OrderCase& c : cases) {
    const kb::JavaSearchResult r = Find(c.search, c.minimum, false, c.maximum);
    std::string chosen = kbtest::Join(dir_.path(), c.chosen);
    for (char& ch : chosen) {
      if (ch == '/') ch = kbtest::Sep()[0];
    }
    ASSERT_TRUE(r.found) << c.search << " / " << c.minimum << " / " << c.maximum << ": "
                         << r.detail;
    EXPECT_EQ(r.program, kb::JavaProgramIn(chosen, false)) << c.search << " / " << c.minimum;
  }
}

TEST_F(JavaSearchTest, TooOldBundledRuntimeIsSkippedForANewerJavaHome) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "11.0.2");
  const std::string home = kbtest::MakeJavaHome(dir_ / "jdk17", "17.0.15");
  kbtest::SetEnv("JAVA_HOME", home + kbtest::Sep());  // a trailing separator is common
  const kb::JavaSearchResult r = Find("", "17", true);
  ASSERT_TRUE(r.found) << r.detail;
  EXPECT_EQ(r.program, kb::JavaProgramIn(home, true));
  ASSERT_EQ(r.candidates.size(), 3u);
  EXPECT_EQ(r.candidates[0].entry, "bundled:jre");
  EXPECT_EQ(r.candidates[0].verdict, "too old, 17 or newer wanted");
  EXPECT_FALSE(r.candidates[1].has_program);  // bundled:runtime does not exist
  EXPECT_EQ(r.candidates[2].entry, "env:JAVA_HOME");
  EXPECT_EQ(r.candidates[2].verdict, "chosen");
}

TEST_F(JavaSearchTest, OldVersionSchemeAndUnknownVersions) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "1.8.0_392");
  EXPECT_TRUE(Find("bundled:jre", "8").found);
  const kb::JavaSearchResult old = Find("bundled:jre", "9");
  ASSERT_EQ(old.candidates.size(), 1u);
  EXPECT_EQ(old.candidates[0].version.text, "1.8.0_392");
  EXPECT_EQ(old.candidates[0].version.feature, 8);
  EXPECT_FALSE(old.found);

  // No readable version: good enough only when no minimum is asked for.
  kbtest::MakeJavaHome(Join(app_, "runtime"), nullptr);
  EXPECT_TRUE(Find("bundled:runtime", "").found);
  const kb::JavaSearchResult unknown = Find("bundled:runtime", "11");
  EXPECT_FALSE(unknown.found);
  EXPECT_EQ(unknown.candidates.at(0).verdict, "version unknown, 11 or newer wanted");

  const kb::JavaSearchResult typo = Find("bundled:jre", "seventeen");
  EXPECT_FALSE(typo.found);
  EXPECT_TRUE(typo.candidates.empty());
  EXPECT_EQ(typo.detail, "javamin=seventeen is not a Java version");
}

TEST_F(JavaSearchTest, RuntimeAboveTheMaximumIsSkippedWithTheReason) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "25.0.1");
  kbtest::MakeJavaHome(Join(app_, "runtime"), nullptr);
  struct Case {
    const char* minimum;
    const char* maximum;
    const char* verdict;  // of bundled:jre
    const char* detail;   // after the runtimes found
  };
  const Case cases[] = {
      {"17", "21", "too new, 17 to 21 wanted", "17 to 21 wanted"},
      {"", "24", "too new, 24 or older wanted", "24 or older wanted"},
      {" ", "1.8", "too new, 8 or older wanted", "8 or older wanted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maximum);
    const kb::JavaSearchResult r = Find("bundled:jre;bundled:runtime", c.minimum, false, c.maximum);
    EXPECT_FALSE(r.found);
    ASSERT_EQ(r.candidates.size(), 2u);
    EXPECT_EQ(r.candidates[0].verdict, c.verdict);
    // A runtime of unknown version may be above the maximum as well.
    EXPECT_EQ(r.candidates[1].verdict, std::string("version unknown, ") + c.detail);
    EXPECT_EQ(r.detail, "java 25 in " + Join(app_, "jre") + ", java of unknown version in " +
                            Join(app_, "runtime") + "; " + c.detail);
  }
  EXPECT_TRUE(Find("bundled:jre", "", false, "25").found);
}

TEST_F(JavaSearchTest, BoundsThatNoRuntimeCanFitSearchNothing) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "17.0.1");
  struct Case {
    const char* minimum;
    const char* maximum;
    const char* detail;
    bool crossed;
  };
  const Case cases[] = {
      {"17", "11", "javamax=11 is below javamin=17: no runtime can fit both", true},
      {"1.8", "1.7", "javamax=1.7 is below javamin=1.8: no runtime can fit both", true},
      {"17", "twenty", "javamax=twenty is not a Java version", false},
      {"seventeen", "21", "javamin=seventeen is not a Java version", false},
  };
  for (const Case& c : cases) {
    const kb::JavaSearchResult r = Find("bundled:jre", c.minimum, false, c.maximum);
    EXPECT_FALSE(r.found) << c.maximum;
    EXPECT_TRUE(r.candidates.empty()) << c.maximum;
    EXPECT_EQ(r.detail, c.detail);
    EXPECT_EQ(r.log, std::vector<std::string>{c.detail});
    EXPECT_EQ(r.bounds_crossed, c.crossed) << c.maximum;
  }
  EXPECT_TRUE(Find("bundled:jre", "17", false, "17").found);
}

// The machine's own runtimes in /usr/lib/jvm: 17 (also reached by a link)
// and 25. A tool tested on 17 says "17 to 21" and gets 17, not the newer 25.
TEST_F(JavaSearchTest, MachineRuntimesWithinBounds) {
  const std::string jvm = "/usr/lib/jvm";
  const std::string jdk17 = jvm + "/java-17-openjdk-amd64";
  const std::string jdk25 = jvm + "/temurin-25-jdk-amd64";
  if (kb::JavaProgramIn(jdk17, false).find(".exe") != std::string::npos ||
      platform::GetPathKind(jdk17 + "/release") != platform::PathKind::kFile ||
      platform::GetPathKind(jdk25 + "/release") != platform::PathKind::kFile) {
    GTEST_SKIP() << "needs the Linux machine's Java 17 and 25";
  }
  system_ = {jvm};
  struct Case {
    const char* minimum;
    const char* maximum;
    const char* chosen;  // "" for none
    std::vector<std::string> verdicts;
  };
  const std::vector<Case> cases = {
      {"17", "", "temurin-25-jdk-amd64", {"chosen"}},
      {"17", "21", "java-17-openjdk-amd64", {"too new, 17 to 21 wanted", "chosen"}},
      {"", "17", "java-17-openjdk-amd64", {"too new, 17 or older wanted", "chosen"}},
      {"21", "24", "", {"too new, 21 to 24 wanted", "too old, 21 to 24 wanted"}},
      {"25", "25", "temurin-25-jdk-amd64", {"chosen"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.minimum) + " to " + c.maximum);
    const kb::JavaSearchResult r = Find("system", c.minimum, false, c.maximum);
    std::vector<std::string> verdicts;
    for (const kb::JavaCandidate& candidate : r.candidates) verdicts.push_back(candidate.verdict);
    EXPECT_EQ(verdicts, c.verdicts);
    EXPECT_EQ(r.found, *c.chosen != '\0');
    if (*c.chosen != '\0') EXPECT_EQ(r.program, kb::JavaProgramIn(jvm + "/" + c.chosen, false));
  }
}

TEST_F(JavaSearchTest, NothingFoundNamesWhatWasSearched) {
  kbtest::MakeJavaHome(Join(app_, "jre"), "11.0.2");
  const kb::JavaSearchResult r = Find("bundled:jre;env:JAVA_HOME;path", "17");
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.detail, "java 11 in " + Join(app_, "jre") +
                          ", JAVA_HOME unset, nothing on PATH; 17 or newer wanted");
}

TEST_F(JavaSearchTest, SeveralRuntimesInOneEntryHighestFirst) {
  const std::string jvm = dir_ / "jvm";
  kbtest::MakeJavaHome(Join(jvm, "a"), "11.0.1");
  kbtest::MakeJavaHome(Join(jvm, "b"), "21.0.3");
  kbtest::MakeJavaHome(Join(jvm, "c"), "17.0.15");
  kbtest::MakeJavaHome(Join(jvm, "d"), nullptr);
  kbtest::MakeDirs(Join(jvm, "docs"));  // no runtime: not a candidate
  system_ = {jvm, dir_ / "no-such-folder"};

  const kb::JavaSearchResult best = Find("system", "");
  ASSERT_TRUE(best.found);
  EXPECT_EQ(best.candidates.size(), 1u);
  EXPECT_EQ(best.candidates[0].version.feature, 21);

  const kb::JavaSearchResult none = Find("system", "22");
  EXPECT_FALSE(none.found);
  std::vector<int> tried;
  for (const kb::JavaCandidate& c : none.candidates) tried.push_back(c.version.feature);
  EXPECT_EQ(tried, (std::vector<int>{21, 17, 11, 0}));

  system_ = {dir_ / "no-such-folder"};
  EXPECT_EQ(Find("system;path", "").detail,
            "nothing in " + (dir_ / "no-such-folder") + ", nothing on PATH; any version accepted");
}

// One runtime reached by three places (a bundled folder, JAVA_HOME spelt
// another way, the search path) is judged once; the later places say so.
TEST_F(JavaSearchTest, OneRuntimeIsTriedOnce) {
  const std::string jre = kbtest::MakeJavaHome(Join(app_, "jre"), "17.0.15");
  kbtest::SetEnv("JAVA_HOME", Join(Join(app_, ".."), Join("app", "jre")));
  kbtest::SetEnv("PATH", kbtest::PathList({Join(jre, "bin")}));
  const kb::JavaSearchResult r = Find("bundled:jre;env:JAVA_HOME;path", "99");
  EXPECT_FALSE(r.found);
  std::vector<std::string> verdicts;
  for (const kb::JavaCandidate& c : r.candidates) verdicts.push_back(c.entry + ": " + c.verdict);
  EXPECT_EQ(verdicts, (std::vector<std::string>{"bundled:jre: too old, 99 or newer wanted",
                                                "env:JAVA_HOME: already tried as " + jre,
                                                "path: already tried as " + jre}));
  EXPECT_EQ(r.detail, "java 17 in " + jre + "; 99 or newer wanted");
}

TEST_F(JavaSearchTest, PathEntryUsesTheRuntimeOfTheFirstJava) {
  const std::string first = kbtest::MakeJavaHome(dir_ / "first", "17.0.1");
  const std::string second = kbtest::MakeJavaHome(dir_ / "second", "21.0.1");
  kbtest::SetEnv("PATH", kbtest::PathList({empty_, Join(first, "bin"), Join(second, "bin")}));
  const kb::JavaSearchResult r = Find("path", "11");
  ASSERT_TRUE(r.found) << r.detail;
  EXPECT_TRUE(platform::SameFileName(r.candidates.at(0).home, platform::ResolveLinks(first)));
  // Only the first java counts, as it is the one a user would get.
  EXPECT_FALSE(Find("path", "21").found);
}

}  // namespace
