// Reading INI ("profile") files with the answers of
// GetPrivateProfileString. Windows calls the wide service, which reads an
// ANSI file through the ANSI code page and a UTF-16LE file as it is, and
// answers in UTF-8, sizes and counts in UTF-16 units; POSIX uses
// ProfileReader (profile_reader.h), which answers the ANSI service's bytes
// (a UTF-16LE file's text in UTF-8), counted in bytes.
#pragma once

#include <cstddef>
#include <string>

#include "platform/profile_reader.h"

namespace platform {

// (section, key) into a buffer of `size` bytes with a null default: the value
// cut to size - 1 bytes. Returns the count copied; 0 for a missing key, a
// missing file and an empty value alike. The count is the service's own
// answer, which the launcher's configuration rules are written against; it
// has no failure apart from that.
unsigned long ReadProfileString(const std::string& section,
                                const std::string& key, std::size_t size,
                                const std::string& file, std::string* value);

// The key names of a section (null key) into a buffer of `size` bytes: names
// in file order, each followed by a NUL, cut when they do not fit. Returns
// the count (final NUL excluded); *names holds exactly the first `count`
// bytes of the buffer.
unsigned long ReadProfileKeyNames(const std::string& section,
                                  std::size_t size, const std::string& file,
                                  std::string* names);

// A reader that gives, from a file's bytes alone, the answers the two
// calls above give for a file holding them: for a file read once, through
// the handle it was judged on, and then looked up many times. A UTF-16LE
// file (byte-order mark) is read as UTF-16LE on both builds. Windows reads
// as its wide service does: a UTF-8 mark is skipped and the text after it
// taken as UTF-8, other text is read in the ANSI code page. POSIX: the
// bytes as they are, a UTF-8 mark kept as part of the first line.
ProfileReader ProfileOfBytes(const std::string& bytes);

}  // namespace platform
