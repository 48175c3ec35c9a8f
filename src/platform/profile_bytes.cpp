// The profile service's reading of a file's bytes, the same on both
// platforms once the system's code page has been applied.
#include "platform/profile.h"
#include "platform/text.h"

namespace platform {

ProfileReader ProfileOfBytes(const std::string& bytes) {
  // The reader itself turns a UTF-16LE file into UTF-8.
  const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                     static_cast<unsigned char>(bytes[1]) == 0xFE;
  // A UTF-8 mark is not skipped by the service: it stays part of the first
  // line, and the text after it is UTF-8 already.
  const bool utf8_marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  return ProfileReader(utf16 || utf8_marked ? bytes : SystemTextToUtf8(bytes));
}

}  // namespace platform
