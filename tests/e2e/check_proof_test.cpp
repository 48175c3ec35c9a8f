// The configuration check tells the truth: for each configuration and set of
// launcher arguments, the argument vector that "launcher_check --json"
// predicts is byte for byte the one a child started by the real launcher
// receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_runtime.h"
#include "platform/java_places.h"
#include "platform/text.h"
#include "support/e2e_support.h"
#include "support/java_homes.h"

namespace kbtest {
namespace {

using Strings = std::vector<std::string>;

// An array of strings of the check's JSON ("argv", "argv_hex"), escapes
// read back (only quotes, backslashes and controls are escaped in these).
Strings JsonArray(const std::string& json, const std::string& name, bool* found) {
  Strings out;
  *found = false;
  const std::string head = "\"" + name + "\": [";
  std::string::size_type i = json.find(head);
  if (i == std::string::npos) return out;
  i += head.size();
  for (;;) {
    while (i < json.size() &&
           (json[i] == ' ' || json[i] == '\n' || json[i] == '\r' || json[i] == ',')) {
      ++i;
    }
    if (i >= json.size()) return out;
    if (json[i] == ']') break;
    if (json[i] != '"') return out;
    std::string value;
    for (++i; i < json.size() && json[i] != '"'; ++i) {
      if (json[i] != '\\') {
        value += json[i];
        continue;
      }
      const char e = json[++i];
      if (e == 'n')
        value += '\n';
      else if (e == 'r')
        value += '\r';
      else if (e == 't')
        value += '\t';
      else if (e == 'u') {
        value += static_cast<char>(std::stoi(json.substr(i + 1, 4), nullptr, 16));
        i += 4;
      } else {
        value += e;
      }
    }
    ++i;
    out.push_back(value);
  }
  *found = true;
  return out;
}

// The arguments' exact bytes, from "argv_hex".
Strings JsonArgv(const std::string& json, bool* found) {
  Strings out;
  for (const std::string& hex : JsonArray(json, "argv_hex", found)) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    out.push_back(bytes);
  }
  return out;
}

// UTF-16LE bytes (the check's "argv_hex" for a Unicode child on Windows)
// in UTF-8.
std::string FromUtf16Le(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned long code =
        static_cast<unsigned char>(bytes[i]) |
        (static_cast<unsigned long>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size()) {
      const unsigned long low =
          static_cast<unsigned char>(bytes[i + 2]) |
          (static_cast<unsigned long>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// The probe's arguments, byte for byte, in UTF-8 (Windows: the probe
// receives and prints them in the ANSI code page).
Strings ProbeArgs(const std::string& output) {
  Strings out;
  for (const std::string& line : Lines(output)) {
    if (line.rfind("ARGX=", 0) != 0) continue;
    std::string value;
    for (std::size_t i = 5; i + 1 < line.size(); i += 2) {
      value += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    out.push_back(platform::SystemTextToUtf8(value));
  }
  return out;
}

std::string Show(const Strings& args) {
  std::string out;
  for (const std::string& a : args) {
    out += "[";
    for (const char c : a) {
      if (static_cast<unsigned char>(c) < 0x20) {
        out += "\\x" + std::to_string(static_cast<int>(c));
      } else {
        out += c;
      }
    }
    out += "] ";
  }
  return out;
}

struct ProofCase {
  const char* label;
  std::string ini;  // PROBE: the probe child; JRE: a folder with bin/java.exe
  Strings args;
  std::string master;  // master.ini beside tool.ini when not empty
  bool utf16 = false;  // tool.ini written in UTF-16LE with a byte-order mark
  Strings files = {};  // files made below the scratch folder ("app/lib/x.jar")
};

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}
std::ostream& operator<<(std::ostream& out, const ProofCase& c) { return out << c.label; }

class CheckProof : public LauncherTest, public ::testing::WithParamInterface<ProofCase> {};

TEST_P(CheckProof, PredictedArgvIsWhatTheChildReceives) {
  const ProofCase& c = GetParam();
  const std::string probe = BuiltProgram("arg_probe");
  const std::string bin = Join(Join(dir_ / "jre", "bin"), "");
  MakeDirs(bin);
  CopyFile(probe, Join(bin, "java.exe"));
  std::string ini = kb::ReplaceAll(c.ini, "PROBE", probe);
  std::string jre = dir_ / "jre";
  std::replace(jre.begin(), jre.end(), '\\', '/');
  ini = kb::ReplaceAll(ini, "JRE", jre);
  Install();
  WriteIni(c.utf16 ? Utf16(ini) : ini);
  if (!c.master.empty()) WriteIni(c.master, "master.ini");
  for (const std::string& file : c.files) {
    const std::string path = dir_ / file;
    MakeDirs(path.substr(0, path.find_last_of("\\/")));
    WriteFile(path, "x");
  }

  const std::string args = kb::JoinArguments(c.args);
  // The check first: it must leave no log, no temporary or lock folder and
  // no cleanup script behind.
  auto sorted = [](Strings names) {
    std::sort(names.begin(), names.end());
    return names;
  };
  const Strings app_before = sorted(ListDir(app_dir_));
  const RunResult checked =
      kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) + " --json " +
                  kb::QuoteArgument(Join(app_dir_, "tool.ini")) + " -- " + args);
  ASSERT_TRUE(checked.started);
  ASSERT_LE(checked.exit_code, 2) << checked.output;
  EXPECT_EQ(LogPath(), "");
  EXPECT_EQ(ListDir(dir_ / "tmp"), Strings());
  EXPECT_EQ(ListDir(dir_ / "run"), Strings());
  EXPECT_EQ(sorted(ListDir(app_dir_)), app_before);

  const RunResult launched = Launch(args);
  ASSERT_TRUE(launched.started);
  ASSERT_EQ(launched.exit_code, 0) << launched.output;
  const Strings received = ProbeArgs(launched.output);
  ASSERT_FALSE(received.empty()) << launched.output;
  bool found = false;
  Strings predicted = JsonArgv(checked.output, &found);
  ASSERT_TRUE(found) << checked.output;
  // Windows: a Java runtime's argv_hex is its ANSI bytes, any other
  // child's the UTF-16LE units a Unicode program receives; the probe
  // prints ANSI, read back as text.
  kb::JavaRuntime runtime;
  const bool java = kb::IdentifyJavaRuntime(received[0], &runtime);
  for (std::string& bytes : predicted) {
    if (IsWindows()) bytes = java ? platform::SystemTextToUtf8(bytes) : FromUtf16Le(bytes);
  }
  // "argv" has one string for each argument, its bytes that are not UTF-8
  // replaced, never taken for characters.
  bool strings_found = false;
  const Strings as_text = JsonArray(checked.output, "argv", &strings_found);
  ASSERT_TRUE(strings_found);
  EXPECT_EQ(as_text.size(), predicted.size());
  EXPECT_EQ(predicted, received) << c.label << "\npredicted: " << Show(predicted)
                                 << "\nreceived:  " << Show(received);
}

// The platform section of this 64-bit machine.
INSTANTIATE_TEST_SUITE_P(
    Check, CheckProof,
    ::testing::Values(
        ProofCase{"worked example: windowed runtime rewritten, every Java piece",
                  "[wx6]\nlaunchercmd=JRE/bin/javaw.exe\nJavaArgs_1=-Xmx512m\n"
                  "JavaArgs_2=-Dmode=1\nClasspath=-cp lib/app.jar\nMainClass=app.Main\n"
                  "AddtlArgs_1=-fast\n",
                  {"-nocleanup"},
                  ""},
        ProofCase{"worked log: class path and main class, no arguments",
                  "[wx6]\nlaunchercmd=PROBE\nClasspath=-cp app.jar\nMainClass=app.Main\n",
                  {},
                  ""},
        ProofCase{"overrides consumed, the rest passed on",
                  "[default]\nlaunchercmd=PROBE\nMainClass=app.Main\nJavaArgs_1=-Da\n",
                  {"-MainClass", "other.Main", "-JAVAARGS_1", "\"-Db c\"", "x"},
                  ""},
        ProofCase{"master file, built-in placeholders, placeholders in the arguments",
                  "[properties]\nMASTERPROP=master.ini\nOWN=mine\n[default]\n"
                  "launchercmd=PROBE\nAddtlArgs_1=<HOME>/lib\nAddtlArgs_2=<OWN>\n"
                  "AddtlArgs_3=<LAUNCHERDIR>\nAddtlArgs_4=<WORKINGDIR>\n",
                  {"<HOME>", "<OWN>x"},
                  "[properties]\nHOME=C:\\app home\nOWN=theirs\n"},
        ProofCase{"numbering gap: the fourth is never read",
                  "[default]\nlaunchercmd=PROBE\nJavaArgs_1=-Da\nJavaArgs_2=-Db\nJavaArgs_4=-Dd\n",
                  {"-JavaArgs_4", "-Dx"},
                  ""},
        ProofCase{"an option inside one argument stays an argument",
                  "[default]\nlaunchercmd=PROBE\n",
                  {"C:\\Users\\me\\Downloads\\a -launchercmd hostname b.myext", "a -applogloc x b",
                   "report -noconsole .txt"},
                  ""},
        ProofCase{"quotes, trailing backslashes and override values",
                  "[default]\nlaunchercmd=PROBE\nMainClass=app.Main\nJavaArgs_1=-Da\n",
                  {"-MainClass", "x y\\", "-JavaArgs_1", "a\"b c", "q\"", "t\\", "u\\\\\"v"},
                  ""},
        ProofCase{"line ends, vertical tab and empty arguments beside a removed option",
                  "[default]\nlaunchercmd=PROBE\n",
                  {"-wait", "\nfirst", "", "last\r\n", "\v", "\f", ""},
                  ""},
        // A Windows command line is UTF-16 and holds no invalid UTF-8; the
        // ANSI file's byte is the code page's character there.
        ProofCase{"bytes beyond ASCII, valid UTF-8 or not",
                  "[default]\nlaunchercmd=PROBE\nAddtlArgs_1=caf\xE9\n",
                  {"\xC3\xA4", kbtest::IsWindows() ? "\u00e9t\u00e9" : "\xE9t\xE9"},
                  ""},
        ProofCase{"a UTF-16 file",
                  "[default]\r\nlaunchercmd=PROBE\r\nMainClass=app.Main\r\n",
                  {"x"},
                  "",
                  true},
        // The check runs in the tests' folder, the child in the application's:
        // a relative entry is the child's, found (and given its short form)
        // from there. (An override: an ANSI file cannot hold the name.)
        ProofCase{"a relative class-path entry outside the code page, checked from elsewhere",
                  "[default]\nlaunchercmd=JRE/bin/java.exe\nMainClass=app.Main\n",
                  {"-Classpath", "-cp lib\\\u65e5\u672c.jar;lib\\plain.jar"},
                  "",
                  false,
                  {"jre/release", "app/lib/\u65e5\u672c.jar", "app/lib/plain.jar"}}));

// The launcher's argument file as the probe printed it ("ARGFILE=" lines).
std::string ProbeArgFile(const std::string& output) {
  for (const std::string& line : Lines(output)) {
    if (line.rfind("ARGFILE=", 0) != 0) continue;
    std::string value;
    for (std::size_t i = 8; i + 1 < line.size(); i += 2) {
      value += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    return value;
  }
  return std::string();
}

struct LongLineCase {
  const char* label;
  // The configuration's own lines; PROGRAM is the runnable runtime's program. A
  // long tail of application arguments follows.
  std::string ini;
  Strings args;        // the launcher's arguments; NEWTMP: a folder not yet made
  const char* tmp;     // TMP for both runs; null keeps the fixture's folder
  bool argument_file;  // the check's prediction and the launcher's deed
  Strings in_file;     // lines of the launcher's argument file (or the refusal)
  Strings not_in_file;
};

std::ostream& operator<<(std::ostream& out, const LongLineCase& c) { return out << c.label; }

class LongLineAgreement : public LauncherTest,
                          public ::testing::WithParamInterface<LongLineCase> {};

TEST_P(LongLineAgreement, TheCheckAgreesWithTheLauncherOnLongLines) {
  const LongLineCase& c = GetParam();
  const std::string jdk = MakeJavaHome(dir_ / "jdk", "21", BuiltProgram("arg_probe"));
  ScopedEnv java_home("JAVA_HOME", jdk);
  // A bundled runtime whose program cannot start: empty, and not executable.
  const std::string bad = MakeJavaHome(Join(app_dir_, "jre"), "21");
  for (bool windowed : {false, true}) {
    const std::string program = kb::JavaProgramIn(bad, windowed);
    std::filesystem::remove(program);
    WriteFile(program, "");
  }
  WriteFile(Join(app_dir_, "opts.txt"), "-Dfrom.file=yes\n# a comment\n-Dsecond=\"two words\"");
  WriteFile(Join(app_dir_, "after.txt"), "-Dnever.read=1\n");
  MakeDirs(Join(app_dir_, "reltmp"));
  std::string ini = "[default]\n" + kb::ReplaceAll(c.ini, "PROGRAM", kb::JavaProgramIn(jdk, false));
  for (int i = 1; i <= 9; ++i) {
    ini += "AddtlArgs_" + std::to_string(i) + "=a" + std::string(4000, 'x') + "\n";
  }
  ini += "AddtlArgs_10=@after.txt\n";
  Install();
  WriteIni(ini);
  const std::string new_tmp = Join(Join(dir_ / "tmp", "new"), "deeper");
  Strings args = c.args;
  for (std::string& a : args) a = kb::ReplaceAll(a, "NEWTMP", new_tmp);
  std::unique_ptr<ScopedEnv> tmp;
  if (c.tmp != nullptr) tmp = std::make_unique<ScopedEnv>("TMP", c.tmp);
  // Both run from the application folder, where a relative TMP would lie.
  ScopedCwd cwd(app_dir_);

  const RunResult checked =
      kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) + " --json " +
                  kb::QuoteArgument(Join(app_dir_, "tool.ini")) + " -- " + kb::JoinArguments(args));
  ASSERT_TRUE(checked.started);
  const std::string runner = c.argument_file ? "relayed" : "refused";
  EXPECT_NE(checked.output.find("\"runner\": \"" + runner + "\""), std::string::npos)
      << checked.output.substr(0, 3000);
  EXPECT_NE(checked.output.find(std::string("\"argument_file\": ") +
                                (c.argument_file ? "true" : "false")),
            std::string::npos);
  bool found = false;
  const Strings predicted = JsonArgv(checked.output, &found);
  ASSERT_TRUE(found && !predicted.empty()) << checked.output.substr(0, 3000);

  const RunResult launched = Launch(kb::JoinArguments(args));
  ASSERT_TRUE(launched.started);
  if (!c.argument_file) {
    EXPECT_EQ(launched.exit_code, SeenExit(-1)) << launched.output.substr(0, 2000);
    for (const std::string& text : c.in_file) {
      EXPECT_NE(LogContent().find(text), std::string::npos) << text;
      EXPECT_NE(checked.output.find(kb::ReplaceAll(text, "\"", "\\\"")), std::string::npos)
          << text << "\n"
          << checked.output.substr(0, 3000);
    }
    return;
  }
  EXPECT_EQ(launched.exit_code, 0) << launched.output.substr(0, 2000);
  const Strings received = ProbeArgs(launched.output);
  ASSERT_EQ(received.size(), 2u) << launched.output.substr(0, 2000);
  EXPECT_EQ(received[0], predicted[0]);
  EXPECT_TRUE(platform::SameFileName(received[0], kb::JavaProgramIn(jdk, false))) << received[0];
  const std::string file = ProbeArgFile(launched.output);
  for (const std::string& text : c.in_file) {
    EXPECT_NE(file.find(text + "\n"), std::string::npos) << text << "\n" << file.substr(0, 300);
  }
  for (const std::string& text : c.not_in_file) {
    EXPECT_EQ(file.find(text), std::string::npos) << text;
  }
  EXPECT_TRUE(ListDir(dir_ / "tmp").size() <= 1u);  // "new" of its row, no file left
}

INSTANTIATE_TEST_SUITE_P(
    Check, LongLineAgreement,
    ::testing::Values(
        LongLineCase{"a user's argument file among the Java options is written into ours",
                     "launchercmd=PROGRAM\nJavaArgs_1=@opts.txt\nMainClass=app.Main\n",
                     {},
                     nullptr,
                     true,
                     {"-Dfrom.file=yes\n# a comment\n-Dsecond=\"two words\"", "\"app.Main\"",
                      "\"@after.txt\""},
                     {"\"@opts.txt\"", "never.read"}},
        LongLineCase{"a runtime whose program cannot start is skipped",
                     "javamin=17\njavasearch=bundled:jre;env:JAVA_HOME\nMainClass=app.Main\n",
                     {},
                     nullptr,
                     true,
                     {"\"app.Main\""},
                     {}},
        LongLineCase{"a temporary location not made yet is created",
                     "launchercmd=PROGRAM\nMainClass=app.Main\n",
                     {"-templocation", "NEWTMP"},
                     nullptr,
                     true,
                     {"\"app.Main\""},
                     {}},
        LongLineCase{"a relative TMP is refused by name",
                     "launchercmd=PROGRAM\nMainClass=app.Main\n",
                     {},
                     "reltmp",
                     false,
                     {"\"reltmp\" cannot be used: it is not an absolute path"},
                     {}}));

struct BadInput {
  const char* label;
  std::string args;     // after the program; FILE is a configuration that exists
  std::string message;  // part of what the check says; "" when it cannot say
  bool output_lost = false;  // its standard output and error take nothing
};

TEST_F(LauncherTest, CheckSaysItsVersion) {
  const RunResult r = kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) + " --version");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  // One line (CR LF on Windows, as the check's text is written there).
  EXPECT_EQ(kb::ReplaceAll(r.output, "\r\n", "\n"),
            std::string("launcher_check ") + KB_PROJECT_VERSION + "\n");
}

// The kind and version come from the program, not its name: a console tool
// is called "tally" on Linux, and a windowed copy may carry any name.
TEST_F(LauncherTest, CheckReadsTheLaunchersKindAndVersionFromTheProgram) {
  WriteIni("[default]\nlaunchercmd=x\nstdin=inherit\n");
  struct Case {
    const char* name;
    const char* program;  // "" for none: the name decides
    int kind;
    const char* kind_from;
  };
  const Case cases[] = {
      {"tally", "launcher_console", 200, "program"},
      {"tallyw", "launcher", 100, "program"},
      {"misnamed_console", "launcher", 100, "program"},
      {"absent_console", "", 200, "name"},
      {"absent", "", 100, "name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        *c.program != '\0' ? Install(c.name, c.program) : Join(app_dir_, c.name);
    const RunResult r = kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_check")) +
                                    " --json --launcher " + kb::QuoteArgument(path) + " " +
                                    kb::QuoteArgument(Join(app_dir_, "tool.ini")));
    ASSERT_LE(r.exit_code, 2) << r.output;
    const std::string version =
        *c.program != '\0' ? "\"" + std::string(KB_PROJECT_VERSION) + "\"" : std::string("null");
    EXPECT_NE(r.output.find("\"kind\": " + std::to_string(c.kind) + ", \"kind_from\": \"" +
                            c.kind_from + "\", \"version\": " + version + ","),
              std::string::npos)
        << r.output;
    // stdin=inherit has an effect for a console launcher alone.
    EXPECT_EQ(r.output.find("stdin-no-effect") == std::string::npos, c.kind == 200) << r.output;
  }
}

TEST_F(LauncherTest, CheckRefusesBadInputWithItsUsageCode) {
  WriteIni("[default]\nlaunchercmd=x\n");
  const std::string file = kb::QuoteArgument(Join(app_dir_, "tool.ini"));
  const BadInput cases[] = {
      {"missing file", kb::QuoteArgument(Join(app_dir_, "none.ini")), "no such file"},
      {"a folder", kb::QuoteArgument(app_dir_), "a folder"},
      {"unknown platform", "--platform x64 FILE", "unknown platform"},
      {"no file", "--json", "no configuration file"},
      {"unknown option", "--verbose FILE", "unknown option"},
      {"two files", "FILE FILE", "one configuration file"},
      {"a report that could not be written", "--json FILE", "", true},
  };
  for (const BadInput& c : cases) {
    const std::string line = kb::QuoteArgument(BuiltProgram("launcher_check")) + " " +
                             kb::ReplaceAll(c.args, "FILE", file);
    if (c.output_lost) {
      EXPECT_EQ(RunWithUnwritableOutput(line), 3) << c.label;
      continue;
    }
    const RunResult r = kbtest::Run(line);
    ASSERT_TRUE(r.started) << c.label;
    EXPECT_EQ(r.exit_code, 3) << c.label << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.label << "\n" << r.output;
  }
}

}  // namespace
}  // namespace kbtest
