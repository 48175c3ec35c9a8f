// The per-user configuration file that "userini" names: a user's own
// values for the launch keys, looked at before the configuration file's, in
// a file the user may change without the rights the install folder needs.
// The guard's keys, "userini" itself and the properties stay the
// configuration file's alone.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile_reader.h"

namespace kb {

// The tag under which the launch logs what was found.
inline constexpr char kTagUserIni[] = "Launcher::Run::start::userini";

// One thing to report about the user file, as one log line.
struct UserIniNote {
  enum class Kind {
    kRead,     // the file is read (information)
    kMissing,  // nothing of that name exists (information)
    kRefused,  // not read: not absolute, not a regular file, unreadable, others may change it
    kIgnored,  // a line the user file may not set (`line` says which)
  };
  Kind kind;
  std::size_t line;  // 1-based line of the user file; 0 for the file as a whole
  std::string text;  // what it says, without the file and line ("" for kRead)
  bool IsWarning() const { return kind == Kind::kRefused || kind == Kind::kIgnored; }
};

class UserIni {
 public:
  // No user file: every lookup answers "".
  UserIni() = default;

  // Judges the file at `path` ("" when none is named). A path that is not
  // absolute, an entry that is no regular file, a file that cannot be read
  // and (POSIX) one that others may change (OthersMayChange) are refused; a
  // missing file is only noted. A file that is read is looked through for
  // what it may not set: the keys of MaySet and a section "properties",
  // each one note with its line.
  // The file is read once, through the handle it was judged on: a file put
  // in its place afterwards is never seen, and every lookup answers from
  // those bytes.
  static UserIni Open(const std::string& path);

  bool IsRead() const { return read_; }
  const std::string& path() const { return path_; }
  // The bytes that were read ("" when the file was not read), for tools
  // that point at its lines.
  const std::string& bytes() const { return bytes_; }
  // What the lookups answer from; empty when the file was not read.
  const platform::ProfileReader& reader() const { return *reader_; }
  const std::vector<UserIniNote>& notes() const { return notes_; }
  // A note as one log line's text: the file, its line when there is one,
  // and what the note says.
  std::string LogText(const UserIniNote& note) const;

  // The one line for a user who is not reading the log when the file was
  // refused ("WARNING: the user file <path> is refused: ...; the
  // configuration file's values are used"); "" when it was not refused.
  std::string RefusalLine() const;

  // ReadIniValue(platform_tag, key) on the user file (its sections in
  // LookupSections order): the value, " " for present-but-empty, "" when the file has
  // neither, is not read, or may not set the key.
  std::string Lookup(const std::string& section, const std::string& key) const;

  // False for the keys that stay the configuration file's, in any letter
  // case as the lookups match them: "userini", "id", "norunwith" and every
  // "norunwith_display_..." key.
  static bool MaySet(const std::string& key);

 private:
  std::string path_;
  bool read_ = false;
  std::vector<UserIniNote> notes_;
  std::string bytes_;
  // Shared: a UserIni is copied, the parsed file need not be.
  std::shared_ptr<const platform::ProfileReader> reader_ =
      std::make_shared<const platform::ProfileReader>();
};

}  // namespace kb
