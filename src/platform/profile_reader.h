// ProfileReader: an OS-neutral reader of INI ("profile") file bytes that
// answers like GetPrivateProfileStringA does for the same file, byte for
// byte, as measured under the Windows build's own runtime:
//
// - lines end at CR, LF or any run of them; blanks (and the other white
//   space the service knows) around section names, keys and values are
//   dropped, so are blanks around the names a caller passes;
// - "[name]" opens a section (text after the last "]" is ignored); a line
//   starting with "[" but holding no "]" is a value-less key;
// - "key=value" splits at the first "="; a line without "=" is a key
//   without a value (its lookup answers 0, it is not listed);
// - section and key names match without regard to ASCII letter case; only
//   the first section of a name and the first key of a name count; a key
//   listing takes the caller's section name untrimmed;
// - lines before the first section belong to the section "";
// - one matching pair of double or single quotes around a value is removed;
// - a name or value ends at its first NUL byte;
// - a file that starts with the UTF-16LE byte-order mark is read as UTF-16LE
//   text, and its names and values are answered in UTF-8 (Windows answers in
//   the ANSI code page); no other byte-order mark is honoured: a UTF-8 mark
//   belongs to the first line, so a section opened there is not seen, and a
//   UTF-16BE file gives no names at all.
//
// Pure: no I/O. Build it from a file's bytes (or as "missing file").
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// The value that a line "key=<text>" gives a lookup with a buffer that holds
// it whole: white space around the text dropped, then one matching pair of
// double or single quotes around what is left.
std::string ProfileValueOf(const std::string& text);

// UTF-16LE text (byte-order mark already gone) as UTF-8, as a UTF-16
// configuration file is read: a half of a surrogate pair on its own becomes
// "?", an odd last byte is dropped.
std::string Utf16LeToUtf8(const char* data, std::size_t size);

// What the sizes and counts of a reader's answers count.
enum class ProfileUnits {
  // Bytes, as the ANSI service counts.
  kBytes,
  // UTF-16 code units of text the reader holds in UTF-8, as the wide
  // service counts: a character beyond U+FFFF is two. A cut that would
  // split such a pair drops the lone half from the text, while the count
  // still counts it, as the service's own count does.
  kUtf16,
};

class ProfileReader {
 public:
  // A missing or unreadable file: every lookup answers 0.
  ProfileReader() = default;
  explicit ProfileReader(const std::string& file_bytes, ProfileUnits units = ProfileUnits::kBytes);

  // (section, key) into a buffer of `size` units: the value cut to size - 1
  // units. Returns the count written (NUL excluded); *value holds those
  // units. 0 for a missing key, an empty value or a value-less line.
  unsigned long ReadString(const std::string& section, const std::string& key,
                           std::size_t size, std::string* value) const;

  // The section's key names in file order, each followed by a NUL, into a
  // buffer of `size` units. Returns the count (the list's final NUL
  // excluded); *names holds the first `count` units. A list that does not
  // fit is cut to size - 2 units.
  unsigned long ReadKeyNames(const std::string& section, std::size_t size,
                             std::string* names) const;

 // What the file holds, in file order, for tools that point at lines: every
  // section as written (a name written twice appears twice; only the first
  // is ever searched) with its keys (likewise), and the 1-based line of each.
  // Lines before the first section belong to the first entry, named "".
  // Values are kept whole and unquoted only by lookups.
  struct Key {
    std::string name;
    std::string value;
    bool has_value = false;
    std::size_t line = 0;
  };
  struct Section {
    std::string name;
    std::size_t line = 0;  // 0 for the nameless first section
    std::vector<Key> keys;
    // Lower-cased name to the index of the first key of that name.
    std::unordered_map<std::string, std::size_t> first_key;
  };
  const std::vector<Section>& Sections() const { return sections_; }

 private:
  const Section* FindSection(const std::string& name, bool trim) const;
  void AddLine(const char* begin, const char* end, std::size_t line);

  // The length of a text, and its first `count` units, in units_.
  std::size_t Length(const std::string& text) const;
  std::string Prefix(const std::string& text, std::size_t count) const;

  ProfileUnits units_ = ProfileUnits::kBytes;
  std::vector<Section> sections_;
  // Lower-cased name to the index of the first section of that name.
  std::unordered_map<std::string, std::size_t> first_section_;
};

}  // namespace platform
