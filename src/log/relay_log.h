// The log side of the output relay: the child's output stored as raw text,
// chunk by chunk, with no time stamp or level of our own.
//
// Line ends are stored as the log stores them everywhere: a bare line feed
// becomes carriage return plus line feed; a carriage return plus line feed
// the child wrote itself (also when split across chunks) stays as it is.
// When the relayed output does not end with a line feed, Finish adds one
// CR LF, so that the next entry's time stamp starts a line of its own.
//
// The file stays open from the first chunk to Finish, but each chunk is one
// unbuffered append made before LogText returns, so other launchers sharing
// the file still append whole pieces and a reader sees every chunk at once.
// A chunk that cannot be stored is dropped; the next one opens the file
// again. With logging off nothing is written.
//
// OutputLogging decides how much is copied: nothing with copy off; with a
// bound, the output only while the file stays within it. The chunk that
// would pass the bound is cut (never past it, counting each line feed as
// the two bytes it may become) and nothing after it is copied, so that the
// log holds a beginning of the output. Finish then logs one line with the
// number of the child's bytes left out.
#pragma once

#include <cstddef>

#include <cstdint>

#include "log/line_end_translator.h"
#include "log/log_output.h"
#include "platform/append_file.h"

namespace kb {

class RelayLog {
 public:
  // Largest chunk LogText takes in one call.
  static constexpr std::size_t kMaxChunk = 64 * 1024;
  // Heads of chunks shorter than this are stored by copy (see Split).
  static constexpr std::size_t kCopiedHead = 4096;

  RelayLog() = default;
  explicit RelayLog(const OutputLogging& logging) : logging_(logging) {}
  ~RelayLog() { Finish(); }
  RelayLog(const RelayLog&) = delete;
  RelayLog& operator=(const RelayLog&) = delete;

  // Appends one relayed chunk of at most kMaxChunk bytes.
  void LogText(const char* data, std::size_t size);
  // Ends the relayed text (see above), closes the file, and says how much
  // the bound left out. Further chunks start a new relayed text.
  void Finish();

 private:
  // How many of the chunk's first bytes fit within the bound.
  std::size_t Fitting(const char* data, std::size_t size) const;
  void Open();

  OutputLogging logging_;
  // The file's size as far as this relay knows it (its size when opened,
  // plus what was appended since).
  std::uint64_t logged_ = 0;
  // The child's bytes left out once the bound was reached.
  std::uint64_t left_out_ = 0;
  LineEndTranslator translator_;
  platform::AppendFile file_;
  bool open_line_ = false;  // the last relayed byte was not a line feed
  char translated_[LineEndTranslator::MaxOutput(kMaxChunk)];
};

}  // namespace kb
