// Stores relayed child output with the log's line ends: a bare line feed
// becomes carriage return plus line feed, while a carriage return plus line
// feed that the child wrote itself (even when split across two reads) and a
// lone carriage return are kept as they are.
#pragma once

#include <cstddef>

namespace kb {

class LineEndTranslator {
 public:
  // Worst case of Translate's output for `size` input bytes.
  static constexpr std::size_t MaxOutput(std::size_t size) { return size * 2; }

  // Translates one chunk into `out` (room for MaxOutput(size) bytes) and
  // returns the count written. The state carries over to the next chunk.
  std::size_t Translate(const char* data, std::size_t size, char* out);

  // True when the chunk can be stored as it is (it holds no line feed); the
  // state is then carried over as Translate would.
  bool PassThrough(const char* data, std::size_t size);

 private:
  bool after_cr_ = false;
};

}  // namespace kb
