// The line-end translator against the byte-by-byte reference, on its vector
// path and its portable path, for every pair of cuts of each input.
#include "log/line_end_translator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "support/test_support.h"

namespace {

using kbtest::LogForm;

// Line ends split over reads: the state must carry over between chunks,
// and a chunk's untouched head must end exactly at its first bare line feed.
TEST(LineEndTranslatorTest, KeepsChildCrLfAcrossChunkBoundaries) {
  // The long input puts line feeds on both sides of 8- and 16-byte
  // boundaries, among bytes that differ from a line feed in one bit.
  std::string long_input(70, 'x');
  for (const std::size_t at : {7, 8, 15, 16, 17, 31, 32, 33, 63, 69}) long_input[at] = '\n';
  long_input[46] = '\r';
  long_input[47] = '\n';
  long_input[20] = '\x0b';
  long_input[21] = '\x8a';
  long_input[22] = '\x0e';
  const std::string inputs[] = {"a\r\nb\nc\rd\r\r\n\n", "\r\n\r\n", "\n\n\r", "x\r", "\r",
                                "ab\r\ncd\r\n",         long_input};
  // Stores the input cut into three chunks, heads copied below the limit.
  const auto stored_form = [](kb::LineFeedScan scan, const std::string& input, std::size_t cut1,
                              std::size_t cut2, std::size_t copy_head_below) {
    kb::LineEndTranslator translator(scan);
    char out[160];
    std::string stored;
    for (const std::string& chunk :
         {input.substr(0, cut1), input.substr(cut1, cut2 - cut1), input.substr(cut2)}) {
      std::size_t rest = 0;
      const std::size_t head =
          translator.Split(chunk.data(), chunk.size(), out, &rest, copy_head_below);
      stored += chunk.substr(0, head);
      stored.append(out, rest);
    }
    return stored;
  };
  for (const bool portable : {false, true}) {
    const kb::LineFeedScan scan =
        portable ? kb::LineFeedScan::kPortable : kb::LineFeedScan::kFastest;
    for (const std::string& input : inputs) {
      for (std::size_t cut1 = 0; cut1 <= input.size(); ++cut1) {
        for (std::size_t cut2 = cut1; cut2 <= input.size(); ++cut2) {
          for (const std::size_t copy_head_below : {std::size_t{0}, std::size_t{3}}) {
            ASSERT_EQ(stored_form(scan, input, cut1, cut2, copy_head_below), LogForm(input))
                << "cuts at " << cut1 << ", " << cut2 << ", heads copied below " << copy_head_below
                << (portable ? ", portable scan" : "");
          }
        }
      }
    }
  }
}

}  // namespace
