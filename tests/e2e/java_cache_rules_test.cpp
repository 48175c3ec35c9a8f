// The class-data cache through the real launcher and the real check: what
// the runtime would refuse means no cache, the application runs as it runs
// without the key, and the check says the same as the launch.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_runtime.h"
#include "launcher/child_command.h"
#include "support/e2e_support.h"
#include "support/java_homes.h"
#include "support/zip_writer.h"

namespace kbtest {
namespace {

constexpr char kSection[] = "[wx6]\n";
constexpr char kNoCache[] = "INFO: Launcher::Run::start::javacache=no class-data cache: ";

// A JSON string's text as the check writes it.
std::string JsonText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

class JavaCacheRules : public LauncherTest {
 protected:
  // The check's JSON report of the installed configuration.
  std::string CheckJson(const std::string& ini = "tool.ini") const {
    const RunResult checked = kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) + " --json " +
                                  kb::QuoteArgument(Join(app_dir_, ini)));
    return checked.output;
  }
  // Why the launch kept no cache, from its log ("" when it kept one).
  std::string LaunchRefusal() const {
    const std::string log = LogContent();
    const std::size_t at = log.find(kNoCache);
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + sizeof kNoCache - 1;
    std::size_t end = log.find_first_of("\r\n", from);
    return log.substr(from, end - from);
  }
};

// A file where the cache folder goes, a folder where the file goes, an
// option the runtime refuses, a manifest the launcher cannot trust: for
// each, the check's cache row says what the launch does, and a finding
// says that there is no cache. A stand-in runtime takes the options, so
// this runs on both platforms.
TEST_F(JavaCacheRules, TheCheckSaysWhatTheLaunchDoes) {
  Install();
  MakeJavaHome(Join(app_dir_, "jre"), "25", Child());
  WriteFile(Join(app_dir_, "a.jar"), JarBytes(nullptr));
  WriteFile(Join(app_dir_, "dir.jar"), JarBytes("classes/"));
  WriteFile(Join(app_dir_, "share.txt"), "-Xshare:off\n");
  const std::string base = std::string(kSection) + "launchercmd=" +
                           Join(Join(app_dir_, "jre"), "bin") + (IsWindows() ? "\\java.exe" : "/java") +
                           "\njavacache=auto\nMainClass=app.Main\n";
  const std::string cache = Join(DataDir(), "cache");
  // What the check predicts with nothing in the way: the file it creates.
  WriteIni(base + "Classpath=-cp a.jar\n");
  std::string json = CheckJson();
  const std::string key = "\"java_cache\": \"";
  const std::size_t at = json.find(key);
  ASSERT_NE(at, std::string::npos) << json;
  const std::string archive_json = json.substr(at + key.size(), json.find('"', at + key.size()) -
                                                                    at - key.size());
  EXPECT_NE(json.find("\"java_cache_exists\": false"), std::string::npos) << json;
  EXPECT_EQ(json.find("javacache-none"), std::string::npos) << json;
  std::string archive = kb::ReplaceAll(archive_json, "\\\\", "\\");
  ASSERT_EQ(archive.rfind(cache, 0), 0u) << archive << " " << cache;

  struct Row {
    const char* name;
    std::string classpath;
    const char* variable;  // JDK_JAVA_OPTIONS for the launch and the check
    std::string java_args;
    std::string refusal_part;
    void (*prepare)(const std::string& cache, const std::string& archive);
  };
  const Row rows[] = {
      {"a file where the cache folder goes", "-cp a.jar", nullptr, "", "cannot be used",
       [](const std::string& c, const std::string&) { WriteFile(c, ""); }},
      {"a folder under the file's name", "-cp a.jar", nullptr, "", "is not a plain file",
       [](const std::string&, const std::string& a) { MakeDirs(a); }},
      {"an option the runtime refuses for recording", "-cp a.jar", nullptr,
       "--limit-modules=java.base", "--limit-modules", nullptr},
      {"a manifest that names a folder", "-cp dir.jar", nullptr, "", "names classes/", nullptr},
      {"JDK_JAVA_OPTIONS's argument file chooses sharing", "-cp a.jar", "@share.txt", "",
       "JDK_JAVA_OPTIONS chooses class-data sharing", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::error_code ignored;
    std::filesystem::remove_all(cache, ignored);
    std::filesystem::remove(cache, ignored);
    if (row.prepare != nullptr) {
      MakeDirs(DataDir());
      row.prepare(cache, archive);
    }
    std::unique_ptr<ScopedEnv> variable;
    if (row.variable != nullptr) {
      variable = std::make_unique<ScopedEnv>("JDK_JAVA_OPTIONS", row.variable);
    }
    WriteIni(base + "Classpath=" + row.classpath + "\n" +
             (row.java_args.empty() ? "" : "JavaArgs_1=" + row.java_args + "\n"));
    json = CheckJson();
    RemoveLogs();
    const RunResult r = Launch();
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const std::string refusal = LaunchRefusal();
    EXPECT_NE(refusal.find(row.refusal_part), std::string::npos) << refusal << "\n" << LogContent();
    EXPECT_NE(json.find("\"java_cache_refusal\": \"" + JsonText(refusal) + "\""), std::string::npos)
        << refusal << "\n" << json;
    EXPECT_NE(json.find("\"javacache-none\""), std::string::npos) << json;
    std::filesystem::remove_all(cache, ignored);
    std::filesystem::remove(cache, ignored);
  }
}

// A line that fits only without the cache's options, where no argument
// file can be made (the temporary folder is a file): the start goes on
// without the cache, and the check says so.
TEST_F(JavaCacheRules, TheCachesOptionsNeverMakeALineBeRefused) {
  Install();
  MakeJavaHome(Join(app_dir_, "jre"), "25", Child());
  WriteFile(Join(app_dir_, "a.jar"), JarBytes(nullptr));
  WriteFile(dir_ / "tmpfile", "");
  ScopedEnv temp("TMP", dir_ / "tmpfile");
  const std::string java = Join(Join(app_dir_, "jre"), "bin") + (IsWindows() ? "\\java.exe" : "/java");
  // A value is read up to 4,095 bytes: the padding takes several keys.
  auto ini = [&](std::size_t pad) {
    std::string text = std::string(kSection) + "launchercmd=" + java + "\njavacache=auto\n";
    for (int n = 1; pad > 0; ++n) {
      const std::size_t piece = std::min<std::size_t>(pad, 4000);
      text += "JavaArgs_" + std::to_string(n) + "=-Dp=" + std::string(piece, 'p') + "\n";
      pad -= piece;
    }
    return text + "Classpath=-cp a.jar\nMainClass=app.Main\n";
  };
  // The line's length with a short value, from the check's report.
  WriteIni(ini(1));
  const std::string json = CheckJson();
  const std::string key = "\"command_line\": \"";
  const std::size_t at = json.find(key);
  ASSERT_NE(at, std::string::npos) << json;
  const std::string line = kb::ReplaceAll(
      kb::ReplaceAll(json.substr(at + key.size(), json.find("\",", at) - at - key.size()),
                     "\\\"", "\""),
      "\\\\", "\\");
  // Each further key adds " -Dp=" and the value's trailing space.
  const std::size_t room = kb::kMaxCommandLine - kb::CommandLineLength(line) - 10;
  const std::size_t pad = 1 + room - 6 * (room / 4006);
  WriteIni(ini(pad));
  const RunResult r = Launch();
  EXPECT_EQ(r.exit_code, 0) << r.output << LogContent();
  const std::string refusal = LaunchRefusal();
  EXPECT_NE(refusal.find("with the cache's options the command line would have"), std::string::npos)
      << LogContent();
  EXPECT_EQ(LogContent().find("ERROR: Launcher::Run::start::commandline"), std::string::npos);
  const std::string checked = CheckJson();
  EXPECT_NE(checked.find("\"java_cache_refusal\": \"" + JsonText(refusal) + "\""), std::string::npos)
      << refusal << "\n" << checked;
  EXPECT_NE(checked.find("\"runner\": \"relayed\""), std::string::npos) << checked;
}

// ---- with the real runtimes of this machine ----

// The first runtime of 13 to 24 and the first of 25 or newer found.
std::vector<std::string> CacheRuntimes() {
  std::vector<std::string> found(2);
  for (const std::string& name : ListDir("/usr/lib/jvm")) {
    const std::string home = Join("/usr/lib/jvm", name);
    const int feature = kb::ReadJavaVersion(home).feature;
    std::string& slot = found[feature >= 25 ? 1 : 0];
    if (feature >= 13 && slot.empty() && FileExists(Join(Join(home, "bin"), "java"))) slot = home;
  }
  return found;
}

// An application whose main class prints what a library class of another
// JAR says; the library is named only by the application JAR's manifest.
void BuildApplication(const std::string& dir, const std::string& app_dir) {
  MakeDirs(Join(dir, "src/app"));
  MakeDirs(Join(dir, "src/dep"));
  WriteFile(Join(dir, "src/app/Main.java"),
            "package app;\npublic final class Main {\n  public static void main(String[] a) {\n"
            "    System.out.println(\"MAIN \" + dep.Dep.say());\n    System.err.println(\"ERR\");\n"
            "    System.exit(3);\n  }\n}\n");
  WriteFile(Join(dir, "manifest.txt"), "Main-Class: app.Main\nClass-Path: lib/dep.jar\n");
  const std::string javac = "javac -d " + kb::QuoteArgument(Join(dir, "classes")) + " ";
  for (const char* version : {"one", "two"}) {
    WriteFile(Join(dir, "src/dep/Dep.java"),
              "package dep;\npublic final class Dep {\n  public static String say() { return \"DEP " +
                  std::string(version) + "\"; }\n}\n");
    const std::string out = Join(dir, std::string("dep-") + version);
    ASSERT_EQ(kbtest::Run("javac -d " + kb::QuoteArgument(out) + " " +
                  kb::QuoteArgument(Join(dir, "src/dep/Dep.java")))
                  .exit_code,
              0);
    ASSERT_EQ(kbtest::Run("jar cf " + kb::QuoteArgument(Join(dir, std::string("dep-") + version + ".jar")) +
                  " -C " + kb::QuoteArgument(out) + " .")
                  .exit_code,
              0);
  }
  const RunResult built =
      kbtest::Run(javac + "-cp " + kb::QuoteArgument(Join(dir, "dep-one.jar")) + " " +
          kb::QuoteArgument(Join(dir, "src/app/Main.java")));
  ASSERT_EQ(built.exit_code, 0) << built.output;
  ASSERT_EQ(kbtest::Run("jar cfm " + kb::QuoteArgument(Join(app_dir, "app.jar")) + " " +
                kb::QuoteArgument(Join(dir, "manifest.txt")) + " -C " +
                kb::QuoteArgument(Join(dir, "classes")) + " app")
                .exit_code,
            0);
  MakeDirs(Join(app_dir, "lib"));
  CopyFile(Join(dir, "dep-one.jar"), Join(Join(app_dir, "lib"), "dep.jar"));
}

// Each configuration the runtime would refuse once asked to record: with
// the key, the first and the second start give the output and exit code
// of the start without it, and the check says there is no cache.
TEST_F(JavaCacheRules, WhatTheRuntimeRefusesRunsAsWithoutTheKey) {
  if (IsWindows()) GTEST_SKIP() << "no Windows Java runtime here: the unit tables cover Windows";
  BuildApplication(dir_ / "build", app_dir_);
  WriteFile(Join(app_dir_, "share.txt"), "-Xshare:off\n");
  WriteFile(Join(app_dir_, "flags.txt"), "+UseSerialGC\n");
  int tested = 0;
  for (const std::string& home : CacheRuntimes()) {
    if (home.empty()) {
      std::cout << "[ SKIPPED ROW ] no runtime of this kind on the machine\n";
      continue;
    }
    ++tested;
    const int feature = kb::ReadJavaVersion(home).feature;
    SCOPED_TRACE(home);
    struct Row {
      const char* name;
      int only_below;  // rows for the archive of 13 to 24: 25; else 0
      std::string java_args;
      const char* variable;  // with `value`, for the launch and the check
      const char* value;
      const char* launcher;  // the launcher's name
      const char* data_home;  // a data folder below this one of the scratch folder
    };
    const Row rows[] = {
        {"a \":\" in the data folder's path", 0, "", nullptr, nullptr, "tool_console", "ho:me"},
        {"a \":\" in the launcher's name", 0, "", nullptr, nullptr, "to:ol_console", nullptr},
        {"--limit-modules", 0, "--limit-modules=java.base", nullptr, nullptr, "tool_console", nullptr},
        {"-XX:ObjectAlignmentInBytes=16", 25, "-XX:ObjectAlignmentInBytes=16", nullptr, nullptr,
         "tool_console", nullptr},
        {"ObjectAlignmentInBytes in JAVA_TOOL_OPTIONS", 25, "", "JAVA_TOOL_OPTIONS",
         "-XX:ObjectAlignmentInBytes=16", "tool_console", nullptr},
        {"-XX:-UseCompressedClassPointers", 25, "-XX:-UseCompressedClassPointers", nullptr, nullptr,
         "tool_console", nullptr},
        {"UseCompressedClassPointers in JAVA_TOOL_OPTIONS", 25, "", "JAVA_TOOL_OPTIONS",
         "-XX:-UseCompressedClassPointers", "tool_console", nullptr},
        {"-XX:-UseSharedSpaces", 25, "-XX:-UseSharedSpaces", nullptr, nullptr, "tool_console", nullptr},
        {"UseSharedSpaces in JAVA_TOOL_OPTIONS", 25, "", "JAVA_TOOL_OPTIONS", "-XX:-UseSharedSpaces",
         "tool_console", nullptr},
        {"-XX:Flags=<file>", 25, "-XX:Flags=flags.txt", nullptr, nullptr, "tool_console", nullptr},
        {"Flags in JAVA_TOOL_OPTIONS", 25, "", "JAVA_TOOL_OPTIONS", "-XX:Flags=flags.txt",
         "tool_console", nullptr},
        {"JDK_JAVA_OPTIONS=@file with -Xshare:off", 0, "", "JDK_JAVA_OPTIONS", "@share.txt",
         "tool_console", nullptr},
    };
    for (const Row& row : rows) {
      if (row.only_below != 0 && feature >= row.only_below) continue;
      SCOPED_TRACE(row.name);
      std::unique_ptr<ScopedEnv> variable;
      if (row.variable != nullptr) variable = std::make_unique<ScopedEnv>(row.variable, row.value);
      std::unique_ptr<ScopedEnv> data;
      if (row.data_home != nullptr) {
        MakeDirs(dir_ / row.data_home);
        data = std::make_unique<ScopedEnv>("XDG_DATA_HOME", dir_ / row.data_home);
      }
      const std::string name = row.launcher;
      const std::string ini_name = kb::RemoveAll(name, "_console") + ".ini";
      Install(name);
      const std::string base = std::string(kSection) + "launchercmd=" +
                               Join(Join(home, "bin"), "java") + "\nClasspath=-cp app.jar\n" +
                               "MainClass=app.Main\n" +
                               (row.java_args.empty() ? "" : "JavaArgs_1=" + row.java_args + "\n");
      WriteIni(base, ini_name);
      const RunResult plain = Launch("", name);
      WriteIni(base + "javacache=auto\n", ini_name);
      for (int run = 1; run <= 2; ++run) {
        RemoveLogs();
        const RunResult keyed = Launch("", name);
        EXPECT_EQ(keyed.exit_code, plain.exit_code) << "start " << run << "\n" << keyed.output;
        EXPECT_EQ(keyed.output, plain.output) << "start " << run;
        EXPECT_NE(LogContent().find(kNoCache), std::string::npos) << LogContent();
      }
      const std::string json = CheckJson(ini_name);
      EXPECT_NE(json.find("\"javacache-none\""), std::string::npos) << json;
      std::error_code ignored;
      std::filesystem::remove(Join(app_dir_, name), ignored);
    }
  }
  if (tested == 0) GTEST_SKIP() << "no Java runtime of version 13 or newer in /usr/lib/jvm";
}

// A library that only a manifest names is in the key: replaced, its new
// classes run on the next start; removed, the start fails as it does
// without the key. Never are the old classes served from the cache.
TEST_F(JavaCacheRules, ALibraryNamedByAManifestTakesEffectOnTheNextStart) {
  if (IsWindows()) GTEST_SKIP() << "no Windows Java runtime here: the unit tables cover Windows";
  BuildApplication(dir_ / "build", app_dir_);
  Install();
  const std::string dep = Join(Join(app_dir_, "lib"), "dep.jar");
  int tested = 0;
  for (const std::string& home : CacheRuntimes()) {
    if (home.empty()) {
      std::cout << "[ SKIPPED ROW ] no runtime of this kind on the machine\n";
      continue;
    }
    ++tested;
    SCOPED_TRACE(home);
    CopyFile(dir_ / "build/dep-one.jar", dep);
    for (const char* jar_start : {"Classpath=-cp app.jar\nMainClass=app.Main\n",
                                  "Classpath=-jar app.jar\n"}) {
      SCOPED_TRACE(jar_start);
      const std::string base = std::string(kSection) + "launchercmd=" +
                               Join(Join(home, "bin"), "java") + "\n" + jar_start;
      auto compare = [&](const char* expected_line) {
        WriteIni(base);
        const RunResult plain = Launch();
        if (expected_line != nullptr) {
          EXPECT_NE(plain.output.find(expected_line), std::string::npos) << plain.output;
        }
        WriteIni(base + "javacache=auto\n");
        for (int run = 1; run <= 2; ++run) {
          RemoveLogs();
          const RunResult keyed = Launch();
          EXPECT_EQ(keyed.exit_code, plain.exit_code) << run << "\n" << keyed.output;
          EXPECT_EQ(keyed.output, plain.output) << run << "\n" << LogContent();
        }
        EXPECT_EQ(CheckJson().find("\"javacache-none\""), std::string::npos);
      };
      std::error_code ignored;
      std::filesystem::remove_all(Join(DataDir(), "cache"), ignored);
      compare("MAIN DEP one");
      CopyFile(dir_ / "build/dep-two.jar", dep);
      compare("MAIN DEP two");
      std::filesystem::remove(dep, ignored);
      compare(nullptr);
      CopyFile(dir_ / "build/dep-one.jar", dep);
    }
  }
  if (tested == 0) GTEST_SKIP() << "no Java runtime of version 13 or newer in /usr/lib/jvm";
}

}  // namespace
}  // namespace kbtest
