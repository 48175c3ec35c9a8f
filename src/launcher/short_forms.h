// What a Java runtime can receive on its command line. A Java runtime reads
// its command line, and finds its own home, through the system's 8-bit
// (ANSI) code page; a character that page cannot hold reaches it as "?".
// So when the child is a Java runtime, each path in its line that the page
// cannot hold is given in its short (8.3) form, which the page always
// holds; any other such argument is passed as it is, with a warning.
// Another program receives the original text.
//
// The decision is pure: the system's answers come through a PathOracle, so
// that tables can test it on both builds. On POSIX the system oracle holds
// every character, and nothing ever changes.
#pragma once

#include <string>
#include <utility>
#include <vector>

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
  // Other arguments the code page cannot hold, passed as they are, each
  // with its first character that cannot be held.
  struct Unholdable {
    std::string argument;
    char32_t code_point = 0;
  };
  std::vector<Unholdable> unholdable;
};

// The path as a program reading the code page can open it: itself when the
// page holds it, else its short form. A path that does not exist, or has no
// short form, is given back unchanged (the latter also in no_short_name).
std::string ShortFormOf(const std::string& path, const PathOracle& oracle, ShortForms* notes);

// The arguments (the program first) as a Java runtime is to receive them.
// Looked at, in each argument the code page cannot hold: the whole of it;
// else the text after "@" (an argument file), after the first "=" (a
// property, "-Dapp.home=<LAUNCHERDIR>"), or after the first ":" of an
// option ("-javaagent:..."); that text, or each ";"-separated entry of it
// (a class path), that names an existing file or folder is given in its
// short form. What the page still cannot hold afterwards is reported in
// `unholdable`.
std::vector<std::string> PlaceShortForms(const std::vector<std::string>& arguments,
                                         const PathOracle& oracle, ShortForms* notes);

// The command line as a child is to receive it: when its program is a Java
// runtime (the rule IdentifyJavaRuntime gives) and the code page cannot
// hold some of it, rebuilt from PlaceShortForms' arguments; otherwise
// unchanged. Only a line the page cannot hold is looked at, so the common
// case costs no file-system question.
struct PlacedLine {
  std::string line;
  bool changed = false;
  ShortForms notes;
};
PlacedLine PlaceShortFormsInLine(const std::string& line, const PathOracle& oracle);

// True when the line's program is a Java runtime.
bool IsJavaRuntimeLine(const std::string& line);

// The lines the launcher logs as warnings about the notes.
std::vector<std::string> ShortFormWarnings(const ShortForms& notes);

}  // namespace kb
