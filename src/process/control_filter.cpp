#include "process/control_filter.h"

#include <cstring>

namespace kb {
namespace {

constexpr unsigned char kEsc = 0x1b;
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kSub = 0x1a;

// Control characters that change what a line shows in a way the log can
// keep as text.
bool KeptControl(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\b'; }

bool Intermediate(unsigned char c) { return c >= 0x20 && c <= 0x2f; }

}  // namespace

std::size_t ControlFilter::Filter(const char* data, std::size_t size, char* out) {
  std::size_t written = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (state_ == State::kText) {
      // Most output is plain text: copy its runs in one go.
      std::size_t end = i;
      while (end < size && static_cast<unsigned char>(data[end]) >= 0x20 &&
             static_cast<unsigned char>(data[end]) != 0x7f) {
        ++end;
      }
      if (end > i) {
        if (out + written != data + i) std::memmove(out + written, data + i, end - i);
        written += end - i;
        i = end - 1;
        continue;
      }
    }
    switch (state_) {
      case State::kText:
        if (c == kEsc) {
          state_ = State::kEscape;
        } else if (c >= 0x20 ? c != 0x7f : KeptControl(c)) {
          out[written++] = static_cast<char>(c);
        }
        break;
      case State::kEscape:
        if (c == '[') {
          state_ = State::kCsi;
        } else if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') {
          state_ = State::kString;
        } else if (c == kEsc) {
          // ESC ESC: the first is dropped, the second starts anew.
        } else if (c == kCan || c == kSub || (c >= 0x30 && c <= 0x7e)) {
          state_ = State::kText;  // a final byte, or an abort
        } else if (!Intermediate(c) && c >= 0x20) {
          state_ = State::kText;  // DEL or a byte no sequence holds: dropped with it
        }
        // Intermediates and other control characters leave the sequence open.
        break;
      case State::kCsi:
        if (c == kEsc) {
          state_ = State::kEscape;
        } else if (c == kCan || c == kSub || (c >= 0x40 && c <= 0x7e)) {
          state_ = State::kText;
        }
        // Parameters, intermediates and embedded controls stay inside.
        break;
      case State::kString:
        if (c == kBel || c == kCan || c == kSub) {
          state_ = State::kText;
        } else if (c == kEsc) {
          state_ = State::kStringEscape;
        }
        break;
      case State::kStringEscape:
        // ESC \ is the string terminator; any other ESC ends the string and
        // starts a sequence of its own.
        if (c == '\\') {
          state_ = State::kText;
        } else {
          state_ = State::kEscape;
          --i;  // read this byte again as the escape's first
        }
        break;
    }
  }
  return written;
}

}  // namespace kb
