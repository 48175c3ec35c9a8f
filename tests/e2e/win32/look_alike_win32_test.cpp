// Characters the ANSI code page cannot hold, whose best-fit look-alikes are
// command-line syntax (quotes, backslashes, blanks, dashes, slashes): a
// Java runtime, which splits the ANSI form of its command line, receives
// each argument whole, with "?" in their place, before and after the main
// class; a Unicode program receives every character; and the check
// predicts the very bytes the runtime splits.
//
// The runtime is the ANSI arg_probe as jre\bin\java.exe, which splits
// GetCommandLineA itself ("ARGA=" lines): under Wine, main's arguments come
// from the wide line and would hide the fault.
#include <windows.h>
#undef CopyFile

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/text.h"
#include "platform/text.h"
#include "support/e2e_support.h"

namespace {

using kbtest::Join;
using Strings = std::vector<std::string>;

Strings HexLines(const std::string& output, const std::string& label) {
  Strings out;
  for (const std::string& line : kbtest::Lines(output)) {
    if (line.compare(0, label.size(), label) != 0) continue;
    std::string value;
    for (std::size_t i = label.size(); i + 1 < line.size(); i += 2) {
      value += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    out.push_back(value);
  }
  return out;
}

// The "WILD=<index>" lines: arguments with a bare '*' or '?'.
Strings WildLines(const std::string& output) {
  Strings out;
  for (const std::string& line : kbtest::Lines(output)) {
    if (line.compare(0, 5, "WILD=") == 0) out.push_back(line.substr(5));
  }
  return out;
}

// "argv_hex" of the check's JSON, as bytes.
Strings CheckArgvBytes(const std::string& json) {
  Strings out;
  std::string::size_type i = json.find("\"argv_hex\": [");
  if (i == std::string::npos) return out;
  const std::string::size_type end = json.find(']', i);
  for (i = json.find('"', i + 12); i < end; i = json.find('"', i + 1)) {
    const std::string::size_type close = json.find('"', i + 1);
    std::string bytes;
    for (std::size_t k = i + 1; k + 1 < close; k += 2) {
      bytes += static_cast<char>(std::stoi(json.substr(k, 2), nullptr, 16));
    }
    out.push_back(bytes);
    i = close;
  }
  return out;
}

std::string Utf16File(const std::string& utf8) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  std::string out = "\xFF\xFE";
  for (wchar_t c : wide) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

struct LookAlikeRow {
  const char* name;
  const char* character;
  const char* received;  // what code page 1252 gives the runtime for it
};

// Every class of look-alike the best-fit table writes for code page 1252.
// U+00A5 is a backslash only in code page 932; 1252 holds it as itself.
const LookAlikeRow kRows[] = {
    {"FULLWIDTH QUOTATION MARK", "\uFF02", "?"},
    {"FULLWIDTH REVERSE SOLIDUS", "\uFF3C", "?"},
    {"YEN SIGN", "\u00A5", "\u00A5"},
    {"IDEOGRAPHIC SPACE", "\u3000", "?"},
    {"EN SPACE", "\u2002", "?"},
    {"EM SPACE", "\u2003", "?"},
    {"HYPHEN", "\u2010", "?"},
    {"NON-BREAKING HYPHEN", "\u2011", "?"},
    {"MINUS SIGN", "\u2212", "?"},
    {"FULLWIDTH HYPHEN-MINUS", "\uFF0D", "?"},
    {"FULLWIDTH SOLIDUS", "\uFF0F", "?"},
    {"DIVISION SLASH", "\u2215", "?"},
    {"FULLWIDTH COLON", "\uFF1A", "?"},
    {"FULLWIDTH COMMERCIAL AT", "\uFF20", "?"},
    {"MODIFIER LETTER APOSTROPHE", "\u02BC", "?"},
};

// Arguments built to split, join or add options when `c` becomes syntax.
Strings Attacks(const std::string& c) {
  return {"x" + c + " -Dinjected=1 " + c + "y",
          "a" + c + "-Dinjected=2",
          "a b" + c,
          "c",
          c + "-Dinjected=3",
          "C:" + c + "dir" + c + c};
}

Strings Replaced(const Strings& args, const std::string& c, const std::string& by) {
  Strings out;
  for (const std::string& arg : args) out.push_back(kb::ReplaceAll(arg, c, by));
  return out;
}

class LookAlike : public kbtest::LauncherTest {
 protected:
  void SetUp() override {
    if (::GetACP() != 1252) {
      GTEST_SKIP() << "the table is written for ANSI code page 1252; this Wine answers "
                   << ::GetACP();
    }
    kbtest::MakeDirs(Join(app_dir_, "jre\\bin"));
    kbtest::WriteFile(Join(app_dir_, "jre\\release"), "JAVA_VERSION=\"17\"\n");
    kbtest::CopyFile(kbtest::BuiltProgram("arg_probe"), Join(app_dir_, "jre\\bin\\java.exe"));
    kbtest::CopyFile(kbtest::BuiltProgram("wide_probe"), Join(app_dir_, "wide_probe.exe"));
    Install("acme_console");
  }

  // The configuration: the runtime found by a search (or the Unicode
  // probe), each of `before` as a JVM option, the main class, then `extra`.
  void Configure(bool java, const Strings& before, const std::string& extra = "") {
    std::string ini = "[default]\r\n";
    ini += java ? "javamin=11\r\njavasearch=bundled:jre\r\n"
                : "launchercmd=" + Join(app_dir_, "wide_probe.exe") + "\r\n";
    for (std::size_t i = 0; i < before.size(); ++i) {
      // Only the value quoted: the profile service strips quotes that
      // enclose a whole value.
      ini += "JavaArgs_" + std::to_string(i + 1) + "=-Dp" + std::to_string(i + 1) + "=" +
             kb::QuoteArgument(before[i]) + "\r\n";
    }
    ini += "Classpath=-cp app.jar\r\nMainClass=app.Main\r\n" + extra;
    WriteIni(Utf16File(ini), "acme.ini");
  }

  static Strings Expected(const Strings& before, const Strings& after) {
    Strings out;
    for (std::size_t i = 0; i < before.size(); ++i) {
      out.push_back("-Dp" + std::to_string(i + 1) + "=" + before[i]);
    }
    out.insert(out.end(), {"-cp", "app.jar", "app.Main"});
    out.insert(out.end(), after.begin(), after.end());
    return out;
  }

  // The ANSI probe's own split, its program left out, in UTF-8.
  static Strings JavaReceived(const kbtest::RunResult& r) {
    Strings out;
    const Strings raw = HexLines(r.output, "ARGA=");
    for (std::size_t i = 1; i < raw.size(); ++i) {
      out.push_back(platform::SystemTextToUtf8(raw[i]));
    }
    return out;
  }

  // The check's argv_hex equals the bytes the probe split from its line.
  void ExpectCheckPredicts(const std::string& args, const kbtest::RunResult& launched) {
    const kbtest::RunResult checked =
        kbtest::Run(kb::QuoteArgument(kbtest::BuiltProgram("launcher_check")) + " --json " +
                    kb::QuoteArgument(Join(app_dir_, "acme.ini")) + " -- " + args);
    ASSERT_TRUE(checked.started);
    Strings predicted = CheckArgvBytes(checked.output);
    Strings received = HexLines(launched.output, "ARGA=");
    ASSERT_FALSE(predicted.empty()) << checked.output;
    ASSERT_EQ(predicted.size(), received.size()) << checked.output;
    // The program's spelling is the search's; what follows must be exact.
    EXPECT_EQ(Strings(predicted.begin() + 1, predicted.end()),
              Strings(received.begin() + 1, received.end()))
        << checked.output;
  }
};

TEST_F(LookAlike, AJavaRuntimeReceivesEveryArgumentWholeWithNoLookAlike) {
  for (const LookAlikeRow& row : kRows) {
    SCOPED_TRACE(row.name);
    const Strings attacks = Attacks(row.character);
    const std::string args = kb::JoinArguments(attacks);
    const Strings expected = Replaced(attacks, row.character, row.received);

    Configure(true, attacks);
    const kbtest::RunResult r = Launch(args, "acme_console");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(JavaReceived(r), Expected(expected, expected)) << r.output;
    EXPECT_EQ(WildLines(r.output), Strings()) << r.output;
    ExpectCheckPredicts(args, r);

    // A Unicode program receives every character as it is.
    Configure(false, attacks);
    const kbtest::RunResult u = Launch(args, "acme_console");
    ASSERT_EQ(u.exit_code, 0) << u.output;
    const Strings wide = HexLines(u.output, "ARGU=");
    ASSERT_FALSE(wide.empty()) << u.output;
    EXPECT_EQ(Strings(wide.begin() + 1, wide.end()), Expected(attacks, attacks)) << u.output;
  }
}

// "?" put in for a character the page cannot hold is quoted, so that the
// runtime never expands "nonexist??" to an existing "nonexistab"; a user's
// own bare "*.txt" keeps its expansion.
TEST_F(LookAlike, AQuestionMarkPutInIsNeverAWildcard) {
  kbtest::WriteFile(Join(app_dir_, "nonexistab"), "");
  Configure(true, {});
  const std::string args = kb::JoinArguments({"nonexist\u65e5\u672c", "*.txt"});
  const kbtest::RunResult r = Launch(args, "acme_console");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(JavaReceived(r), Expected({}, {"nonexist??", "*.txt"})) << r.output;
  // Only "*.txt" (argument 5 after the program) stands bare.
  EXPECT_EQ(WildLines(r.output), Strings{"5"}) << r.output;
  ExpectCheckPredicts(args, r);
  EXPECT_NE(LogContent("acme_console")
                .find("the Java runtime receives \"nonexist??\", with \"?\" for each character"),
            std::string::npos)
      << LogContent("acme_console");
}

// A line too long to start goes through an argument file, which holds the
// same arguments in the code page.
TEST_F(LookAlike, TheArgumentFileHoldsTheSameArguments) {
  std::string long_args;
  for (char c = 'a'; c <= 'i'; ++c) {
    long_args += std::string("AddtlArgs_") + static_cast<char>('1' + (c - 'a')) + "=" +
                 std::string(3700, c) + "\r\n";
  }
  const Strings attacks = Attacks("\uFF02");
  Configure(true, {}, long_args);
  const kbtest::RunResult r = Launch(kb::JoinArguments(attacks), "acme_console");
  ASSERT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
  const Strings received = JavaReceived(r);
  ASSERT_EQ(received.size(), 1u) << r.output.substr(0, 2000);
  EXPECT_EQ(received[0].compare(0, 1, "@"), 0) << received[0];
  const Strings file = HexLines(r.output, "ARGFILE=");
  ASSERT_EQ(file.size(), 1u);
  for (const char* line : {"\"x? -Dinjected=1 ?y\"", "\"a?-Dinjected=2\"", "\"a b?\"", "\"c\""}) {
    EXPECT_NE(file[0].find(std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                         << file[0].size();
  }
}

// An unpaired surrogate (an NTFS name may hold one) reaches a Unicode
// program exactly and a Java runtime as "?" with the warning; the check's
// JSON stays valid, and its argv_hex holds what each one receives.
TEST_F(LookAlike, ALoneSurrogateReachesAUnicodeProgramExactly) {
  for (const bool java : {true, false}) {
    SCOPED_TRACE(java ? "ANSI probe as a Java runtime" : "Unicode probe");
    const std::string program = Join(app_dir_, "wide_probe.exe");
    // Written as UTF-16 units directly: no UTF-8 text carries the unit.
    std::wstring ini = L"\xFEFF[default]\r\n";
    ini += java ? L"javamin=11\r\njavasearch=bundled:jre\r\n"
                : L"launchercmd=" + std::wstring(program.begin(), program.end()) + L"\r\n";
    ini +=
        L"MainClass=app.Main\r\nAddtlArgs_1=a\xD800"
        L"b\r\n";
    std::string bytes;
    for (const wchar_t unit : ini) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    WriteIni(bytes, "acme.ini");
    RemoveLogs();
    const kbtest::RunResult r = Launch("", "acme_console");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string received =
        java ? HexLines(r.output, "ARGA=").back() : HexLines(r.output, "ARGW=").back();
    EXPECT_EQ(received, java ? std::string("a?b")
                             : std::string("a\0\0\xD8"
                                           "b\0",
                                           6));
    const std::string log = LogContent("acme_console");
    EXPECT_EQ(log.find("holds U+D800") != std::string::npos, java) << log;

    const kbtest::RunResult checked =
        kbtest::Run(kb::QuoteArgument(kbtest::BuiltProgram("launcher_check")) + " --json " +
                    kb::QuoteArgument(Join(app_dir_, "acme.ini")));
    // The argument itself (Unicode), or the warning naming it (Java).
    EXPECT_NE(checked.output.find("a\\ud800b"), std::string::npos) << checked.output;
    const Strings predicted = CheckArgvBytes(checked.output);
    ASSERT_FALSE(predicted.empty()) << checked.output;
    EXPECT_EQ(predicted.back(), received) << checked.output;
  }
}

}  // namespace
