// Command lines in the Microsoft C runtime's rules, the same on both builds:
// the POSIX build splits the child's command line with SplitCommandLine so
// that a child sees the same arguments as it would on Windows.
#pragma once

#include <string>
#include <vector>

namespace kb {

// Splits a command line into its arguments, program included. The first
// token follows the program-name rule (only double quotes group; backslashes
// are literal); the rest follow the argument rules: blank or tab separates,
// double quotes group, 2n backslashes + '"' give n backslashes and a quote
// toggle, 2n+1 give n backslashes and a literal '"', other backslashes are
// literal, and a doubled quote inside a quoted part gives a literal '"' and
// stays quoted. Leading blanks before the program give an empty program.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Quotes one argument so that SplitCommandLine (and the C runtime) gives it
// back unchanged: left as it is when non-empty and free of blank, tab,
// newline, vertical tab and '"'; otherwise enclosed in quotes with every run
// of backslashes before a quote (or before the closing quote) doubled and
// every quote escaped.
std::string QuoteArgument(const std::string& argument);

}  // namespace kb
