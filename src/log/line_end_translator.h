// Stores relayed child output with the log's line ends: a bare line feed
// becomes carriage return plus line feed, while a carriage return plus line
// feed that the child wrote itself (even when split across two chunks) and
// a lone carriage return are kept as they are.
#pragma once

#include <cstddef>

namespace kb {

// How line feeds are found: with vector instructions where the processor
// has them, or by the portable scan that every processor runs.
enum class LineFeedScan { kFastest, kPortable };

class LineEndTranslator {
 public:
  explicit LineEndTranslator(LineFeedScan scan = LineFeedScan::kFastest)
      : portable_(scan == LineFeedScan::kPortable) {}

  // Worst case of the translated rest for `size` input bytes.
  static constexpr std::size_t MaxOutput(std::size_t size) { return size * 2; }

  // Splits one chunk for storing: everything before its first bare line
  // feed is stored as it is, so only the rest is copied. Returns the length
  // of that untouched head; writes the translated rest to `out` (room for
  // MaxOutput(size) bytes) and its length to *rest_size. A head shorter
  // than copy_head_below is copied to `out` as well (the result is then 0),
  // so that a short head costs a copy instead of a second piece to write.
  // The state carries over to the next chunk.
  std::size_t Split(const char* data, std::size_t size, char* out, std::size_t* rest_size,
                    std::size_t copy_head_below = 0);

 private:
  std::size_t Translate(const char* data, std::size_t size, char* out);

  bool portable_ = false;
  bool after_cr_ = false;
};

}  // namespace kb
