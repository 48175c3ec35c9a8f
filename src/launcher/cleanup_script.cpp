#include "launcher/cleanup_script.h"

#include <cstdlib>
#include <vector>

#include "common/text.h"
#include "log/log.h"
#include "platform/folder_identity.h"
#include "platform/fs.h"
#include "platform/script.h"
#include "platform/text.h"
#include "platform/user_folders.h"

namespace kb {
namespace {

constexpr char kTagCleanRoot[] = "Launcher::Run::start::cleanroot";
constexpr char kTagCleanFile[] = "Run::CreateCleanProc::cleanfile";
constexpr char kTagRefused[] = "Run::CreateCleanProc::refused";

int DrawNumber(const std::function<int()>& numbers) {
  return numbers ? numbers() : std::rand();
}

std::string RootOf(const std::string& path) {
  std::string root = path.substr(0, platform::RootLength(path));
  for (char& c : root) {
    if (platform::IsPathSeparator(c)) c = platform::PathSeparator();
  }
  if (!root.empty() && root.back() != platform::PathSeparator()) {
    root += platform::PathSeparator();  // "\\srv\share" given without its end
  }
  return root;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == platform::PathSeparator()) return folder + name;
  return folder + platform::PathSeparator() + name;
}

// A free "clean_<name>_<n><ext>" in the folder.
std::string FreeScriptPath(const std::string& parent, const std::string& name,
                           const std::function<int()>& numbers) {
  std::string path;
  do {
    path = JoinPath(parent, "clean_" + name + "_" + IntToString(DrawNumber(numbers)) +
                                platform::CleanupScriptExtension());
  } while (platform::PathExists(path));
  return path;
}

}  // namespace

std::string AsciiFormOf(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += name[i++];
      continue;
    }
    const std::size_t length = Utf8SequenceLength(name, i);
    if (length == 0) {
      out += '_';  // a byte of no character
      ++i;
      continue;
    }
    // The lead byte's own bits, then six from each continuation byte.
    char32_t code_point = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      code_point = (code_point << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
    }
    out += "U" + platform::CodePointName(code_point).substr(2);  // "U65E5", no "+"
    i += length;
  }
  return out;
}

namespace {

}  // namespace

std::string NormalizeAbsolutePath(const std::string& path) {
  const std::size_t root_length = platform::RootLength(path);
  if (root_length == 0) return std::string();
  std::vector<std::string> parts;
  std::size_t i = root_length;
  while (i < path.size()) {
    std::size_t end = i;
    while (end < path.size() && !platform::IsPathSeparator(path[end])) ++end;
    const std::string part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();  // ".." of a root is the root
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string normalized = RootOf(path);
  for (std::size_t p = 0; p < parts.size(); ++p) {
    if (p > 0) normalized += platform::PathSeparator();
    normalized += parts[p];
  }
  return normalized;
}

std::string ParentFolder(const std::string& normalized) {
  const std::size_t root_length = platform::RootLength(normalized);
  if (root_length == 0 || normalized.size() <= root_length) return std::string();
  const std::size_t last = normalized.find_last_of(platform::PathSeparator());
  // "C:\run1" is held by "C:\", not by "C:", which would name the drive's
  // current folder; "/run1" by "/", not by "".
  if (last == std::string::npos || last < root_length) return RootOf(normalized);
  return normalized.substr(0, last);
}

// Refuses folders whose removal would take the system or the user's own
// files with it.
std::string CleanRefusalReason(const std::string& folder) {
  if (platform::IsRootPath(folder) || platform::IsFileSystemRoot(folder)) {
    return "the clean directory is a file-system root: " + folder;
  }
  const std::string home = NormalizeAbsolutePath(platform::UserHomeFolder());
  if (home.empty()) return std::string();
  if (platform::SameFolder(folder, home)) {
    return "the clean directory is the user's home folder: " + folder;
  }
  // The folders in the home folder's spelling, and those that really hold
  // it when that spelling goes through a link.
  for (std::string up = ParentFolder(home); !up.empty(); up = ParentFolder(up)) {
    if (platform::SameFolder(folder, up)) {
      return "the clean directory holds the user's home folder: " + folder;
    }
  }
  if (platform::HoldsFolder(folder, home)) {
    return "the clean directory holds the user's home folder: " + folder;
  }
  return std::string();
}

std::string CreateCleanProc(const std::string& clean_dir, const std::string& application_name,
                            const std::function<int()>& numbers) {
  // The search answers with the full path; the script must name that path,
  // not the text as given, since it will run from another folder.
  const std::string found = platform::FindEntry(clean_dir);
  std::string folder;
  if (!found.empty()) {
    folder = NormalizeAbsolutePath(found);
    std::string full;
    if (folder.empty() && platform::FullPathName(found, &full) == 0) {
      folder = NormalizeAbsolutePath(full);
    }
  }
  if (!folder.empty()) {
    const std::string reason = CleanRefusalReason(folder);
    if (!reason.empty()) {
      LogWarning(kTagRefused, reason);
      return std::string();
    }
  }
  const std::string parent = ParentFolder(folder);
  LogInfo(kTagCleanRoot, parent);
  if (parent.empty()) return std::string();

  std::string path = FreeScriptPath(parent, application_name, numbers);
  std::string text;
  if (platform::CleanupScriptText(parent, folder, path, &text) != 0) {
    // The script does not exist yet, so a name the console's code page
    // cannot hold has no short form to stand in for it: the application's
    // name in ASCII serves. Refused then, the folder is what has no form.
    const std::string ascii = AsciiFormOf(application_name);
    if (ascii != application_name) path = FreeScriptPath(parent, ascii, numbers);
    if (ascii == application_name ||
        platform::CleanupScriptText(parent, folder, path, &text) != 0) {
      // The script would name a look-alike of the folder, or nothing.
      LogWarning(kTagRefused, "the console's code page has no exact form of the clean directory " +
                                  folder + ", and it has no short (8.3) name");
      return std::string();
    }
  }
  LogInfo(kTagCleanFile, path);
  // The path tried is in the log already; a file that cannot be created
  // adds no line of its own.
  if (platform::WriteWholeFile(path, text, true) != 0) return std::string();
  LogInfo(kTagCleanFile, path);
  return path;
}

}  // namespace kb
