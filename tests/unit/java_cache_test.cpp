#include "java/java_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "java/java_cache_file.h"
#include "java/java_cache_rules.h"
#include "java/java_cache_step.h"
#include "java/java_runtime.h"
#include "launcher/child_command.h"
#include "platform/held_folder.h"
#include "support/java_homes.h"
#include "support/test_support.h"
#include "support/zip_writer.h"

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
    return kb::PlanJavaCache(line, uninstall, dir_ / "data", dir_.path(), "app", Temp());
  }
  kb::TempFolder Temp() const { return {dir_ / "tmp", ""}; }
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
  EXPECT_NE(kb::PlanJavaCache(Java("jdk17") + cp + " app.Main", false, "", dir_.path(), "app", Temp())
                .why_not.find("not an absolute path"),
            std::string::npos);
  {
    kbtest::ScopedEnv tool("JAVA_TOOL_OPTIONS", "-Dx=1 -XX:SharedArchiveFile=/x.jsa");
    EXPECT_NE(Plan(Java("jdk17") + cp + " app.Main").why_not.find("JAVA_TOOL_OPTIONS"),
              std::string::npos);
  }
}

// Every option with which the user chooses sharing, and every option with
// which a runtime refuses to start once asked to record, means no cache:
// on the line, inside an argument file and in each option variable the
// runtime reads. Each row is checked in each place.
TEST_F(JavaCachePlanTest, OptionsTheRuntimeWouldRefuseMeanNoCacheWhereverTheyStand) {
  kbtest::ScopedEnv no_tool("JAVA_TOOL_OPTIONS");
  kbtest::ScopedEnv no_jdk("JDK_JAVA_OPTIONS");
  kbtest::ScopedEnv no_underscore("_JAVA_OPTIONS");
  const std::string tail = " -cp a.jar app.Main";
  const struct {
    const char* home;
    std::string option;
    const char* refusal;  // a part of why_not; null: a cache is kept
  } cases[] = {
      {"jdk17", "-Xshare:auto", "class-data sharing themselves (-Xshare:"},
      {"jdk17", "-XX:SharedArchiveFile=x.jsa", "(-XX:SharedArchiveFile)"},
      {"jdk17", "-XX:ArchiveClassesAtExit=x.jsa", "(-XX:ArchiveClassesAtExit)"},
      {"jdk17", "-XX:+AutoCreateSharedArchive", "(-XX:+AutoCreateSharedArchive)"},
      {"jdk17", "-XX:-AutoCreateSharedArchive", "(-XX:-AutoCreateSharedArchive)"},
      {"jdk25", "-XX:AOTCache=x.aot", "(-XX:AOTCache)"},
      {"jdk25", "-XX:AOTCacheOutput=x.aot", "(-XX:AOTCacheOutput)"},
      {"jdk25", "-XX:AOTMode=off", "(-XX:AOTMode)"},
      {"jdk25", "-XX:AOTConfiguration=x.conf", "(-XX:AOTConfiguration)"},
      {"jdk17", "-XX:SharedClassListFile=x.lst", "(-XX:SharedClassListFile)"},
      {"jdk17", "-XX:VMOptionsFile=x.txt", "(-XX:VMOptionsFile)"},
      {"jdk17", "-XX:Flags=x.flags", "(-XX:Flags)"},
      {"jdk17", "-XX:-UseSharedSpaces", "(-XX:-UseSharedSpaces)"},
      {"jdk25", "-XX:+RequireSharedSpaces", "(-XX:+RequireSharedSpaces)"},
      {"jdk25", "-XX:DumpLoadedClassList=x.lst", "(-XX:DumpLoadedClassList)"},
      {"jdk17", "-XX:+RecordDynamicDumpInfo", "(-XX:+RecordDynamicDumpInfo)"},
      {"jdk17", "-XX:+DumpSharedSpaces", "(-XX:+DumpSharedSpaces)"},
      {"jdk17", "-XX:+DynamicDumpSharedSpaces", "(-XX:+DynamicDumpSharedSpaces)"},
      {"jdk17", "-XX:SharedArchiveConfigFile=x.txt", "(-XX:SharedArchiveConfigFile)"},
      {"jdk17", "--limit-modules=java.base", "--limit-modules, with which"},
      {"jdk25", "--limit-modules=java.base", "--limit-modules, with which"},
      {"jdk17", "-XX:ObjectAlignmentInBytes=16", "-XX:ObjectAlignmentInBytes=16, with which Java 17"},
      {"jdk17", "-XX:ObjectAlignmentInBytes=8", nullptr},
      {"jdk25", "-XX:ObjectAlignmentInBytes=16", nullptr},
      {"jdk17", "-XX:-UseCompressedClassPointers", "-XX:-UseCompressedClassPointers, with which"},
      {"jdk25", "-XX:-UseCompressedClassPointers", nullptr},
      {"jdk17", "-javaagent:agent.jar", "an agent (-javaagent:), with which Java 17"},
      {"jdk17", "-agentlib:jdwp=transport=dt_socket", "an agent (-agentlib:)"},
      {"jdk17", "-agentpath:/lib/libx.so", "an agent (-agentpath:)"},
      {"jdk25", "-javaagent:agent.jar", nullptr},
      // Messages about classes or sharing on the console read otherwise
      // with a cache; into a file, or switched off, they are left alone.
      {"jdk17", "-verbose:class", "on the console (-verbose:class)"},
      {"jdk25", "-Xlog", "on the console (-Xlog)"},
      {"jdk17", "-Xlog:class+load", "(-Xlog:class+load)"},
      {"jdk25", "-Xlog:gc,cds=warning:stderr", "(-Xlog:gc,cds=warning:stderr)"},
      {"jdk25", "-Xlog:aot*=debug", "(-Xlog:aot*=debug)"},
      {"jdk17", "-Xlog:all=warning:stdout:uptime", "(-Xlog:all=warning:stdout:uptime)"},
      {"jdk17", "-Xlog::stdout", "(-Xlog::stdout)"},
      {"jdk17", "-Xlog:class+load:file=classes.txt", nullptr},
      {"jdk17", "-Xlog:gc*", nullptr},
      {"jdk25", "-Xlog:cds=off", nullptr},
      {"jdk17", "-Xlog:disable", nullptr},
      {"jdk17", "-XX:+UseSharedSpacesX", nullptr},  // a name that only begins alike
      {"jdk17", "-Xmx64m", nullptr},
  };
  struct Place {
    const char* variable;  // null: the line
    const char* named;     // how the refusal names the place
  };
  const Place places[] = {{nullptr, "the Java options "},
                          {"JAVA_TOOL_OPTIONS", "JAVA_TOOL_OPTIONS "},
                          {"JDK_JAVA_OPTIONS", "JDK_JAVA_OPTIONS "},
                          {"_JAVA_OPTIONS", "_JAVA_OPTIONS "},
                          {"@file", "the Java options "}};
  for (const auto& c : cases) {
    for (const Place& place : places) {
      std::string line = Java(c.home) + tail;
      std::unique_ptr<kbtest::ScopedEnv> variable;
      if (place.variable == nullptr) {
        line = Java(c.home) + " " + c.option + tail;
      } else if (std::string(place.variable) == "@file") {
        kbtest::WriteFile(dir_ / "opts.txt", c.option + "\n");
        line = Java(c.home) + " @opts.txt" + tail;
      } else {
        variable = std::make_unique<kbtest::ScopedEnv>(place.variable, "-Dx=1 " + c.option);
      }
      const kb::JavaCachePlan plan = Plan(line);
      const std::string where = std::string(place.named) + c.option + " " +
                                (place.variable ? place.variable : "line");
      if (c.refusal == nullptr) {
        EXPECT_NE(plan.kind, JavaCacheKind::kNone) << where << ": " << plan.why_not;
        continue;
      }
      EXPECT_EQ(plan.kind, JavaCacheKind::kNone) << where;
      EXPECT_NE(plan.why_not.find(c.refusal), std::string::npos) << where << ": " << plan.why_not;
      EXPECT_EQ(plan.why_not.rfind(place.named, 0), 0u) << where << ": " << plan.why_not;
    }
  }
  // The last setting of a flag counts, whichever source it comes from.
  {
    kbtest::ScopedEnv tool("JAVA_TOOL_OPTIONS", "-XX:-UseCompressedClassPointers");
    EXPECT_NE(Plan(Java("jdk17") + " -XX:+UseCompressedClassPointers" + tail).kind,
              JavaCacheKind::kNone);
    kbtest::ScopedEnv late("_JAVA_OPTIONS", "-XX:ObjectAlignmentInBytes=32");
    EXPECT_NE(Plan(Java("jdk17") + " -XX:ObjectAlignmentInBytes=8" + tail).why_not.find(
                  "_JAVA_OPTIONS holds -XX:ObjectAlignmentInBytes=32"),
              std::string::npos);
  }
  // JDK_JAVA_OPTIONS expands an argument file as the line does; the
  // variables the runtime reads itself expand none.
  {
    kbtest::ScopedEnv jdk("JDK_JAVA_OPTIONS", "@share.txt");
    EXPECT_NE(Plan(Java("jdk17") + tail).why_not.find("JDK_JAVA_OPTIONS chooses class-data sharing"),
              std::string::npos);
  }
  {
    kbtest::ScopedEnv jdk("JDK_JAVA_OPTIONS", "@missing.txt");
    EXPECT_NE(Plan(Java("jdk17") + tail).why_not.find("of JDK_JAVA_OPTIONS cannot be read"),
              std::string::npos);
  }
  {
    kbtest::ScopedEnv jdk("JDK_JAVA_OPTIONS", "--module-path=mods");
    EXPECT_NE(Plan(Java("jdk17") + tail).why_not.find("JDK_JAVA_OPTIONS gives a module path"),
              std::string::npos);
  }
}

// The runtime takes a file option holding the path-list separator as a
// list: the data folder and the application's name must be free of it.
TEST_F(JavaCachePlanTest, NoCacheWhereTheRuntimeWouldSplitTheFilesName) {
  kbtest::ScopedEnv no_tool("JAVA_TOOL_OPTIONS");
  const std::string line = Java("jdk25") + " -cp a.jar app.Main";
  const std::string list(1, kbtest::IsWindows() ? ';' : ':');
  const kb::TempFolder temp = Temp();
  EXPECT_NE(kb::PlanJavaCache(line, false, dir_ / ("da" + list + "ta"), dir_.path(), "app", temp)
                .why_not.find("the data folder"),
            std::string::npos);
  EXPECT_NE(kb::PlanJavaCache(line, false, dir_ / "data", dir_.path(), "my" + list + "app", temp)
                .why_not.find("the application's name my" + list + "app holds"),
            std::string::npos);
  EXPECT_EQ(kb::PlanJavaCache(line, false, dir_ / "data", dir_.path(), "my-app", temp).why_not, "");
}

// The cache's options count in the limit of the line: when they would
// push it over and no argument file can carry it, the start goes on
// without the cache; with an argument file, the cache is kept.
TEST_F(JavaCachePlanTest, TheCachesOptionsCountInTheLimitOfTheLine) {
  kbtest::ScopedEnv no_tool("JAVA_TOOL_OPTIONS");
  for (const char* home : {"jdk17", "jdk25"}) {
    const std::string start = Java(home) + " -cp a.jar app.Main ";
    const std::string line =
        start + std::string(kb::kMaxCommandLine - kb::CommandLineLength(start) - 10, 'x');
    ASSERT_FALSE(kb::CommandLineTooLong(line));
    const kb::TempFolder unusable = {"tmp", "is not an absolute path"};
    const kb::JavaCachePlan dropped =
        kb::PlanJavaCache(line, false, dir_ / "data", dir_.path(), "app", unusable);
    EXPECT_NE(dropped.why_not.find("with the cache's options the command line would have"),
              std::string::npos)
        << home << ": " << dropped.why_not;
    EXPECT_NE(dropped.why_not.find("temporary location"), std::string::npos) << dropped.why_not;
    EXPECT_NE(kb::PlanJavaCache(line, false, dir_ / "data", dir_.path(), "app", Temp()).kind,
              JavaCacheKind::kNone)
        << home;
    const std::string shorter = start + std::string(100, 'x');
    EXPECT_NE(kb::PlanJavaCache(shorter, false, dir_ / "data", dir_.path(), "app", unusable).kind,
              JavaCacheKind::kNone)
        << home;
  }
}

// What the runtime reads beyond the line's own text enters the key: a
// changed option variable, an option changed inside an argument file (of
// the line or of JDK_JAVA_OPTIONS), a library that a manifest names.
TEST_F(JavaCachePlanTest, WhatTheRuntimeReadsBesidesTheLineChangesTheName) {
  kbtest::ScopedEnv no_tool("JAVA_TOOL_OPTIONS");
  kbtest::ScopedEnv no_jdk("JDK_JAVA_OPTIONS");
  kbtest::WriteFile(dir_ / "opts.txt", "-Xmx64m\n");
  kbtest::WriteFile(dir_ / "jdk.txt", "-Dy=1\n");
  kbtest::MakeDirs(dir_ / "lib");
  kbtest::WriteFile(dir_ / "main.jar", kbtest::JarBytes("lib/dep.jar"));
  kbtest::WriteFile(kbtest::Join(dir_ / "lib", "dep.jar"), kbtest::JarBytes("more.jar"));
  const std::string line = Java("jdk17") + " @opts.txt -cp main.jar app.Main";
  const std::string jar_line = Java("jdk25") + " -jar main.jar";
  ASSERT_EQ(Plan(line).why_not, "");
  ASSERT_EQ(Plan(jar_line).why_not, "");
  std::set<std::string> seen = {Plan(line).name, Plan(jar_line).name};
  EXPECT_EQ(Plan(line).name, *seen.find(Plan(line).name));
  EXPECT_EQ(seen.size(), 2u);
  using Change = std::function<void()>;
  std::vector<std::unique_ptr<kbtest::ScopedEnv>> held;
  const std::pair<const char*, Change> changes[] = {
      {"JAVA_TOOL_OPTIONS set",
       [&] { held.push_back(std::make_unique<kbtest::ScopedEnv>("JAVA_TOOL_OPTIONS", "-Dz=1")); }},
      {"JAVA_TOOL_OPTIONS changed",
       [&] { held.push_back(std::make_unique<kbtest::ScopedEnv>("JAVA_TOOL_OPTIONS", "-Dz=2")); }},
      {"an option inside the line's @file", [&] { kbtest::WriteFile(dir_ / "opts.txt", "-Xmx96m\n"); }},
      {"JDK_JAVA_OPTIONS names an @file",
       [&] { held.push_back(std::make_unique<kbtest::ScopedEnv>("JDK_JAVA_OPTIONS", "@jdk.txt")); }},
      {"an option inside JDK_JAVA_OPTIONS' @file", [&] { kbtest::WriteFile(dir_ / "jdk.txt", "-Dy=2\n"); }},
      {"the library a manifest names",
       [&] { kbtest::WriteFile(kbtest::Join(dir_ / "lib", "dep.jar"), kbtest::JarBytes("more.jar x.jar")); }},
      {"a library named but missing appears",
       [&] { kbtest::WriteFile(kbtest::Join(dir_ / "lib", "more.jar"), "PK"); }},
  };
  for (const auto& change : changes) {
    change.second();
    EXPECT_TRUE(seen.insert(Plan(line).name).second) << change.first;
    // The "-jar" line names no argument file.
    const bool jar_reads_it = std::string(change.first).find("line's @file") == std::string::npos;
    EXPECT_EQ(seen.insert(Plan(jar_line).name).second, jar_reads_it) << change.first;
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

namespace {

std::string Lines(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += text + "\n";
  return out;
}

// The step repeats only what the archive must match: nothing that writes
// a file of the application's, loads an agent or changes its behaviour.
TEST(JavaCacheStepTest, RepeatsOnlyWhatTheArchiveMustMatch) {
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> kept;
  } cases[] = {
      {{"-Xmx64m"}, {"-Xmx64m"}},
      {{"-XX:MaxHeapSize=1g"}, {"-XX:MaxHeapSize=1g"}},
      {{"-XX:+UseCompressedOops"}, {"-XX:+UseCompressedOops"}},
      {{"-XX:-UseCompressedOops"}, {"-XX:-UseCompressedOops"}},
      {{"-XX:+UseCompressedClassPointers"}, {"-XX:+UseCompressedClassPointers"}},
      {{"-XX:-UseCompressedClassPointers"}, {"-XX:-UseCompressedClassPointers"}},
      {{"-XX:ObjectAlignmentInBytes=16"}, {"-XX:ObjectAlignmentInBytes=16"}},
      {{"-XX:+UseSerialGC"}, {"-XX:+UseSerialGC"}},
      {{"-XX:+UseParallelGC"}, {"-XX:+UseParallelGC"}},
      {{"-XX:+UseG1GC"}, {"-XX:+UseG1GC"}},
      {{"-XX:+UseZGC"}, {"-XX:+UseZGC"}},
      {{"-XX:+UseShenandoahGC"}, {"-XX:+UseShenandoahGC"}},
      {{"-XX:+UseEpsilonGC"}, {"-XX:+UseEpsilonGC"}},
      {{"-XX:+UnlockExperimentalVMOptions"}, {"-XX:+UnlockExperimentalVMOptions"}},
      {{"-XX:+UnlockDiagnosticVMOptions"}, {"-XX:+UnlockDiagnosticVMOptions"}},
      {{"--enable-preview"}, {"--enable-preview"}},
      {{"--add-modules", "java.sql"}, {"--add-modules=java.sql"}},
      {{"--add-modules=java.sql"}, {"--add-modules=java.sql"}},
      // What writes the application's files, or runs code of its own.
      {{"-Xlog:gc:file=gc.log"}, {}},
      {{"-Xloggc:gc.log"}, {}},
      {{"-XX:HeapDumpPath=dumps"}, {}},
      {{"-XX:+HeapDumpOnOutOfMemoryError"}, {}},
      {{"-XX:ErrorFile=err.log"}, {}},
      {{"-XX:+FlightRecorder"}, {}},
      {{"-XX:StartFlightRecording=filename=rec.jfr"}, {}},
      {{"-javaagent:agent.jar"}, {}},
      {{"-agentlib:jdwp=transport=dt_socket"}, {}},
      {{"-agentpath:/lib/agent.so"}, {}},
      {{"-Dapp.mode=fast"}, {}},
      {{"-verbose:class"}, {}},
      {{"-Xms64m"}, {}},
      // The class path is given once, as the start reads it.
      {{"-cp", "other.jar", "-Xmx1g"}, {"-Xmx1g"}},
      {{"--add-opens", "java.base/java.lang=ALL-UNNAMED"}, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected = c.kept;
    expected.push_back("-cp");
    expected.push_back("app.jar");
    EXPECT_EQ(kb::JavaCacheStepOptions(c.options, "app.jar"), expected) << Lines(c.options);
  }
  // The step's own arguments travel whole.
  kb::JavaCacheStep step;
  step.data_folder = "/data";
  step.runtime_folder = "/data/cache";
  step.archive = "app-0123456789abcdef.aot";
  step.class_list = "app-0123456789abcdef.aot.x.classes.part";
  step.link_classes = true;
  step.runtime = "/jdk/bin/java";
  step.options = {"-Xmx1g", "-cp", "a b.jar"};
  kb::JavaCacheStep back;
  ASSERT_TRUE(kb::ReadJavaCacheStep(kb::JavaCacheStepArguments(step), &back));
  EXPECT_EQ(back.archive, step.archive);
  EXPECT_EQ(back.class_list, step.class_list);
  EXPECT_TRUE(back.link_classes);
  EXPECT_EQ(back.options, step.options);
  EXPECT_FALSE(back.probe);
  // The probe's options travel whole and apart from the dump's, whatever
  // they hold: none, blanks, quotes, a count's look, the "-" of no probe.
  const std::vector<std::vector<std::string>> probes = {
      {},
      {"-Da=b c", "-Dq=\"x\" y\\", ""},
      {"2", "-", "-cp", "x.jar"},
      {"-Dtab=a\tb", "-Xmx1g"},
  };
  for (const auto& probe : probes) {
    step.probe = true;
    step.probe_options = probe;
    // Through the command line the step is started with.
    const std::vector<std::string> travelled =
        kb::SplitCommandLine(kb::JoinArguments(kb::JavaCacheStepArguments(step)));
    kb::JavaCacheStep read;
    ASSERT_TRUE(kb::ReadJavaCacheStep(travelled, &read)) << Lines(probe);
    EXPECT_TRUE(read.probe);
    EXPECT_EQ(read.probe_options, probe);
    EXPECT_EQ(read.options, step.options) << Lines(probe);
  }
  // A count the arguments cannot hold, or not a count.
  for (const char* count : {"9", "x", "", "1234567"}) {
    std::vector<std::string> arguments = kb::JavaCacheStepArguments(back);
    arguments[6] = count;
    kb::JavaCacheStep read;
    EXPECT_FALSE(kb::ReadJavaCacheStep(arguments, &read)) << count;
  }
  // Options that start an agent or write a file are not probed; every
  // other is.
  for (const char* option :
       {"-javaagent:a.jar", "-agentlib:jdwp=transport=dt_socket", "-agentpath:/a.so",
        "-Xrunjdwp:server=y", "-Xdebug", "-Xlog:gc:file=gc.log", "-Xlog:gc:gc.log",
        "-Xlog:gc*:\"C:\\logs\\gc.log\":uptime", "-Xloggc:gc.log", "-XX:LogFile=vm.log",
        "-XX:+LogVMOutput", "-XX:+LogCompilation", "-XX:StartFlightRecording=filename=a.jfr",
        "-XX:StartFlightRecording", "-XX:+PerfDataSaveToFile", "-XX:PerfDataSaveFile=p"}) {
    EXPECT_FALSE(kb::JavaCacheProbeAllowed({"-Xmx1g", option})) << option;
  }
  EXPECT_TRUE(kb::JavaCacheProbeAllowed({"-Xmx1g", "-Dx=-javaagent:a.jar", "-Xshare:auto",
                                         "-Xlog:gc", "-Xlog:gc:stdout", "-Xlog:gc*:stderr:uptime",
                                         "-Xlog:gc::uptime", "-Xlog:disable", "-XX:-LogVMOutput"}));
  const std::string dump = kb::JavaCacheDumpLine(back, "part");
  EXPECT_NE(dump.find("-XX:+AOTClassLinking"), std::string::npos) << dump;
  EXPECT_NE(dump.find("-Xshare:dump"), std::string::npos) << dump;
}

class JavaCacheFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kb::OpenJavaCacheFolder(dir_ / "data", &folder_), "");
  }
  void Write(const std::string& name, const std::string& bytes) {
    kbtest::WriteFile(folder_.PathOf(name), bytes);
  }
  bool Exists(const std::string& name) const { return kbtest::FileExists(folder_.PathOf(name)); }
  kbtest::ScratchDir dir_;
  platform::HeldFolder folder_;
};

// Named only when written whole, and checked before each use.
TEST_F(JavaCacheFileTest, AnArchiveIsUsedOnlyAsItWasWritten) {
  const std::string name = "app-0123456789abcdef.jsa";
  Write("a.part", "");
  EXPECT_NE(kb::PutInPlace(folder_, "a.part", name), "");
  EXPECT_FALSE(Exists("a.part"));
  EXPECT_FALSE(Exists(name));
  const std::string bytes(100000, 'x');
  Write("b.part", bytes);
  ASSERT_EQ(kb::PutInPlace(folder_, "b.part", name), "");
  EXPECT_FALSE(Exists("b.part"));
  EXPECT_EQ(kb::WhyNotWhole(folder_, name), "");
  const struct {
    std::string bytes;
    const char* why;
  } damaged[] = {
      {bytes.substr(0, 50000), "bytes, its record says"},
      {bytes.substr(0, 99999) + "y", "digest"},
  };
  for (const auto& d : damaged) {
    Write(name, d.bytes);
    EXPECT_NE(kb::WhyNotWhole(folder_, name).find(d.why), std::string::npos) << d.why;
  }
  (void)folder_.Remove(name + ".sum");
  Write(name, bytes);
  EXPECT_NE(kb::WhyNotWhole(folder_, name).find("no record"), std::string::npos);
  kb::DropArchive(folder_, name);
  EXPECT_FALSE(Exists(name));
}

TEST_F(JavaCacheFileTest, KeepsTheNewestWithinTheBoundAndWhatIsStillWritten) {
  std::vector<std::string> names;
  for (int n = 0; n < 6; ++n) {
    const std::string name = "app-000000000000000" + std::to_string(n) + ".jsa";
    Write(name, "x");
    Write(name + ".sum", "1 0");
    names.push_back(name);
    const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(10 - n);
    std::filesystem::last_write_time(std::filesystem::u8path(folder_.PathOf(name)), when);
  }
  Write("other-0000000000000009.jsa", "x");
  // A class list its run still writes, and one no one holds any more.
  Write(names[5] + ".1.classes.part", "a");
  platform::Handle held;
  ASSERT_EQ(folder_.OpenLockFile(names[5] + ".1.classes.part", &held), 0);
  ASSERT_EQ(platform::TryLockFile(held), 0);
  EXPECT_TRUE(kb::IsHeld(folder_, names[5] + ".1.classes.part"));
  Write(names[4] + ".2.classes.part", "a");
  // Both began long ago (a run may last for days): only the hold tells.
  for (const char* part : {".1.classes.part", ".2.classes.part"}) {
    const std::string name = names[part[1] == '1' ? 5 : 4] + part;
    std::filesystem::last_write_time(std::filesystem::u8path(folder_.PathOf(name)),
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::hours(30));
  }
  // The oldest is the one just used: it stays whatever its age.
  const std::vector<std::string> removed = kb::KeepWithinBound(folder_, "app", names[0]);
  EXPECT_TRUE(Exists(names[0]));
  EXPECT_FALSE(Exists(names[1]));
  EXPECT_FALSE(Exists(names[1] + ".sum"));
  EXPECT_FALSE(Exists(names[2]));
  for (int n = 3; n < 6; ++n) EXPECT_TRUE(Exists(names[n])) << n;
  EXPECT_TRUE(Exists(names[5] + ".1.classes.part"));
  EXPECT_FALSE(Exists(names[4] + ".2.classes.part"));
  EXPECT_TRUE(Exists("other-0000000000000009.jsa"));
  EXPECT_EQ(removed.size(), 3u) << Lines(removed);
}

TEST(JavaCacheFileCodesTest, ACrashAndARequestAreToldFromAnExit) {
  for (int code : {134, 135, 139, static_cast<int>(0xC0000005u), static_cast<int>(0xC0000006u)}) {
    EXPECT_TRUE(kb::IsRuntimeCrash(code)) << code;
  }
  for (int code : {0, 1, 3, 143, -1}) EXPECT_FALSE(kb::IsRuntimeCrash(code)) << code;
  for (int code : {129, 130, 143}) EXPECT_TRUE(kb::IsEndedByRequest(code)) << code;
  for (int code : {0, 1, 134}) EXPECT_FALSE(kb::IsEndedByRequest(code)) << code;
}

}  // namespace
