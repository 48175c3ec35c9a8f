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
// file (byte-order mark) and one with a UTF-8 mark are read as they are;
// other text is read in the system's code page (Windows: ANSI, as the wide
// service reads it; POSIX: bytes as they are), values answered in UTF-8.
ProfileReader ProfileOfBytes(const std::string& bytes);

}  // namespace platform
