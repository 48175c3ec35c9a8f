#include "java/short_forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "platform/java_places.h"
#include "platform/text.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

// The code points of UTF-8 text, each with its bytes.
std::vector<std::pair<char32_t, std::string>> CodePoints(const std::string& text) {
  std::vector<std::pair<char32_t, std::string>> out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? c : c & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    out.emplace_back(code, text.substr(i, static_cast<std::size_t>(length)));
    i += static_cast<std::size_t>(length);
  }
  return out;
}

// "表" (U+8868) as a double-byte page writes it: lead byte 0x95, second
// byte 0x5C, the byte of a backslash.
constexpr char32_t kTwoByte = 0x8868;
const char kTwoByteBytes[] = "\x95\x5C";

// A system whose code page holds Latin-1 (as 1252 holds "José") and one
// two-byte character, and nothing beyond, with a fixed set of existing
// paths and their short names.
class FakeOracle : public kb::PathOracle {
 public:
  std::set<std::string> existing;
  std::map<std::string, std::string> short_names;  // missing: the call fails

  char32_t FirstUnholdable(const std::string& text) const override {
    for (const auto& point : CodePoints(text)) {
      if (point.first > 0xFF && point.first != kTwoByte) return point.first;
    }
    return 0;
  }
  std::string ToCodePage(const std::string& text) const override {
    std::string out;
    for (const auto& point : CodePoints(text)) {
      if (point.first == kTwoByte) {
        out += kTwoByteBytes;
      } else {
        out += point.first > 0xFF ? '?' : static_cast<char>(point.first);
      }
    }
    return out;
  }
  std::string FromCodePage(const std::string& bytes) const override {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      if (c == 0x95 && i + 1 < bytes.size()) {
        out += "表";
        ++i;
      } else if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  }
  kb::LeadBytes CodePageLeadBytes() const override {
    kb::LeadBytes lead;
    lead.Add(0x95);
    return lead;
  }
  bool Exists(const std::string& path) const override { return existing.count(path) != 0; }
  int ShortForm(const std::string& path, std::string* short_form) const override {
    const auto it = short_names.find(path);
    if (it == short_names.end()) return 2;
    *short_form = it->second;
    return 0;
  }
};

FakeOracle SampleSystem() {
  FakeOracle oracle;
  const std::map<std::string, std::string> known = {
      {"C:\\日本\\jre\\bin\\java.exe", "C:\\7A1B~1\\jre\\bin\\java.exe"},
      {"C:\\日本\\lib\\app.jar", "C:\\7A1B~1\\lib\\app.jar"},
      {"C:\\日本", "C:\\7A1B~1"},
      {"C:\\Users\\Ελλάδα\\data.txt", "C:\\Users\\0C3F~1\\data.txt"},
      {"C:\\Temp\\kb-args-日本.txt", "C:\\Temp\\KB-ARG~1.TXT"},
      // A volume without short names answers the long name.
      {"D:\\日本\\nolong.jar", "D:\\日本\\nolong.jar"},
  };
  for (const auto& entry : known) {
    oracle.existing.insert(entry.first);
    oracle.short_names.insert(entry);
  }
  oracle.existing.insert("C:\\José\\app.jar");
  oracle.existing.insert("D:\\日本\\no-short-name");  // the call fails
  return oracle;
}

struct PlaceCase {
  const char* name;
  std::vector<std::string> arguments;
  std::vector<std::string> placed;
  std::vector<std::string> no_short_name;
  std::vector<std::string> unholdable;  // "argument|U+XXXX"
};

const PlaceCase kPlaceCases[] = {
    {"a line the code page holds stays as it is",
     {"C:\\José\\jre\\bin\\java.exe", "-cp", "C:\\José\\app.jar", "Main", "é"},
     {"C:\\José\\jre\\bin\\java.exe", "-cp", "C:\\José\\app.jar", "Main", "é"},
     {},
     {}},
    {"the program, a class-path entry and a passed-through file in short form",
     {"C:\\日本\\jre\\bin\\java.exe", "-cp", "C:\\日本\\lib\\app.jar;C:\\José\\app.jar", "Main",
      "C:\\Users\\Ελλάδα\\data.txt"},
     {"C:\\7A1B~1\\jre\\bin\\java.exe", "-cp", "C:\\7A1B~1\\lib\\app.jar;C:\\José\\app.jar", "Main",
      "C:\\Users\\0C3F~1\\data.txt"},
     {},
     {}},
    {"a property value, an option's path with and without options, an argument file",
     {"java", "-Dapp.home=C:\\日本", "-javaagent:C:\\日本\\lib\\app.jar",
      "-javaagent:C:\\日本\\lib\\app.jar=verbose", "@C:\\Temp\\kb-args-日本.txt"},
     {"java", "-Dapp.home=C:\\7A1B~1", "-javaagent:C:\\7A1B~1\\lib\\app.jar",
      "-javaagent:C:\\7A1B~1\\lib\\app.jar=verbose", "@C:\\Temp\\KB-ARG~1.TXT"},
     {},
     {}},
    {"other arguments pass as they are, naming their first character",
     {"java", "file-日本.txt", "Ελλάδα", "-Dname=C:\\日本\\missing", "x😀"},
     {"java", "file-日本.txt", "Ελλάδα", "-Dname=C:\\日本\\missing", "x😀"},
     {},
     {"file-日本.txt|U+65E5", "Ελλάδα|U+0395", "-Dname=C:\\日本\\missing|U+65E5", "x😀|U+1F600"}},
    {"a volume without short names: one warning per path, the path unchanged",
     {"java", "-cp", "D:\\日本\\nolong.jar", "D:\\日本\\no-short-name"},
     {"java", "-cp", "D:\\日本\\nolong.jar", "D:\\日本\\no-short-name"},
     {"D:\\日本\\nolong.jar", "D:\\日本\\no-short-name"},
     {}},
};

TEST(ShortFormsTest, PathsTheCodePageCannotHoldAreGivenInShortForm) {
  const FakeOracle oracle = SampleSystem();
  for (const PlaceCase& c : kPlaceCases) {
    SCOPED_TRACE(c.name);
    kb::ShortForms notes;
    EXPECT_EQ(kb::PlaceShortForms(c.arguments, oracle, &notes), c.placed);
    EXPECT_EQ(notes.no_short_name, c.no_short_name);
    std::vector<std::string> unholdable;
    for (const kb::ShortForms::Unholdable& u : notes.unholdable) {
      unholdable.push_back(u.argument + "|" + platform::CodePointName(u.code_point));
    }
    EXPECT_EQ(unholdable, c.unholdable);
    for (const kb::ShortForms::Change& change : notes.changes) {
      EXPECT_NE(c.placed.end(), std::find_if(c.placed.begin(), c.placed.end(),
                                             [&](const std::string& a) {
                                               return a.find(change.short_form) !=
                                                      std::string::npos;
                                             }))
          << change.original;
    }
  }
}

// When: only a Java runtime's line changes; another program receives the
// original text.
TEST(ShortFormsTest, OnlyAJavaRuntimesLineChanges) {
  kbtest::ScratchDir dir;
  const std::string home = kbtest::MakeJavaHome(dir / "jre", "17");
  const std::string java =
      kbtest::Join(kbtest::Join(home, "bin"), platform::JavaProgramName(false));
  const std::string tool = dir / "tool";
  kbtest::WriteFile(tool, "");
  FakeOracle oracle = SampleSystem();
  const struct {
    std::string program;
    bool changes;
  } rows[] = {{java, true}, {tool, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.program);
    const std::string line = "\"" + row.program + "\" -cp C:\\日本\\lib\\app.jar Main";
    const kb::PlacedLine placed = kb::PlaceShortFormsInLine(line, oracle);
    EXPECT_EQ(placed.changed, row.changes);
    const std::vector<std::string> argv = kb::SplitCommandLine(placed.line);
    ASSERT_EQ(argv.size(), 4u);
    EXPECT_EQ(argv[2], row.changes ? "C:\\7A1B~1\\lib\\app.jar" : "C:\\日本\\lib\\app.jar");
  }
}

// What the system hands a program that reads the code page when a line is
// passed to it as text: its best-fit conversion, which writes look-alikes
// of the page for the characters it cannot hold.
std::string BestFit(const FakeOracle& page, const std::string& line) {
  static const std::map<char32_t, char> kLookAlikes = {
      {0xFF02, '"'}, {0xFF3C, '\\'}, {0x3000, ' '}, {0x2002, ' '}, {0x2003, ' '},
      {0x2010, '-'}, {0x2011, '-'},  {0x2212, '-'}, {0xFF0D, '-'}, {0xFF0F, '/'},
      {0x2215, '/'}, {0xFF1A, ':'},  {0xFF20, '@'}, {0x02BC, '\''}};
  std::string out;
  for (const auto& point : CodePoints(line)) {
    const auto it = kLookAlikes.find(point.first);
    out += it != kLookAlikes.end() ? std::string(1, it->second) : page.ToCodePage(point.second);
  }
  return out;
}

// A Java runtime receives each argument whole, look-alikes of quotes,
// backslashes and blanks included: "?" where the page holds no character,
// never a look-alike that splits or joins arguments.
TEST(ShortFormsTest, AJavaRuntimeSplitsItsLineAsTheLauncherDid) {
  kbtest::ScratchDir dir;
  const std::string home = kbtest::MakeJavaHome(dir / "jre", "17");
  const std::string java =
      kbtest::Join(kbtest::Join(home, "bin"), platform::JavaProgramName(false));
  const FakeOracle oracle = SampleSystem();
  const struct {
    const char* name;
    std::vector<std::string> arguments;  // as the launcher means them
    std::vector<std::string> received;   // as the runtime splits them
    std::vector<bool> bare_wildcards;
  } rows[] = {
      {"a look-alike quote cannot close or open quotes",
       {"x＂ -Dinjected=1 ＂y", "\"＂"},
       {"x? -Dinjected=1 ?y", "\"?"},
       {false, false}},
      {"look-alike blanks cannot split",
       {"a　-Dinjected=2", "a\u2002b\u2003c"},
       {"a?-Dinjected=2", "a?b?c"},
       {false, false}},
      {"a look-alike backslash cannot swallow the next argument",
       {"a b＼", "c"},
       {"a b?", "c"},
       {false, false}},
      {"dashes, slashes, colons, at signs, apostrophes",
       {"\u2010\u2011\u2212\uFF0DD=1", "\uFF0F\u2215x", "\uFF20file", "a\uFF1Ab\u02BC"},
       {"????D=1", "??x", "?file", "a?b?"},
       {false, false, false, false}},
      {"a two-byte character ending in 0x5C beside a quote, a blank and the closing quote",
       {"表\"日", "日 表"},
       {"表\"?", "? 表"},
       {false, false}},
      {"a '?' put in is quoted, a user's own bare wildcard is not",
       {"nonexist日本", "*.txt", "日*.txt"},
       {"nonexist??", "*.txt", "?*.txt"},
       {false, true, false}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string line =
        "\"" + java + "\" -cp C:\\日本\\lib\\app.jar Main " + kb::JoinArguments(row.arguments);
    const kb::PlacedLine placed = kb::PlaceShortFormsInLine(line, oracle);
    EXPECT_TRUE(placed.changed);
    // The line as text: what the launcher logs and the check shows.
    const std::vector<std::string> as_text = kb::SplitCommandLine(placed.line);
    ASSERT_EQ(as_text.size(), 4 + row.received.size()) << placed.line;
    EXPECT_EQ(as_text[2], "C:\\7A1B~1\\lib\\app.jar");
    EXPECT_EQ(std::vector<std::string>(as_text.begin() + 4, as_text.end()), row.received);
    // The line as the runtime reads it.
    const std::vector<kb::LineArgument> split =
        kb::SplitCommandLine(BestFit(oracle, placed.line), oracle.CodePageLeadBytes());
    ASSERT_EQ(split.size(), as_text.size()) << placed.line;
    for (std::size_t i = 4; i < split.size(); ++i) {
      EXPECT_EQ(oracle.FromCodePage(split[i].text), row.received[i - 4]);
      EXPECT_EQ(split[i].bare_wildcard, row.bare_wildcards[i - 4]) << split[i].text;
    }
  }
}

// A wildcard the configuration quoted stays quoted when the line is built
// again in the code page.
TEST(ShortFormsTest, AQuotedWildcardStaysQuoted) {
  const FakeOracle oracle = SampleSystem();
  const std::vector<kb::LineArgument> source =
      kb::SplitCommandLine("java \"*.txt\" *.log 日", kb::LeadBytes());
  const std::string line = kb::CodePageLine(source, {"java", "*.txt", "*.log", "日"}, oracle);
  EXPECT_EQ(line, "\"java\" \"*.txt\" *.log \"?\"");
}

}  // namespace
