// The pure INI reader against the answers the Windows profile service gives
// for the same bytes (the same cases run through the real service in the
// Windows build's differential test).
#include "platform/profile_reader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using platform::ProfileReader;

struct LookupCase {
  const char* label;
  std::string file;
  std::string section;
  std::string key;
  std::size_t size;
  unsigned long count;
  std::string value;
};
std::ostream& operator<<(std::ostream& out, const LookupCase& c) { return out << c.label; }

class ProfileLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookupTest, AnswersLikeTheProfileService) {
  const LookupCase& c = GetParam();
  const ProfileReader reader(c.file);
  std::string value = "stale";
  EXPECT_EQ(reader.ReadString(c.section, c.key, c.size, &value), c.count) << c.label;
  EXPECT_EQ(value, c.value) << c.label;
}

const std::string kPlain = "[s]\r\nk=v\r\n";

// The bytes of a UTF-16 file, little- or big-endian, with or without mark.
std::string Utf16(const std::u16string& text, bool little_endian, bool mark) {
  std::string out;
  const std::u16string all = mark ? u"\uFEFF" + text : text;
  for (const char16_t unit : all) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    out += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Reader, ProfileLookupTest,
    ::testing::Values(
        LookupCase{"plain", kPlain, "s", "k", 4096, 1, "v"},
        LookupCase{"section case", kPlain, "S", "K", 4096, 1, "v"},
        LookupCase{"caller blanks trimmed", kPlain, " s ", "\tk ", 4096, 1, "v"},
        LookupCase{"missing key", kPlain, "s", "x", 4096, 0, ""},
        LookupCase{"missing section", kPlain, "t", "k", 4096, 0, ""},
        LookupCase{"blanks around", "  [ sec ]  \n  key2  =  value2  \n", "sec", "key2", 4096,
                   6, "value2"},
        LookupCase{"tabs in brackets", "[\ttabbed\t]\nk=1\n", "tabbed", "k", 4096, 1, "1"},
        LookupCase{"inner blanks significant", "[s]\nkey 27=a\n", "s", "key  27", 4096, 0, ""},
        LookupCase{"double quotes", "[s]\nk=\"  spaced quotes \"\n", "s", "k", 4096, 16,
                   "  spaced quotes "},
        LookupCase{"single quotes", "[s]\nk='x'\n", "s", "k", 4096, 1, "x"},
        LookupCase{"doubled quotes", "[s]\nk=\"\"x\"\"\n", "s", "k", 4096, 3, "\"x\""},
        LookupCase{"inner quote", "[s]\nk=\"a\"b\"\n", "s", "k", 4096, 3, "a\"b"},
        LookupCase{"empty quotes", "[s]\nk=\"\"\n", "s", "k", 4096, 0, ""},
        LookupCase{"unmatched quote", "[s]\nk=\"abc\n", "s", "k", 4096, 4, "\"abc"},
        LookupCase{"mixed quotes", "[s]\nk='x\"\n", "s", "k", 4096, 3, "'x\""},
        LookupCase{"lone quote", "[s]\nk=\"\n", "s", "k", 4096, 1, "\""},
        LookupCase{"comment key still found", "[s]\n;key16=c\n", "s", ";key16", 4096, 1, "c"},
        LookupCase{"hash is no comment", "[s]\n#key17=h\n", "s", "#key17", 4096, 1, "h"},
        LookupCase{"inline comment kept", "[s]\nk=v ; note\n", "s", "k", 4096, 8, "v ; note"},
        LookupCase{"no equals sign", "[s]\nlonely\n", "s", "lonely", 4096, 0, ""},
        LookupCase{"split at first equals", "[s]\nk = v = w\n", "s", "k", 4096, 5, "v = w"},
        LookupCase{"empty key name", "[s]\n=value\n", "s", "", 4096, 5, "value"},
        LookupCase{"first duplicate key wins", "[s]\nk=1\nK=2\n", "s", "k", 4096, 1, "1"},
        LookupCase{"later duplicate section invisible", "[s]\na=1\n[S]\nb=2\n", "s", "b", 4096,
                   0, ""},
        LookupCase{"lines before first section", "top=1\n[s]\n", "", "top", 4096, 1, "1"},
        LookupCase{"unclosed bracket is a key", "[s]\n[name\nk=1\n", "s", "k", 4096, 1, "1"},
        LookupCase{"text after bracket ignored", "[s] junk\nk=1\n", "s", "k", 4096, 1, "1"},
        LookupCase{"bytes above 127 exact", "[s]\n\xC4=1\n", "s", "\xE4", 4096, 0, ""},
        LookupCase{"CR only", "[s]\rk=v\r", "s", "k", 4096, 1, "v"},
        LookupCase{"CR CR LF", "[s]\r\r\nk=v\r\r\n", "s", "k", 4096, 1, "v"},
        LookupCase{"no final line end", "[s]\nk=last", "s", "k", 4096, 4, "last"},
        LookupCase{"cut to size - 1", "[s]\nk=abcdef\n", "s", "k", 4, 3, "abc"},
        LookupCase{"exactly size - 1", "[s]\nk=abc\n", "s", "k", 4, 3, "abc"},
        LookupCase{"size one", "[s]\nk=abc\n", "s", "k", 1, 0, ""},
        LookupCase{"size zero", "[s]\nk=abc\n", "s", "k", 0, 0, ""},
        LookupCase{"NUL ends a value", std::string("[s]\nk=ab\0cd\n", 12), "s", "k", 4096, 2,
                   "ab"},
        LookupCase{"empty file", "", "s", "k", 4096, 0, ""},
        LookupCase{"UTF-16LE with mark answers in UTF-8",
                   Utf16(u"[s]\r\nk= \u00e9\u20ac\U0001F600 \r\n", true, true), "s", "k", 4096,
                   9, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        LookupCase{"UTF-16LE names are matched in UTF-8",
                   Utf16(u"[\u00c4]\nK\u00e9=1\n", true, true), "\xC3\x84", "K\xC3\xA9", 4096, 1,
                   "1"},
        LookupCase{"UTF-16LE lone surrogate becomes a question mark",
                   Utf16(u"[s]\nk=a\xD800" u"b\n", true, true), "s", "k", 4096, 3, "a?b"},
        LookupCase{"UTF-16LE without mark is not recognised", Utf16(u"[s]\nk=v\n", true, false),
                   "s", "k", 4096, 0, ""},
        LookupCase{"UTF-16BE is not honoured", Utf16(u"[s]\nk=v\n", false, true), "s", "k",
                   4096, 0, ""},
        LookupCase{"UTF-8 mark hides a section on the first line", "\xEF\xBB\xBF[s]\nk=v\n", "s",
                   "k", 4096, 0, ""},
        LookupCase{"UTF-8 mark leaves later sections alone", "\xEF\xBB\xBF[s]\nk=v\n[t]\nk=w\n",
                   "t", "k", 4096, 1, "w"}));

TEST(ProfileReader, LongValueCutTo4095) {
  const std::string big(5000, 'x');
  const ProfileReader reader("[s]\nk=" + big + "\n");
  std::string value;
  EXPECT_EQ(reader.ReadString("s", "k", 4096, &value), 4095u);
  EXPECT_EQ(value, big.substr(0, 4095));
}

// Counting UTF-16 units, as the wide service does for a file read by its
// long-path form: a character beyond U+FFFF is two units, and a cut inside
// it keeps neither half in the text while the count still counts one.
TEST(ProfileReader, Utf16UnitsAreCountedAndCutAsTheWideServiceCounts) {
  const std::string euro = "\xE2\x82\xAC";     // U+20AC: one unit
  const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600: two units
  const ProfileReader reader("[s]\nk=" + euro + grin + "x\nq=\"" + euro + "\"\n" + grin + "=1\n",
                             platform::ProfileUnits::kUtf16);
  const struct {
    const char* key;
    std::size_t size;
    unsigned long count;
    std::string value;
  } cases[] = {
      {"k", 4096, 4, euro + grin + "x"}, {"k", 5, 4, euro + grin + "x"},
      {"k", 4, 3, euro + grin},          {"k", 3, 2, euro},  // the pair cut: its half is dropped
      {"k", 2, 1, euro},                 {"k", 1, 0, ""},
      {"q", 4096, 1, euro},              {"q", 3, 1, euro},  // quotes dropped whole
      {"q", 2, 0, ""},  // one unit short: the last real character goes
  };
  for (const auto& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(reader.ReadString("s", c.key, c.size, &value), c.count) << c.key << " " << c.size;
    EXPECT_EQ(value, c.value) << c.key << " " << c.size;
  }
  std::string names;
  // "k\0q\0" and the pair's two units and NUL: seven units.
  EXPECT_EQ(reader.ReadKeyNames("s", 9, &names), 7u);
  EXPECT_EQ(names, std::string("k\0q\0", 4) + grin + std::string(1, '\0'));
  EXPECT_EQ(reader.ReadKeyNames("s", 8, &names), 6u);
  EXPECT_EQ(names, std::string("k\0q\0", 4) + grin);
  EXPECT_EQ(reader.ReadKeyNames("s", 7, &names), 5u);
  EXPECT_EQ(names, std::string("k\0q\0", 4));  // the pair cut in two: no half
}

TEST(ProfileReader, MissingFileAnswersNothing) {
  const ProfileReader missing;
  std::string text = "stale";
  EXPECT_EQ(missing.ReadString("s", "k", 4096, &text), 0u);
  EXPECT_EQ(text, "");
  EXPECT_EQ(missing.ReadKeyNames("s", 4096, &text), 0u);
  EXPECT_EQ(text, "");
}

struct ListCase {
  const char* label;
  std::string file;
  std::size_t size;
  std::string names;  // exactly `count` bytes
};
std::ostream& operator<<(std::ostream& out, const ListCase& c) { return out << c.label; }

class ProfileKeyListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ProfileKeyListTest, ListsNamesInFileOrder) {
  const ListCase& c = GetParam();
  const ProfileReader reader(c.file);
  std::string names = "stale";
  const unsigned long count = reader.ReadKeyNames("sec", c.size, &names);
  EXPECT_EQ(count, c.names.size()) << c.label;
  EXPECT_EQ(names, c.names) << c.label;
}

const std::string kAbc = "[sec]\naaaa=1\nbbbb=2\ncccc=3\n";
using std::string_literals::operator""s;

INSTANTIATE_TEST_SUITE_P(
    Reader, ProfileKeyListTest,
    ::testing::Values(
        ListCase{"fits", kAbc, 17, "aaaa\0bbbb\0cccc\0"s},
        ListCase{"one short", kAbc, 16, "aaaa\0bbbb\0cccc"s},
        ListCase{"last name cut", kAbc, 15, "aaaa\0bbbb\0ccc"s},
        ListCase{"two names", kAbc, 11, "aaaa\0bbbb"s},
        ListCase{"size three", kAbc, 3, "a"},
        ListCase{"size two", kAbc, 2, ""},
        ListCase{"size one", kAbc, 1, ""},
        ListCase{"original case, duplicates, trimmed",
                 "[SEC]\n  Alpha = 1\nalpha=2\nBeta=\n", 4096, "Alpha\0alpha\0Beta\0"s},
        ListCase{"comments and value-less lines left out",
                 "[sec]\n;c=1\nbare\n#h=2\n[open\n", 4096, "#h\0"s},
        ListCase{"empty name listed", "[sec]\na=1\n=v\nb=2\n", 4096, "a\0\0b\0"s},
        ListCase{"second nameless key dropped", "[sec]\na=1\n=v\n=w\nb=2\n", 4096,
                 "a\0\0b\0"s},
        ListCase{"nameless first key empties the list", "[sec]\n=v\na=1\n", 4096, ""},
        ListCase{"only the first section", "[sec]\na=1\n[Sec]\nb=2\n", 4096, "a\0"s},
        ListCase{"empty section", "[sec]\n[other]\nx=1\n", 4096, ""},
        ListCase{"missing section", "[other]\nx=1\n", 4096, ""}));

}  // namespace
