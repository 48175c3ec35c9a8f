// Operations of the launcher's 8-bit string type (std::string). Lengths and
// positions are byte counts; "lower case" always means ASCII A-Z only.
#pragma once

#include <cstddef>
#include <string>

namespace kb {

std::string ToLowerAscii(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool EndsWithNoCase(const std::string& text, const std::string& suffix);
bool ContainsNoCase(const std::string& text, const std::string& needle);

// Removes white space (blank, tab, LF, VT, FF, CR) from both ends.
std::string TrimWhitespace(const std::string& text);
// Removes every character of `chars` from both ends / from the end only.
std::string TrimChars(const std::string& text, const char* chars);
std::string TrimRightChars(const std::string& text, const char* chars);

// Replaces every non-overlapping occurrence of `from`, found left to right;
// the inserted text is not searched again. An empty `from` changes nothing.
std::string ReplaceAll(std::string text, const std::string& from,
                       const std::string& to);

// Removes every occurrence of `piece` (case-sensitive).
std::string RemoveAll(std::string text, const std::string& piece);

// Text before the last occurrence of `c`; empty when there is none.
std::string BeforeLast(const std::string& text, char c);

// Length of the valid UTF-8 sequence that starts at text[i] (1 for ASCII),
// or 0 when the bytes there are no valid UTF-8: a stray continuation byte,
// a cut sequence, an overlong form, a surrogate or a value past U+10FFFF.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i);

// The UTF-16 unit of a surrogate written alone at text[i] in three bytes
// (ED A0 80 to ED BF BF, the generalised UTF-8 known as WTF-8), or 0 when
// there is none there. Windows names and arguments may hold an unpaired
// surrogate; inside, text keeps it in this form, so that the unit reaches
// the system again exactly.
unsigned LoneSurrogateAt(const std::string& text, std::size_t i);

// Decimal form of a signed 32-bit value (the "%d" format).
std::string IntToString(long long value);

}  // namespace kb
