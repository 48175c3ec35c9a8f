#include "log/line_end_translator.h"

#include <cstring>

namespace kb {

std::size_t LineEndTranslator::Translate(const char* data, std::size_t size, char* out) {
  char* const start = out;
  const char* const end = data + size;
  // Copy whole runs between line feeds at once: most output has few of them.
  while (data < end) {
    const char* lf = static_cast<const char*>(std::memchr(data, '\n', end - data));
    const char* run_end = lf != nullptr ? lf : end;
    const std::size_t run = static_cast<std::size_t>(run_end - data);
    if (run > 0) {
      std::memcpy(out, data, run);
      out += run;
      after_cr_ = run_end[-1] == '\r';
    }
    if (lf == nullptr) break;
    if (!after_cr_) *out++ = '\r';
    *out++ = '\n';
    after_cr_ = false;
    data = lf + 1;
  }
  return static_cast<std::size_t>(out - start);
}

bool LineEndTranslator::PassThrough(const char* data, std::size_t size) {
  if (size == 0) return true;
  if (std::memchr(data, '\n', size) != nullptr) return false;
  after_cr_ = data[size - 1] == '\r';
  return true;
}

}  // namespace kb
