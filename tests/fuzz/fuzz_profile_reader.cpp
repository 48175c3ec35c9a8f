// The INI reader on arbitrary file bytes: lookups of the section and key
// names the input itself spells (plus fixed ones), in many buffer sizes,
// and the key listing.
//
// Properties: counts match the bytes returned and respect the buffer; a
// smaller buffer gives a prefix of a larger one's answer; names match
// whatever their letter case (and, for a value, surrounding blanks); and a
// file whose line ends are written differently answers every lookup the
// same, in a UTF-16LE file as in any other.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile_reader.h"

namespace {

using platform::ProfileReader;

constexpr std::size_t kLargeBuffer = 1 << 20;
constexpr std::size_t kMaxNames = 8;
constexpr std::size_t kSizes[] = {0, 1, 2, 3, 4, 5, 7, 16, 260, 4096};

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Section names ("[...]") and key names (text before "=") as the input
// spells them, untrimmed: the reader must do the trimming.
void CollectNames(const std::string& bytes, std::set<std::string>* sections,
                  std::set<std::string>* keys) {
  std::string::size_type pos = 0;
  while (pos < bytes.size() && (sections->size() < kMaxNames || keys->size() < kMaxNames)) {
    std::string::size_type end = bytes.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(pos, end - pos);
    const std::string::size_type open = line.find('[');
    const std::string::size_type close = line.rfind(']');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      if (sections->size() < kMaxNames) sections->insert(line.substr(open + 1, close - open - 1));
    } else if (keys->size() < kMaxNames) {
      keys->insert(line.substr(0, line.find('=')));
    }
    pos = end + 1;
  }
}

void CheckString(const ProfileReader& reader, const ProfileReader& same_file,
                 const std::string& section, const std::string& key) {
  std::string full;
  const unsigned long full_count = reader.ReadString(section, key, kLargeBuffer, &full);
  KB_FUZZ_CHECK(full_count == full.size());
  KB_FUZZ_CHECK(full.find('\0') == std::string::npos);

  std::string other;
  KB_FUZZ_CHECK(same_file.ReadString(section, key, kLargeBuffer, &other) == full_count);
  KB_FUZZ_CHECK(other == full);
  KB_FUZZ_CHECK(reader.ReadString(UpperAscii(section), UpperAscii(key), kLargeBuffer,
                                  &other) == full_count);
  KB_FUZZ_CHECK(other == full);
  KB_FUZZ_CHECK(reader.ReadString(" \t" + section + " ", "\t" + key + "  ", kLargeBuffer,
                                  &other) == full_count);
  KB_FUZZ_CHECK(other == full);

  std::vector<std::size_t> sizes(std::begin(kSizes), std::end(kSizes));
  for (std::size_t extra = 0; extra < 4; ++extra) sizes.push_back(full.size() + extra);
  std::sort(sizes.begin(), sizes.end());
  unsigned long previous = 0;
  for (const std::size_t size : sizes) {
    std::string value = "stale";
    const unsigned long count = reader.ReadString(section, key, size, &value);
    KB_FUZZ_CHECK(count == value.size());
    if (size == 0) {
      KB_FUZZ_CHECK(count == 0);
    } else {
      KB_FUZZ_CHECK(count <= size - 1);
    }
    KB_FUZZ_CHECK(StartsWith(full, value));
    KB_FUZZ_CHECK(count >= previous);
    previous = count;
    // A buffer with room for the whole value and its NUL gets all of it.
    if (size > full.size() + 1) KB_FUZZ_CHECK(value == full);
  }
}

void CheckKeyNames(const ProfileReader& reader, const ProfileReader& same_file,
                   const std::string& section) {
  std::string full;
  const unsigned long full_count = reader.ReadKeyNames(section, kLargeBuffer, &full);
  KB_FUZZ_CHECK(full_count == full.size());
  // Each name is followed by its NUL.
  KB_FUZZ_CHECK(full.empty() || full.back() == '\0');

  std::string other;
  KB_FUZZ_CHECK(same_file.ReadKeyNames(section, kLargeBuffer, &other) == full_count);
  KB_FUZZ_CHECK(other == full);
  // The listing takes the section name untrimmed, but still ignores case.
  KB_FUZZ_CHECK(reader.ReadKeyNames(UpperAscii(section), kLargeBuffer, &other) == full_count);
  KB_FUZZ_CHECK(other == full);

  // Listed names never start with a blank (a name cut at a NUL may end
  // with one) and are never comments.
  std::string::size_type pos = 0;
  while (pos < full.size()) {
    const std::string::size_type nul = full.find('\0', pos);
    const std::string name = full.substr(pos, nul - pos);
    if (!name.empty()) {
      KB_FUZZ_CHECK(name[0] != ';');
      KB_FUZZ_CHECK(!IsBlank(name.front()));
    }
    pos = nul + 1;
  }

  std::vector<std::size_t> sizes(std::begin(kSizes), std::end(kSizes));
  for (std::size_t extra = 0; extra < 4; ++extra) sizes.push_back(full.size() + extra);
  for (const std::size_t size : sizes) {
    std::string names = "stale";
    const unsigned long count = reader.ReadKeyNames(section, size, &names);
    KB_FUZZ_CHECK(count == names.size());
    KB_FUZZ_CHECK(size == 0 ? count == 0 : count <= size - 1);
    KB_FUZZ_CHECK(StartsWith(full, names));
    // A list that does not fit is cut to two bytes short of the buffer.
    if (names.size() < full.size()) KB_FUZZ_CHECK(count == (size >= 2 ? size - 2 : 0));
    if (size >= full.size() + 2) KB_FUZZ_CHECK(names == full);
  }
}

// The same file with every line break written differently: CR alone, and
// CR LF, with an empty line between every two. A UTF-16LE file (with its
// byte-order mark) is rewritten in 16-bit units, so that it stays one.
std::string OtherLineEnds(const std::string& bytes) {
  const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const std::size_t unit = utf16 ? 2 : 1;
  const auto text = [utf16](const char* ascii) {
    std::string out;
    for (const char* p = ascii; *p != '\0'; ++p) {
      out += *p;
      if (utf16) out += '\0';
    }
    return out;
  };
  std::string other;
  other.reserve(bytes.size() * 2);
  // An odd last byte of a UTF-16 file is no character and is left out.
  for (std::size_t i = utf16 ? 2 : 0; i + unit <= bytes.size(); i += unit) {
    const bool line_end = (bytes[i] == '\n' || bytes[i] == '\r') && (!utf16 || bytes[i + 1] == '\0');
    other += line_end ? text("\r\n\r") : bytes.substr(i, unit);
  }
  return (utf16 ? std::string("\xFF\xFE") : std::string()) + text("\n") + other + text("\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = kbfuzz::AsString(data, size);
  const ProfileReader reader(bytes);
  const ProfileReader same_file(OtherLineEnds(bytes));

  std::set<std::string> sections = {"", "properties", "default", "win"};
  std::set<std::string> keys = {"", "MASTERPROP", "JavaArgs_1"};
  CollectNames(bytes, &sections, &keys);

  for (const std::string& section : sections) {
    CheckKeyNames(reader, same_file, section);
    for (const std::string& key : keys) CheckString(reader, same_file, section, key);
  }

  // A missing file answers nothing.
  const ProfileReader missing;
  std::string value = "stale";
  KB_FUZZ_CHECK(missing.ReadString(*sections.rbegin(), *keys.rbegin(), 4096, &value) == 0);
  KB_FUZZ_CHECK(value.empty());
  KB_FUZZ_CHECK(missing.ReadKeyNames(*sections.rbegin(), 4096, &value) == 0);
  KB_FUZZ_CHECK(value.empty());
  return 0;
}
