#include "java/java_cache.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

using kb::JavaCacheKind;
using kbtest::Join;

TEST(JavaCacheTest, EachRuntimeVersionGetsItsMechanism) {
  const struct {
    int feature;
    JavaCacheKind kind;
  } cases[] = {{0, JavaCacheKind::kNone},           {8, JavaCacheKind::kNone},
               {12, JavaCacheKind::kNone},          {13, JavaCacheKind::kDynamicArchive},
               {17, JavaCacheKind::kDynamicArchive}, {24, JavaCacheKind::kDynamicArchive},
               {25, JavaCacheKind::kAotCache},      {26, JavaCacheKind::kAotCache}};
  for (const auto& c : cases) EXPECT_EQ(kb::JavaCacheKindFor(c.feature), c.kind) << c.feature;
}

// A file is valid only for the runtime, the JAR files and the options it
// was made with: each of them, changed alone, must give another name.
TEST(JavaCacheTest, EveryInputThatMakesAFileValidChangesItsName) {
  kb::JavaCacheInputs base;
  base.runtime = "/jdk/bin/java";
  base.version = "17.0.2";
  base.class_path = {{"/app/a.jar", {}}, {"/app/b.jar", {}}};
  base.class_path[0].stamp.size = 100;
  base.class_path[0].stamp.written_sec = 1000;
  base.options = {"-Xmx64m", "-cp", "/app/a.jar:/app/b.jar"};
  base.environment = {"JAVA_TOOL_OPTIONS=-Dx=1"};
  using Change = void (*)(kb::JavaCacheInputs*);
  const Change changes[] = {
      [](kb::JavaCacheInputs* i) { i->runtime = "/jdk2/bin/java"; },
      [](kb::JavaCacheInputs* i) { i->version = "17.0.3"; },
      [](kb::JavaCacheInputs* i) { i->class_path[0].path = "/app/c.jar"; },
      [](kb::JavaCacheInputs* i) { i->class_path[0].stamp.size = 101; },
      [](kb::JavaCacheInputs* i) { i->class_path[0].stamp.written_sec = 1001; },
      [](kb::JavaCacheInputs* i) { i->class_path[0].stamp.written_nsec = 1; },
      [](kb::JavaCacheInputs* i) { i->class_path[0].stamp.id = 7; },
      [](kb::JavaCacheInputs* i) { std::swap(i->class_path[0], i->class_path[1]); },
      [](kb::JavaCacheInputs* i) { i->options.push_back("-Dy=2"); },
      [](kb::JavaCacheInputs* i) { std::swap(i->options[0], i->options[1]); },
      // The same text split otherwise is another list.
      [](kb::JavaCacheInputs* i) { i->options = {"-Xmx64m-cp", "/app/a.jar:/app/b.jar"}; },
      [](kb::JavaCacheInputs* i) { i->environment.clear(); },
  };
  const std::string key = kb::JavaCacheKey(base);
  ASSERT_EQ(key.size(), 16u);
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
  EXPECT_EQ(kb::JavaCacheKey(base), key);
  std::set<std::string> seen = {key};
  for (std::size_t n = 0; n < sizeof changes / sizeof changes[0]; ++n) {
    kb::JavaCacheInputs changed = base;
    changes[n](&changed);
    EXPECT_TRUE(seen.insert(kb::JavaCacheKey(changed)).second) << "change " << n;
  }
}

class JavaCachePlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kbtest::MakeJavaHome(dir_ / "jdk17", "17.0.2");
    kbtest::MakeJavaHome(dir_ / "nobase", "17.0.2");
    const std::string server = Join(dir_ / "jdk17", kbtest::IsWindows() ? "bin\\server" : "lib/server");
    kbtest::MakeDirs(server);
    kbtest::WriteFile(Join(server, "classes.jsa"), "");
    kbtest::WriteFile(Join(server, "classes_nocoops.jsa"), "");
    kbtest::MakeJavaHome(dir_ / "jdk25", "25.0.1");
    kbtest::MakeJavaHome(dir_ / "jdk11", "11.0.9");
    kbtest::MakeJavaHome(dir_ / "nover", nullptr);
    kbtest::WriteFile(Join(dir_ / "nover", "release"), "IMPLEMENTOR=\"x\"\n");
    kbtest::WriteFile(dir_ / "a.jar", "PK");
    kbtest::WriteFile(dir_ / "b.jar", "PK");
    kbtest::WriteFile(dir_ / "share.txt", "-Xshare:off\n");
    kbtest::MakeDirs(dir_ / "classes");
  }
  std::string Java(const char* home) const {
    return kb::QuoteArgument(Join(Join(dir_ / home, "bin"), kbtest::IsWindows() ? "java.exe" : "java"));
  }
  kb::JavaCachePlan Plan(const std::string& line, bool uninstall = false) const {
    return kb::PlanJavaCache(line, uninstall, dir_ / "data", dir_.path(), "app");
  }
  kbtest::ScratchDir dir_;
};

TEST_F(JavaCachePlanTest, ActsOnlyOnJarsOfAKnownRuntimeAndLeavesTheUsersChoice) {
  kbtest::ScopedEnv no_tool("JAVA_TOOL_OPTIONS");
  const std::string cp = " -cp a.jar" + std::string(kbtest::IsWindows() ? ";" : ":") + "b.jar";
  const struct {
    std::string line;
    const char* outcome;  // the archive's extension, or a part of the refusal
  } cases[] = {
      {Java("jdk17") + cp + " app.Main x", ".jsa"},
      {Java("jdk25") + " -Xmx64m -jar a.jar x", ".aot"},
      {Java("jdk11") + cp + " app.Main", "13 or newer needed"},
      // A static archive needs no archive of the runtime's own (plain jlink).
      {Java("nobase") + cp + " app.Main", ".jsa"},
      {Java("nover") + cp + " app.Main", "is unknown"},
      {kb::QuoteArgument(dir_ / "a.jar") + cp + " app.Main", "is not a Java runtime"},
      {Java("jdk17") + " -cp classes app.Main", "is no JAR file"},
      {Java("jdk17") + " -cp " + kbtest::Join("lib", "*") + " app.Main", "is no JAR file"},
      {Java("jdk17") + " -cp a.jar" + (kbtest::IsWindows() ? ";" : ":") + " app.Main",
       "names the current folder"},
      {Java("jdk17") + " -cp missing.jar app.Main", "does not exist"},
      {Java("jdk17") + " app.Main", "no class path"},
      {Java("jdk17") + cp + " -m app/app.Main", "a module is started"},
      {Java("jdk17") + " -p mods" + cp + " app.Main", "a module path"},
      {Java("jdk17") + " -Xshare:off" + cp + " app.Main", "(-Xshare:"},
      {Java("jdk25") + " -XX:AOTCache=my.aot" + cp + " app.Main", "(-XX:AOTCache"},
      {Java("jdk17") + cp + " @share.txt app.Main", "(-Xshare:"},
      {Java("jdk17") + cp + " @missing.txt app.Main", "cannot be read"},
      // After the main class, it is the application's own argument.
      {Java("jdk17") + cp + " app.Main -Xshare:off", ".jsa"},
  };
  for (const auto& c : cases) {
    const kb::JavaCachePlan plan = Plan(c.line);
    const std::string outcome = plan.kind == JavaCacheKind::kNone ? plan.why_not : plan.archive;
    EXPECT_NE(outcome.find(c.outcome), std::string::npos) << c.line << "\n -> " << outcome;
  }
  EXPECT_EQ(Plan(Java("jdk17") + cp + " app.Main", true).why_not, "not for an uninstall run");
  // No data folder must never become a folder at the root.
  EXPECT_NE(kb::PlanJavaCache(Java("jdk17") + cp + " app.Main", false, "", dir_.path(), "app")
                .why_not.find("not an absolute path"),
            std::string::npos);
  {
    kbtest::ScopedEnv tool("JAVA_TOOL_OPTIONS", "-Dx=1 -XX:SharedArchiveFile=/x.jsa");
    EXPECT_NE(Plan(Java("jdk17") + cp + " app.Main").why_not.find("JAVA_TOOL_OPTIONS"),
              std::string::npos);
  }
}

// The runtime opens the file by the name it receives: on Windows through
// the code page, so a folder the page cannot hold is given in short form.
TEST_F(JavaCachePlanTest, OptionsNameTheFilesAsTheRuntimeCanOpenThem) {
  const std::string folder = dir_ / "cache-\xce\xa9";
  kbtest::MakeDirs(folder);
  const std::string archive = Join(folder, "app-0123456789abcdef.jsa");
  const std::string partial = Join(folder, "app-0123456789abcdef.jsa.x.part");
  kbtest::WriteFile(archive, "");
  kbtest::WriteFile(partial, "");
  const std::vector<std::string> use =
      kb::JavaCacheOptions(JavaCacheKind::kDynamicArchive, false, archive, "");
  const std::vector<std::string> write =
      kb::JavaCacheOptions(JavaCacheKind::kAotCache, true, archive, partial);
  ASSERT_EQ(use.size(), 2u);
  EXPECT_EQ(use[0], "-Xlog:cds*=off");
  ASSERT_EQ(write.size(), 2u);
  EXPECT_EQ(write[0], "-Xlog:aot*=off,cds*=off");
  const std::string given = use[1].substr(use[1].find('=') + 1);
  const std::string recorded = write[1].substr(write[1].find('=') + 1);
  EXPECT_EQ(write[1].substr(0, write[1].find('=')), "-XX:DumpLoadedClassList");
  if (kbtest::IsWindows()) {
    EXPECT_EQ(given.find("\xce\xa9"), std::string::npos) << given;
    EXPECT_NE(given.find("~"), std::string::npos) << given;
    EXPECT_EQ(recorded.substr(recorded.size() - 31), "app-0123456789abcdef.jsa.x.part");
  } else {
    EXPECT_EQ(given, archive);
    EXPECT_EQ(recorded, partial);
  }
}

}  // namespace
