// Command lines in the Microsoft C runtime's rules, the same on both builds:
// the POSIX build splits the child's command line with SplitCommandLine so
// that a child sees the same arguments as it would on Windows, and the
// launcher's own arguments travel as one line (BuildArgLine) that
// SplitArguments gives back argument for argument.
//
// The same rules split a line of a system code page, byte for byte: for a
// double-byte page (932, 936, 949, 950) the caller names the page's lead
// bytes, and a lead byte with the byte after it is one character, so a
// second byte 0x5C is no backslash. UTF-8 text and single-byte pages have
// no lead bytes: none of their bytes above 0x7F is command-line syntax.
#pragma once

#include <bitset>
#include <string>
#include <vector>

namespace kb {

// The bytes that begin a two-byte character of a code page; none unless
// added.
class LeadBytes {
 public:
  void Add(unsigned char byte) { lead_.set(byte); }
  bool operator()(unsigned char byte) const { return lead_.test(byte); }
  bool any() const { return lead_.any(); }

 private:
  std::bitset<256> lead_;
};

// One argument of a split line, and whether a '*' or '?' stood outside
// quotes in it: a Java runtime on Windows expands such an argument of the
// application against its current folder, and leaves a quoted one alone.
struct LineArgument {
  std::string text;
  bool bare_wildcard = false;
};

// Splits a command line into its arguments, program included. The first
// token follows the program-name rule (only double quotes group; backslashes
// are literal); the rest follow the argument rules: blank or tab separates,
// double quotes group, 2n backslashes + '"' give n backslashes and a quote
// toggle, 2n+1 give n backslashes and a literal '"', other backslashes are
// literal, and a doubled quote inside a quoted part gives a literal '"' and
// stays quoted. Leading blanks before the program give an empty program.
std::vector<std::string> SplitCommandLine(const std::string& line);
std::vector<LineArgument> SplitCommandLine(const std::string& line, const LeadBytes& lead);

// Splits an argument line into its arguments, every token by the argument
// rules above (no program token): "a b" gives two arguments, "" none.
std::vector<std::string> SplitArguments(const std::string& line);

// Quotes one argument so that SplitCommandLine (and the C runtime) gives it
// back unchanged: left as it is when non-empty and free of white space of
// any kind (blank, tab, line feed, carriage return, vertical tab, form feed)
// and '"'; otherwise enclosed in quotes with every run of backslashes before
// a quote (or before the closing quote) doubled and every quote escaped.
// White space other than blank and tab does not separate arguments, but a
// child that trims its arguments or a line that gets trimmed would lose it.
std::string QuoteArgument(const std::string& argument);
// The same, over text of a code page with these lead bytes; with
// quote_wildcards, a '*' or '?' is quoted too, so that a Java runtime takes
// it as it is.
std::string QuoteArgument(const std::string& argument, const LeadBytes& lead, bool quote_wildcards);

// The arguments joined into one line: each one as QuoteArgument writes it,
// followed by one blank. Empty for no arguments.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The launcher's arguments after its program name (argv[1] to
// argv[argc - 1]) joined as JoinArguments does; a null entry counts as an
// empty argument.
std::string BuildArgLine(int argc, const char* const* argv);

}  // namespace kb
