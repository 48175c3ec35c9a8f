// The log side of the output relay: the child's output stored as raw text,
// chunk by chunk, with no time stamp, level or line end of our own.
//
// Line ends are stored as the log stores them everywhere: a bare line feed
// becomes carriage return plus line feed; a carriage return plus line feed
// the child wrote itself (also when split across chunks) stays as it is.
//
// The file stays open from the first chunk to the end of the relay, but
// each chunk is one unbuffered append made before LogText returns, so other
// launchers sharing the file still append whole pieces and a reader sees
// every chunk at once. A chunk that cannot be stored is dropped; the next
// one opens the file again. With logging off nothing is written.
#pragma once

#include <cstddef>

#include "log/line_end_translator.h"
#include "platform/append_file.h"

namespace kb {

class RelayLog {
 public:
  // Largest chunk LogText takes in one call.
  static constexpr std::size_t kMaxChunk = 64 * 1024;

  RelayLog() = default;
  RelayLog(const RelayLog&) = delete;
  RelayLog& operator=(const RelayLog&) = delete;

  // Appends one relayed chunk of at most kMaxChunk bytes.
  void LogText(const char* data, std::size_t size);

 private:
  LineEndTranslator translator_;
  platform::AppendFile file_;
  char translated_[LineEndTranslator::MaxOutput(kMaxChunk)];
};

}  // namespace kb
