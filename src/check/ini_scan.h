// The configuration file as written, with line numbers: what the findings
// point at. It is parsed by the same reader that answers the POSIX build's
// lookups, so it sees sections and keys exactly as the lookups do; the
// values the launch uses are still read through the launcher's own lookups.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/profile_reader.h"

namespace kb {
namespace check {

// The lines (1-based, counted as ProfileReader counts them) that hold a
// UTF-8 sequence of two or more bytes.
std::vector<std::size_t> LinesWithUtf8Sequences(const std::string& bytes);

class IniScan {
 public:
  using Section = platform::ProfileReader::Section;
  using Key = platform::ProfileReader::Key;

  IniScan() = default;
  // Reads the whole file; a missing or unreadable file, and an entry that
  // is no regular file, scan as empty.
  explicit IniScan(const std::string& path);
  // For tests and the fuzz target: the file's bytes directly.
  static IniScan FromBytes(const std::string& path, const std::string& bytes);

  const std::string& path() const { return path_; }
  const platform::ProfileReader& reader() const { return reader_; }
  // The first section of that name (letter case ignored), as the lookups
  // search it; null when there is none.
  const Section* FirstSection(const std::string& name) const;
  // The first key of that name in the first section of that name.
  const Key* FirstKey(const std::string& section, const std::string& key) const;
  std::size_t LineOf(const std::string& section, const std::string& key) const;
  // The line a lookup of the key reads: that of the first of the
  // LookupSections that lists it.
  std::size_t LookupLine(const std::string& platform, const std::string& key) const;
  // The file started with a UTF-8 byte-order mark.
  bool utf8_bom() const { return utf8_bom_; }
  // The file was UTF-16LE with a byte-order mark (scanned as UTF-8).
  bool utf16() const { return utf16_; }
  // Lines of a file without a byte-order mark whose bytes form UTF-8
  // sequences that the system reads as other characters (Windows: through
  // the ANSI code page; never on POSIX, which reads bytes as they are).
  const std::vector<std::size_t>& utf8_lines() const { return utf8_lines_; }

 private:
  void Parse(const std::string& bytes);

  std::string path_;
  platform::ProfileReader reader_;
  bool utf8_bom_ = false;
  bool utf16_ = false;
  std::vector<std::size_t> utf8_lines_;
};

}  // namespace check
}  // namespace kb
