// Reading INI ("profile") files with the answers of
// GetPrivateProfileStringA. Windows calls the service itself; POSIX uses
// ProfileReader (profile_reader.h), which gives the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// (section, key) into a buffer of `size` bytes with a null default: the value
// cut to size - 1 bytes. Returns the count copied; 0 for a missing key, a
// missing file and an empty value alike.
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

}  // namespace platform
