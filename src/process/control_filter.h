// Removes terminal control sequences from a child's terminal output, for
// the log: colours, cursor movement, window titles and other escape
// sequences, and the control characters a terminal acts on instead of
// showing. Printable text, UTF-8 included, tab, carriage return, line feed
// and backspace stay.
//
// A sequence cut across chunks is removed as a whole: the filter keeps only
// a state between calls, never the bytes seen, so its memory does not grow
// with the output (an endless or unterminated sequence costs nothing).
//
// Recognised: ESC followed by intermediate bytes and a final byte (ESC c,
// ESC ( B); CSI (ESC [ parameters, intermediates, final byte); OSC, DCS,
// SOS, PM and APC strings (ESC ] / P / X / ^ / _), ended by BEL or by ST
// (ESC \). CAN and SUB abort a sequence, as a terminal does.
#pragma once

#include <cstddef>

namespace kb {

class ControlFilter {
 public:
  // Filters size bytes of `data` into `out` (room for size bytes; it may be
  // `data` itself) and returns how many were written. The state carries
  // over to the next chunk.
  std::size_t Filter(const char* data, std::size_t size, char* out);

 private:
  enum class State { kText, kEscape, kCsi, kString, kStringEscape };
  State state_ = State::kText;
};

}  // namespace kb
