#include "log/line_end_translator.h"

#include <cstring>

namespace kb {

std::size_t LineEndTranslator::Split(const char* data, std::size_t size, char* out,
                                     std::size_t* rest_size, std::size_t copy_head_below) {
  *rest_size = 0;
  if (size == 0) return 0;
  const char* const end = data + size;
  const char* lf = data;
  // The head ends at the first line feed that has no carriage return of
  // the child's before it.
  while ((lf = static_cast<const char*>(std::memchr(lf, '\n', end - lf))) != nullptr) {
    const bool after_cr = lf == data ? after_cr_ : lf[-1] == '\r';
    if (!after_cr) break;
    ++lf;
  }
  if (lf == nullptr) {
    after_cr_ = end[-1] == '\r';
    return size;
  }
  after_cr_ = false;
  const std::size_t head = static_cast<std::size_t>(lf - data);
  if (head < copy_head_below) {
    std::memcpy(out, data, head);
    *rest_size = head + Translate(lf, static_cast<std::size_t>(end - lf), out + head);
    return 0;
  }
  *rest_size = Translate(lf, static_cast<std::size_t>(end - lf), out);
  return head;
}

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

}  // namespace kb
