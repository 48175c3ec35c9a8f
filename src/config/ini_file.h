// Lookups in the launcher's configuration file (INI format): a value from
// the platform's sections (LookupSections), else from "default", with a marker for a key that is
// written without a value. Free operations: the instance guard uses them as
// well as DataControl.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {
class ProfileReader;
}

namespace kb {

// The sections a launch reads a key from, most specific first, for a
// platform tag: on Windows the tag's section, then "windows", then
// "default" (a shipper's "wx6" stays the most specific); on Linux "linux",
// then the tag's section, then "default", since Linux answers a Windows tag.
std::vector<std::string> LookupSections(const std::string& platform_tag);

// The value of `key` in the first of `sections` that lists it.
// Returns the value; " " (kPresentButEmpty) when the key is written with an
// empty value in the first section that lists it; "" when no section has
// it (or the file is missing). Values are cut to 4095 bytes.
std::string ReadIniValueIn(const std::vector<std::string>& sections, const std::string& key,
                           const std::string& file);
// The same answers from a file's bytes read once, for a file whose lookups
// must all see what was judged (the user file), never the name again.
std::string ReadIniValueIn(const std::vector<std::string>& sections, const std::string& key,
                           const platform::ProfileReader& reader);
// ReadIniValueIn(LookupSections(platform_tag), key, ...).
std::string ReadIniValue(const std::string& platform_tag, const std::string& key,
                         const std::string& file);
std::string ReadIniValue(const std::string& platform_tag, const std::string& key,
                         const platform::ProfileReader& reader);

// The value of `key` in that one section, with ReadIniValue's answers
// (" " for a key written empty, "" when the section does not list it).
std::string ReadSectionValue(const std::string& section, const std::string& key,
                             const std::string& file);
std::string ReadSectionValue(const std::string& section, const std::string& key,
                             const platform::ProfileReader& reader);

// 1 when the section's key list holds a name equal to `key` byte for byte
// (letter case included), else 0. The whole list is read, however long.
int IniKeyExists(const std::string& section, const std::string& key,
                 const std::string& file);

// The names of a section's keys in file order, the whole list however long:
// the buffer starts at `initial_size` bytes and grows until the list fits.
std::vector<std::string> ReadKeyNames(const std::string& section, const std::string& file,
                                      std::size_t initial_size);

// Splits a key list as the profile service returns it (`count` bytes of
// NUL-terminated names) into names, stopping at an empty name as a walker
// of the NUL-terminated list does, and never reading past the list: a cut
// list's last name counts even without its NUL.
std::vector<std::string> SplitKeyList(const std::string& list);

}  // namespace kb
