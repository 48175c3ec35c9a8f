#include "config/user_ini.h"

#include <utility>

#include "common/constants.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "platform/error_codes.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"

namespace kb {
namespace {

// One note for each line of the user file that sets what it may not: a
// key of the guard's or "userini" (MaySet), or a section "properties".
void AddIgnoredLines(const platform::ProfileReader& reader, std::vector<UserIniNote>* notes) {
  using Kind = UserIniNote::Kind;
  for (const platform::ProfileReader::Section& section : reader.Sections()) {
    if (EqualsNoCase(section.name, kSectionProperties) && section.line > 0) {
      notes->push_back(UserIniNote{Kind::kIgnored, section.line,
                                   "the section [properties] belongs to the configuration file "
                                   "alone: ignored"});
      continue;
    }
    for (const platform::ProfileReader::Key& key : section.keys) {
      // A line without "=" sets nothing.
      if (!key.has_value || UserIni::MaySet(key.name)) continue;
      notes->push_back(UserIniNote{Kind::kIgnored, key.line,
                                   key.name + " belongs to the configuration file alone: ignored"});
    }
  }
}

}  // namespace

bool UserIni::MaySet(const std::string& key) {
  static const std::string kDisplayPrefix = ToLowerAscii(kKeyNoRunWithDisplayPrefix);
  const std::string lower = ToLowerAscii(key);
  // The guard's keys decide which other applications this one excludes:
  // that is the shipper's choice, as it is kept from command-line overrides.
  return lower != kKeyUserIni && lower != kKeyId && lower != kKeyNoRunWith &&
         lower.compare(0, kDisplayPrefix.size(), kDisplayPrefix) != 0;
}

UserIni UserIni::Open(const std::string& path) {
  UserIni user;
  user.path_ = path;
  if (path.empty()) return user;
  using Kind = UserIniNote::Kind;
  auto note = [&user](Kind kind, std::size_t line, const std::string& text) {
    user.notes_.push_back(UserIniNote{kind, line, text});
  };
  // A relative path would depend on the folder the launcher is started
  // from; it is most often a variable that was not set.
  if (!platform::IsAbsolutePath(path)) {
    note(Kind::kRefused, 0, "is not an absolute path: not read");
    return user;
  }
  platform::Handle file;
  const int error = platform::OpenRegularFile(path, &file, nullptr);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    note(Kind::kMissing, 0, "does not exist: the configuration file's values are used");
    return user;
  }
  if (error == platform::kErrorNotRegularFile) {
    note(Kind::kRefused, 0, "is not a regular file: not read");
    return user;
  }
  std::string why;
  int check_error = error;
  if (check_error == 0) check_error = platform::OthersMayChange(file, &why);
  std::string bytes;
  if (check_error == 0 && why.empty()) {
    check_error = platform::ReadOpenedFile(file, static_cast<std::size_t>(-1), &bytes);
  }
  (void)file.Close();  // only read: a failed close loses nothing
  if (check_error != 0) {
    note(Kind::kRefused, 0,
         "cannot be read (error " + IntToString(check_error) + ": " +
             platform::ErrorText(check_error) + "): not read");
    return user;
  }
  if (!why.empty()) {
    // Someone else could put options into every launch of this user.
    note(Kind::kRefused, 0, "is refused: " + why);
    return user;
  }
  user.read_ = true;
  user.reader_ = std::make_shared<const platform::ProfileReader>(platform::ProfileOfBytes(bytes));
  user.bytes_ = std::move(bytes);
  note(Kind::kRead, 0, std::string());
  AddIgnoredLines(*user.reader_, &user.notes_);
  return user;
}

std::string UserIni::LogText(const UserIniNote& note) const {
  if (note.line > 0) {
    return path_ + " line " + IntToString(static_cast<long long>(note.line)) + ": " + note.text;
  }
  return note.text.empty() ? path_ : path_ + " " + note.text;
}

std::string UserIni::RefusalLine() const {
  for (const UserIniNote& note : notes_) {
    if (note.kind == UserIniNote::Kind::kRefused) {
      return "WARNING: the user file " + LogText(note) +
             "; the configuration file's values are used";
    }
  }
  return std::string();
}

std::string UserIni::Lookup(const std::string& section, const std::string& key) const {
  if (!read_ || !MaySet(key)) return std::string();
  return ReadIniValue(section, key, *reader_);
}

}  // namespace kb
