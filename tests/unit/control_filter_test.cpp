// The log's filter of terminal control sequences: each row is fed whole,
// cut at every point into two chunks, and byte by byte; every way must give
// the same text.
#include "process/control_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FilterCase {
  const char* label;
  std::string input;
  std::string expected;
};

std::string FilterChunks(const std::vector<std::string>& chunks) {
  kb::ControlFilter filter;
  std::string result;
  for (std::string chunk : chunks) {
    // In place, as the relay filters its own buffer.
    const std::size_t n = filter.Filter(chunk.data(), chunk.size(), &chunk[0]);
    result.append(chunk.data(), n);
  }
  return result;
}

TEST(ControlFilterTest, RemovesSequencesWhereverTheChunksAreCut) {
  const std::string esc = "\x1b";
  const std::vector<FilterCase> cases = {
      {"plain text, UTF-8 and the kept controls", "a\tb\r\n\xc3\xa9\b_\n", "a\tb\r\n\xc3\xa9\b_\n"},
      {"colour (CSI with parameters)", esc + "[1;31mred" + esc + "[0m\r\n", "red\r\n"},
      {"cursor movement and erase", esc + "[2J" + esc + "[H" + esc + "[10;20Hx" + esc + "[K",
       "x"},
      {"private CSI with intermediates", esc + "[?25l" + esc + "[?1049h" + esc + "[ qok", "ok"},
      {"OSC title ended by BEL", esc + "]0;my title\x07" + "after", "after"},
      {"OSC title ended by ST", esc + "]2;t\x1b\\after", "after"},
      {"OSC hyperlink around text", esc + "]8;;http://x\x1b\\link" + esc + "]8;;\x07", "link"},
      {"DCS and APC strings", esc + "Pq#0;2;0;0;0\x1b\\" + esc + "_apc\x1b\\z", "z"},
      {"ESC with intermediate and final (charset)", esc + "(Bx" + esc + "#8" + esc + "=y", "xy"},
      {"two-byte ESC sequences", esc + "7" + esc + "8" + esc + "M" + esc + "c.", "."},
      {"ESC inside a string starts a new sequence", esc + "]0;t" + esc + "[31mX", "X"},
      {"CAN aborts a CSI; the text after it stays", esc + "[12\x18" + "ab", "ab"},
      {"ESC inside a CSI starts anew", esc + "[1" + esc + "[32mok", "ok"},
      {"BEL, NUL, DEL and other controls are dropped", std::string("a\x07\x00\x01\x7f" "b", 6), "ab"},
      {"a CSI byte of UTF-8 (0x9b) is text, not a C1 control", "\xe2\x9b\x84", "\xe2\x9b\x84"},
      {"an unterminated sequence swallows the rest", "x" + esc + "]0;" + std::string(100, 'a'),
       "x"},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(FilterChunks({c.input}), c.expected);
    for (std::size_t cut = 1; cut < c.input.size(); ++cut) {
      EXPECT_EQ(FilterChunks({c.input.substr(0, cut), c.input.substr(cut)}), c.expected) << "cut " << cut;
    }
    std::vector<std::string> bytes;
    for (const char b : c.input) bytes.emplace_back(1, b);
    EXPECT_EQ(FilterChunks(bytes), c.expected);
  }
}

}  // namespace
