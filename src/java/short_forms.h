// What a Java runtime can receive on its command line. A Java runtime reads
// its command line, and finds its own home, through the system's 8-bit
// (ANSI) code page; a character that page cannot hold reaches it as "?".
// So when the child is a Java runtime, each path in its line that the page
// cannot hold is given in its short (8.3) form, which the page always
// holds; any other such argument reaches it with "?" for each character
// the page cannot hold, with a warning. Another program receives the
// original text.
//
// Such a line is built in the code page itself and quoted by the rules the
// runtime splits that text with. Left to the system, the conversion would
// write best-fit look-alikes: a fullwidth quote becomes '"', a fullwidth
// backslash '\', an ideographic space a blank, and the runtime's split
// would no longer be the launcher's.
//
// The decision is pure: the system's answers come through a PathOracle, so
// that tables can test it on both builds. On POSIX the system oracle holds
// every character, and nothing ever changes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/command_line.h"

namespace kb {

// The questions the decision asks the system.
class PathOracle {
 public:
  virtual ~PathOracle() = default;
  // The first character the code page cannot hold, or 0.
  virtual char32_t FirstUnholdable(const std::string& text) const = 0;
  // True when a file or folder of that name exists.
  virtual bool Exists(const std::string& path) const = 0;
  // 0 with the short form, or the system error code.
  virtual int ShortForm(const std::string& path, std::string* short_form) const = 0;
  // The text in the code page, each character it cannot hold as "?" (never
  // a look-alike).
  virtual std::string ToCodePage(const std::string& text) const = 0;
  // Code-page text in UTF-8.
  virtual std::string FromCodePage(const std::string& bytes) const = 0;
  // The code page's lead bytes (none for a single-byte page).
  virtual LeadBytes CodePageLeadBytes() const = 0;
};

// The platform's answers.
const PathOracle& SystemPathOracle();

// The platform's answers as a program started in `folder` gets them: a
// relative path (one with neither a drive nor a leading separator) is
// looked for in that folder, whatever the asking process's own current
// folder, and its short form stays relative (the short form of the whole
// path, less the folder's own short form). A tool that predicts a launch
// asks this of the child's working folder; other paths are answered as
// SystemPathOracle answers them.
class FolderPathOracle : public PathOracle {
 public:
  explicit FolderPathOracle(std::string folder) : folder_(std::move(folder)) {}
  char32_t FirstUnholdable(const std::string& text) const override;
  bool Exists(const std::string& path) const override;
  int ShortForm(const std::string& path, std::string* short_form) const override;
  // The code page is the system's, whatever the folder.
  std::string ToCodePage(const std::string& text) const override;
  std::string FromCodePage(const std::string& bytes) const override;
  LeadBytes CodePageLeadBytes() const override;

 private:
  std::string InFolder(const std::string& path) const;
  std::string folder_;
};

struct ShortForms {
  struct Change {
    std::string original;
    std::string short_form;
  };
  // Paths given in their short form, in the order met.
  std::vector<Change> changes;
  // Existing paths the code page cannot hold that have no short form (the
  // volume keeps no short names): the runtime cannot open them.
  std::vector<std::string> no_short_name;
  // Other arguments the code page cannot hold, each with its first
  // character that cannot be held and the text the runtime receives ("?"
  // for each such character).
  struct Unholdable {
    std::string argument;
    char32_t code_point = 0;
    std::string received;
  };
  std::vector<Unholdable> unholdable;
};

// The path as a program reading the code page can open it: itself when the
// page holds it, else its short form. A path that does not exist, or has no
// short form, is given back unchanged (the latter also in no_short_name).
std::string ShortFormOf(const std::string& path, const PathOracle& oracle, ShortForms* notes);

// The arguments (the program first) as a Java runtime is to receive them.
// Looked at, in each argument the code page cannot hold: the whole of it;
// else the text after "@" (an argument file); for an option whose first
// ":" comes before any "=", the text between them and the text after the
// "=" ("-javaagent:<path>=<options>"); else the text after the first "=" (a
// property, "-Dapp.home=<LAUNCHERDIR>"). That text, or each ";"-separated
// entry of it (a class path), that names an existing file or folder is
// given in its short form. What the page still cannot hold afterwards is reported in
// `unholdable`.
std::vector<std::string> PlaceShortForms(const std::vector<std::string>& arguments,
                                         const PathOracle& oracle, ShortForms* notes);

// The command line as a child is to receive it: when its program is a Java
// runtime (the rule IdentifyJavaRuntime gives) and the code page cannot
// hold some of it, rebuilt from PlaceShortForms' arguments in the code page
// (see CodePageLine); otherwise unchanged. Only a line the page cannot hold
// is looked at, so the common case costs no file-system question, and a
// line the page holds splits alike as text and as code-page bytes.
struct PlacedLine {
  std::string line;
  bool changed = false;
  ShortForms notes;
};
PlacedLine PlaceShortFormsInLine(const std::string& line, const PathOracle& oracle);

// The line a program reading the code page receives for these arguments
// (the program first), given back in UTF-8: the program in plain quotes,
// then each argument in the code page ("?" for what it cannot hold), quoted
// by the C runtime's rules over the page's bytes. A '*' or '?' is quoted,
// so that the runtime does not expand it against its current folder,
// unless it stood bare in the source (`source`, the split line the
// arguments came from) and the page held the whole argument: a user's own
// *.txt keeps its expansion, a "?" the page put in never gets one. Passed
// to the system as this text, the line reaches the program as exactly
// those bytes, since the text holds only characters of the page.
std::string CodePageLine(const std::vector<LineArgument>& source,
                         const std::vector<std::string>& arguments, const PathOracle& oracle);

// True when the line's program is a Java runtime.
bool IsJavaRuntimeLine(const std::string& line);

// The lines the launcher logs as warnings about the notes.
std::vector<std::string> ShortFormWarnings(const ShortForms& notes);

}  // namespace kb
