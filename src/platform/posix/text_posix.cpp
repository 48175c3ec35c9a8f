#include <unistd.h>

#include <cerrno>

#include "platform/text.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] == nullptr ? "" : argv[i]);
  return arguments;
}

std::string ToSystemText(const std::string& utf8) { return utf8; }

char32_t FirstUnholdable(const std::string&) { return 0; }

kb::LeadBytes AnsiLeadBytes() { return kb::LeadBytes(); }

std::string UnicodeArgumentBytes(const std::string& utf8) { return utf8; }

std::size_t NativeLength(const std::string& utf8) { return utf8.size(); }

const char* NativeLengthUnit() { return "bytes"; }

int WriteStdText(StdStream stream, const std::string& utf8) {
  const int fd = stream == StdStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  std::size_t done = 0;
  while (done < utf8.size()) {
    const ssize_t n = ::write(fd, utf8.data() + done, utf8.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    // write(2) never answers 0 for a non-empty request to a stream that
    // took nothing without an error; should one, the text is lost all the same.
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

std::string SystemTextToUtf8(const std::string& text) { return text; }

}  // namespace platform
