#include "launcher/short_forms.h"

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

// A system whose code page holds Latin-1 (as 1252 holds "José") and nothing
// beyond, with a fixed set of existing paths and their short names.
class FakeOracle : public kb::PathOracle {
 public:
  std::set<std::string> existing;
  std::map<std::string, std::string> short_names;  // missing: the call fails

  char32_t FirstUnholdable(const std::string& text) const override {
    for (std::size_t i = 0; i < text.size();) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      char32_t code = length == 1 ? c : c & (0x3F >> (length - 1));
      for (int k = 1; k < length && i + k < text.size(); ++k) {
        code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
      }
      if (code > 0xFF) return code;
      i += static_cast<std::size_t>(length);
    }
    return 0;
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
    {"a property value, an option's path and an argument file",
     {"java", "-Dapp.home=C:\\日本", "-javaagent:C:\\日本\\lib\\app.jar",
      "@C:\\Temp\\kb-args-日本.txt"},
     {"java", "-Dapp.home=C:\\7A1B~1", "-javaagent:C:\\7A1B~1\\lib\\app.jar",
      "@C:\\Temp\\KB-ARG~1.TXT"},
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

}  // namespace
