// The Win32 seam's text conversions: what the code pages hold, and how a
// stream is written.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "platform/win32/console_text.h"
#include "platform/win32/wide.h"

namespace {

using platform::win32::StreamWrite;

TEST(TextWin32, ConsoleGetsWideTextAndEverythingElseBytes) {
  const struct {
    bool valid;
    DWORD type;
    bool console_mode;
    StreamWrite expected;
  } rows[] = {
      {true, FILE_TYPE_CHAR, true, StreamWrite::kConsoleWide},
      {true, FILE_TYPE_CHAR, false, StreamWrite::kCodePageBytes},  // the NUL device
      {true, FILE_TYPE_PIPE, false, StreamWrite::kCodePageBytes},
      {true, FILE_TYPE_DISK, false, StreamWrite::kCodePageBytes},
      {true, FILE_TYPE_UNKNOWN, false, StreamWrite::kCodePageBytes},
      {false, FILE_TYPE_UNKNOWN, false, StreamWrite::kNone},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(platform::win32::ChooseStreamWrite(row.valid, row.type, row.console_mode),
              row.expected)
        << row.valid << " " << row.type << " " << row.console_mode;
  }
}

TEST(TextWin32, CodePagesHoldExactlyOrWriteQuestionMarks) {
  const struct {
    UINT page;
    const wchar_t* text;
    const char* bytes;
    bool exact;
  } rows[] = {
      {1252, L"Jos\u00e9 \u20ac", "Jos\xe9 \x80", true},
      {1252, L"\u65e5\u672c", "??", false},
      // No best-fit look-alikes: "Ελλάδα" is not "????da".
      {1252, L"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1", "??????", false},
      // A surrogate pair is one character.
      {1252, L"a\U0001F600b", "a?b", false},
      {437, L"\u00fcber",
       "\x81"
       "ber",
       true},
      {437, L"run\u20ac", "run?", false},
      // UTF-8 (an OEM page of 65001 among them) holds everything, and takes
      // neither flags nor a default character.
      {CP_UTF8, L"\u65e5\U0001F600", "\xe6\x97\xa5\xf0\x9f\x98\x80", true},
  };
  for (const auto& row : rows) {
    bool exact = !row.exact;
    EXPECT_EQ(platform::win32::ToCodePage(row.page, row.text, &exact), row.bytes) << row.page;
    EXPECT_EQ(exact, row.exact) << row.page << " " << row.bytes;
    const char32_t first = platform::win32::FirstUnholdable(row.page, row.text);
    EXPECT_EQ(first == 0, row.exact) << row.page << " " << row.bytes;
  }
  EXPECT_EQ(platform::win32::FirstUnholdable(1252, L"a\U0001F600b"), U'\U0001F600');
  EXPECT_EQ(platform::CodePointName(0x65E5), "U+65E5");
  EXPECT_EQ(platform::CodePointName(0x1F600), "U+1F600");
}

// Every UTF-16 unit survives the trip through the launcher's UTF-8, a lone
// surrogate (an NTFS name may hold one) included; invalid bytes still
// become U+FFFD.
TEST(TextWin32, EveryUnitComesBackExactly) {
  const std::wstring rows[] = {
      std::wstring(L"a\xD800"
                   L"b"),
      std::wstring(L"\xDC00"),
      std::wstring(L"x\xDBFF"),
      std::wstring(L"\xDC00\xD800"),  // reversed: two lone halves, not a pair
      std::wstring(L"\U0001F600 \u65e5"),
  };
  for (const std::wstring& row : rows) {
    const std::string utf8 = platform::win32::Utf8(row);
    EXPECT_EQ(platform::win32::Wide(utf8), row) << utf8;
  }
  EXPECT_EQ(platform::win32::Utf8(std::wstring(L"a\xD800"
                                               L"b")),
            "a\xED\xA0\x80"
            "b");
  EXPECT_EQ(platform::win32::Wide("a\xFF"
                                  "b\xED\xA0"),
            std::wstring(L"a\xFFFD"
                         L"b\xFFFD\xFFFD"));
  // A program reading the ANSI code page gets "?", with the warning's unit.
  EXPECT_EQ(platform::ToSystemText("a\xED\xA0\x80"
                                   "b"),
            "a?b");
  EXPECT_EQ(platform::FirstUnholdable("a\xED\xA0\x80"
                                      "b"),
            0xD800u);
  EXPECT_EQ(platform::UnicodeArgumentBytes("a\xED\xA0\x80"), std::string("a\0\x00\xD8", 4));
}

// Console writes go in pieces, and a piece never ends inside a pair.
TEST(TextWin32, ConsolePiecesEndAtPairBoundaries) {
  const std::wstring pair = L"\U0001F600";
  const struct {
    std::wstring text;
    std::size_t done;
    std::size_t piece;
  } rows[] = {
      {std::wstring(8191, L'a') + pair, 0, 8191},  // the pair goes whole into the next
      {std::wstring(8190, L'a') + pair, 0, 8192},  // it fits
      {std::wstring(8191, L'a') + pair, 8191, 2},
      {std::wstring(100, L'a'), 0, 100},
      {L"\xD800", 0, 1},  // a lone half at the end is written
  };
  for (const auto& row : rows) {
    EXPECT_EQ(platform::win32::ConsolePiece(row.text, row.done, 8192), row.piece)
        << row.text.size() << " from " << row.done;
  }
}

}  // namespace
