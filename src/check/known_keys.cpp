#include "check/known_keys.h"

#include <algorithm>

#include "common/constants.h"
#include "common/text.h"
#include "java/java_search.h"

namespace kb {
namespace check {
namespace {

bool IsDecimalFromOne(const std::string& text) {
  if (text.empty() || text[0] == '0') return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Candidates for a suggestion: the plain keys and the first numbered keys.
std::vector<std::string> SuggestionKeys() {
  std::vector<std::string> keys = LaunchKeys();
  for (const std::string& prefix : NumberedKeyPrefixes()) keys.push_back(prefix + "1");
  for (const std::string& prefix : PrefixedKeys()) keys.push_back(prefix);
  return keys;
}

std::string Closest(const std::string& name, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t best_distance = std::string::npos;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(name, candidate);
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  // A third of the name, at least two edits, and never a whole short name.
  const std::size_t limit = std::max<std::size_t>(2, name.size() / 3);
  if (best_distance == 0 || best_distance > limit || best_distance >= name.size()) {
    return std::string();
  }
  return best;
}

}  // namespace

const std::vector<std::string>& LaunchKeys() {
  static const std::vector<std::string> keys = {kKeyStartDir, kKeyStdin, kKeyTerminal, kKeyLauncherCmd, kKeyLauncherArgs,
                                                kKeyClasspath, kKeyMainClass,   kKeyId,
                                                kKeyNoRunWith, kKeyJavaMin,     kKeyJavaMax,
                                                kKeyJavaSearch, kKeyJavaMissing, kKeyLogKeep,
                                                kKeyLogDir,    kKeyLogOutput,   kKeyLogMax,
                                                kKeyUserIni,   kKeyJavaCache};
  return keys;
}

const std::vector<std::string>& NumberedKeyPrefixes() {
  static const std::vector<std::string> prefixes = {kKeyJavaArgsPrefix, kKeyAddtlArgsPrefix};
  return prefixes;
}

const std::vector<std::string>& PrefixedKeys() {
  static const std::vector<std::string> prefixes = {kKeyNoRunWithDisplayPrefix};
  return prefixes;
}

const std::vector<std::string>& KnownSections() {
  static const std::vector<std::string> sections = {kPlatformWin,    kPlatformWx6,
                                                    kSectionLinux,   kSectionWindows,
                                                    kSectionDefault, kSectionProperties};
  return sections;
}

bool IsJavaKey(const std::string& name) {
  const std::string canonical = CanonicalKey(name);
  if (canonical == kKeyClasspath || canonical == kKeyMainClass) return true;
  for (const std::string& prefix : NumberedKeyPrefixes()) {
    if (StartsWithNoCase(canonical, prefix)) return true;
  }
  return false;
}

std::string CanonicalKey(const std::string& name) {
  for (const std::string& key : LaunchKeys()) {
    if (EqualsNoCase(name, key)) return key;
  }
  for (const std::string& prefix : NumberedKeyPrefixes()) {
    if (StartsWithNoCase(name, prefix) && IsDecimalFromOne(name.substr(prefix.size()))) {
      return prefix + name.substr(prefix.size());
    }
  }
  for (const std::string& prefix : PrefixedKeys()) {
    // The display name of any id: the id is part of the key as written.
    if (StartsWithNoCase(name, prefix) && name.size() > prefix.size()) {
      return prefix + name.substr(prefix.size());
    }
  }
  return std::string();
}

std::string ClosestKey(const std::string& name) {
  // A numbered key with a malformed number ("JavaArgs_01", "JavaArgs1")
  // is closest to its own prefix and number.
  for (const std::string& prefix : NumberedKeyPrefixes()) {
    const std::string bare = prefix.substr(0, prefix.size() - 1);  // without "_"
    std::string rest;
    if (StartsWithNoCase(name, prefix)) {
      rest = name.substr(prefix.size());
    } else if (StartsWithNoCase(name, bare)) {
      rest = name.substr(bare.size());
    } else {
      continue;
    }
    const std::string::size_type digits = rest.find_first_not_of('0');
    if (!rest.empty() && digits != std::string::npos && IsDecimalFromOne(rest.substr(digits))) {
      return prefix + rest.substr(digits);
    }
  }
  return Closest(name, SuggestionKeys());
}

std::string ClosestSection(const std::string& name) { return Closest(name, KnownSections()); }

std::size_t EditDistance(const std::string& a_in, const std::string& b_in) {
  const std::string a = ToLowerAscii(a_in);
  const std::string b = ToLowerAscii(b_in);
  // Optimal string alignment distance over three rows.
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    before.swap(previous);
    previous.swap(row);
  }
  return previous[b.size()];
}

}  // namespace check
}  // namespace kb
