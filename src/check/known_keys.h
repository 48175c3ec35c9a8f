// Every name the launcher reads from its configuration file, in one place:
// the check's "unknown key" and "did you mean" findings compare against
// these lists, so a key the launcher learns is added here and nowhere else.
#pragma once

#include <string>
#include <vector>

namespace kb {
namespace check {

// Keys of the launch sections ("win", "wx6", "default") written exactly as
// the launcher's lookups spell them. The numbered keys are listed by their
// prefix; the display-name key by its prefix.
const std::vector<std::string>& LaunchKeys();
const std::vector<std::string>& NumberedKeyPrefixes();  // "JavaArgs_", "AddtlArgs_"
const std::vector<std::string>& PrefixedKeys();         // "norunwith_display_"
// The keys that belong to a Java launch and are ignored beside
// "launcherargs": the numbered prefixes, "Classpath" and "MainClass".
bool IsJavaKey(const std::string& name);

// Sections the launcher reads; the platform tags double as section names.
const std::vector<std::string>& KnownSections();

// The exact spelling the launcher's lookups use for a key written in any
// letter case ("JAVAARGS_2" -> "JavaArgs_2"), or "" when the launcher never
// reads it. A numbered key counts only with a decimal number from 1 and no
// leading zero, as the lookups build it.
std::string CanonicalKey(const std::string& name);

// The known key (or section) closest to a misspelt name, or "" when none is
// close enough to be a plausible typo.
std::string ClosestKey(const std::string& name);
std::string ClosestSection(const std::string& name);

// Letter-case-insensitive edit distance (insertions, deletions,
// substitutions, swaps of neighbours).
std::size_t EditDistance(const std::string& a, const std::string& b);

}  // namespace check
}  // namespace kb
