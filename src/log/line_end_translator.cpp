#include "log/line_end_translator.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <emmintrin.h>
#define KB_LINE_FEED_SSE2 1
#endif

namespace kb {
namespace {

// The first line feed in [p, end), or end. A word at a time: a word holds a
// line feed when the word XOR line feeds has a zero byte. Not every C
// runtime's memchr is fast (the one Windows programs link here is a byte
// loop under Wine), and the relay calls this once per line.
const char* FindLineFeedPortable(const char* p, const char* end) {
  using Word = std::uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHighBits = kOnes * 0x80;
  constexpr Word kLineFeeds = kOnes * '\n';
  while (static_cast<std::size_t>(end - p) >= sizeof(Word)) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    const Word x = word ^ kLineFeeds;
    if (((x - kOnes) & ~x & kHighBits) != 0) break;
    p += sizeof(Word);
  }
  while (p < end && *p != '\n') ++p;
  return p;
}

#ifdef KB_LINE_FEED_SSE2
// Sixteen bytes at a time. The SSE2 functions are only called where the
// processor has SSE2: a 32-bit Windows build may meet one that has not.
__attribute__((target("sse2"))) const char* FindLineFeedSse2(const char* p, const char* end) {
  const __m128i line_feeds = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, line_feeds));
    if (found != 0) return p + __builtin_ctz(static_cast<unsigned>(found));
    p += 16;
  }
  while (p < end && *p != '\n') ++p;
  return p;
}

// One pass that copies sixteen bytes at a time and puts a CR before each
// bare line feed; *after_cr is whether the byte before data was a CR, and
// is left as whether the last byte taken was. Stops with fewer than sixteen
// bytes left; returns the new end of out. Each store may run up to fifteen
// bytes past what it keeps, which the output's room of twice the input
// always covers.
__attribute__((target("sse2"))) char* CopyAddingCrSse2(const char** data, const char* end,
                                                       char* out, bool* after_cr) {
  const __m128i line_feeds = _mm_set1_epi8('\n');
  const char* p = *data;
  bool cr = *after_cr;
  while (end - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, line_feeds));
    if (found == 0) {
      cr = p[15] == '\r';
      p += 16;
      out += 16;
      continue;
    }
    const int at = __builtin_ctz(static_cast<unsigned>(found));
    if (at > 0) cr = p[at - 1] == '\r';
    out += at;
    if (!cr) *out++ = '\r';
    *out++ = '\n';
    cr = false;
    p += at + 1;
  }
  *data = p;
  *after_cr = cr;
  return out;
}
#endif

bool HasSse2() {
#ifdef KB_LINE_FEED_SSE2
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2");
#else
  return false;
#endif
}

bool UseSse2(bool portable) {
  static const bool sse2 = HasSse2();
  return sse2 && !portable;
}

const char* FindLineFeed(const char* p, const char* end, bool portable) {
#ifdef KB_LINE_FEED_SSE2
  if (UseSse2(portable)) return FindLineFeedSse2(p, end);
#endif
  static_cast<void>(portable);
  return FindLineFeedPortable(p, end);
}

}  // namespace

std::size_t LineEndTranslator::Split(const char* data, std::size_t size, char* out,
                                     std::size_t* rest_size, std::size_t copy_head_below) {
  *rest_size = 0;
  if (size == 0) return 0;
  const char* const end = data + size;
  // The head ends at the first line feed that has no carriage return of
  // the child's before it.
  const char* lf = data;
  for (;; ++lf) {
    lf = FindLineFeed(lf, end, portable_);
    if (lf == end) break;
    const bool after_cr = lf == data ? after_cr_ : lf[-1] == '\r';
    if (!after_cr) break;
  }
  if (lf == end) {
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
#ifdef KB_LINE_FEED_SSE2
  if (UseSse2(portable_)) out = CopyAddingCrSse2(&data, end, out, &after_cr_);
#endif
  // Copy whole runs between line feeds at once: most output has few of them.
  while (data < end) {
    const char* run_end = FindLineFeed(data, end, portable_);
    const std::size_t run = static_cast<std::size_t>(run_end - data);
    if (run > 0) {
      std::memcpy(out, data, run);
      out += run;
      after_cr_ = run_end[-1] == '\r';
    }
    if (run_end == end) break;
    if (!after_cr_) *out++ = '\r';
    *out++ = '\n';
    after_cr_ = false;
    data = run_end + 1;
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace kb
