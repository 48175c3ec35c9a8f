// The pure INI reader against the real GetPrivateProfileStringA, in the same
// process, over a corpus of ordinary and hostile files: every section and
// key seen in a file (plus absent names, letter-case and blank variants), at
// several buffer sizes. Counts and bytes must be identical. The launcher's
// own lookups go through the wide service: its whole answers must be the
// ANSI service's, converted to UTF-8.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_reader.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

// The data folder is compiled in as a host path; under Wine the host's root
// is drive Z:.
std::string CorpusDir() {
  std::string dir = std::string(KB_TEST_DATA_DIR) + "/ini";
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
  std::replace(dir.begin(), dir.end(), '/', '\\');
  return dir;
}

std::string Escaped(const std::string& bytes) {
  std::string out;
  const char* hex = "0123456789abcdef";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// Names as a careless reader would see them: every bracketed line and every
// text before "=", untrimmed and trimmed, so the probes include the blanks
// and odd bytes the service must handle.
void CollectNames(const std::string& bytes, std::set<std::string>* sections,
                  std::set<std::string>* keys) {
  std::string line;
  auto flush = [&] {
    std::string t = line;
    line.clear();
    const auto first = t.find_first_not_of(" \t");
    if (first == std::string::npos) return;
    t = t.substr(first);
    if (t[0] == '[') {
      const auto close = t.rfind(']');
      sections->insert(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    }
    const auto eq = t.find('=');
    keys->insert(t.substr(0, eq));
  };
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      flush();
    } else {
      line += c;
    }
  }
  flush();
}

std::vector<std::string> Variants(const std::set<std::string>& names,
                                  const std::vector<std::string>& extra) {
  std::set<std::string> out(extra.begin(), extra.end());
  for (const std::string& n : names) {
    if (n.size() > 300) {  // long names: as they are
      out.insert(n);
      continue;
    }
    std::string upper = n, lower = n;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    out.insert(n);
    out.insert(upper);
    out.insert(lower);
    out.insert(" " + n + "\t");
    const auto b = n.find_first_not_of(" \t");
    const auto e = n.find_last_not_of(" \t");
    if (b != std::string::npos) out.insert(n.substr(b, e - b + 1));
  }
  // A caller's name ends at its first NUL.
  std::vector<std::string> result;
  for (const std::string& n : out) result.push_back(n.substr(0, n.find('\0')));
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

// The ANSI service itself, the reference of the pure reader.
unsigned long AnsiString(const std::string& section, const std::string& key, std::size_t size,
                         const std::string& file, std::string* value) {
  value->clear();
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  const DWORD count = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                                 buffer.data(), static_cast<DWORD>(size),
                                                 file.c_str());
  if (count > 0 && count < buffer.size()) value->assign(buffer.data(), count);
  return count;
}

unsigned long AnsiKeyNames(const std::string& section, std::size_t size, const std::string& file,
                           std::string* names) {
  names->clear();
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  const DWORD count = ::GetPrivateProfileStringA(section.c_str(), nullptr, nullptr, buffer.data(),
                                                 static_cast<DWORD>(size), file.c_str());
  if (count > 0 && count <= buffer.size()) names->assign(buffer.data(), count);
  return count;
}

std::string U8(const std::string& ansi) { return platform::SystemTextToUtf8(ansi); }

struct Tally {
  long files = 0;
  long lookups = 0;
  long lists = 0;
  long mismatches = 0;
};

void CompareFile(const std::string& label, const std::string& path, const std::string& bytes,
                 Tally* tally) {
  const platform::ProfileReader reader(bytes);
  std::set<std::string> sections, keys;
  CollectNames(bytes, &sections, &keys);
  const auto section_probes = Variants(sections, {"", "nope", "SEC", "properties"});
  const auto key_probes = Variants(keys, {"", "nope", "K", ";key16", "#key17"});
  const std::size_t value_sizes[] = {4096, 260, 0, 1, 2, 3, 4, 5, 8, 11};
  const std::size_t list_sizes[] = {4096, 260, 1, 2, 3, 4, 5, 7, 11, 15, 16, 17, 33};
  ++tally->files;
  for (const std::string& section : section_probes) {
    for (std::size_t size : list_sizes) {
      std::string real, mine;
      const unsigned long real_count = AnsiKeyNames(section, size, path, &real);
      const unsigned long my_count = reader.ReadKeyNames(section, size, &mine);
      ++tally->lists;
      if (real_count != my_count || real != mine) {
        ++tally->mismatches;
        ADD_FAILURE() << label << " list [" << Escaped(section) << "] size " << size
                      << ": service " << real_count << " \"" << Escaped(real) << "\", reader "
                      << my_count << " \"" << Escaped(mine) << "\"";
      }
    }
    for (const std::string& key : key_probes) {
      for (std::size_t size : value_sizes) {
        std::string real, mine;
        const unsigned long real_count = AnsiString(section, key, size, path, &real);
        const unsigned long my_count = reader.ReadString(section, key, size, &mine);
        ++tally->lookups;
        if (real_count != my_count || real != mine) {
          ++tally->mismatches;
          ADD_FAILURE() << label << " [" << Escaped(section) << "] " << Escaped(key) << " size "
                        << size << ": service " << real_count << " \"" << Escaped(real)
                        << "\", reader " << my_count << " \"" << Escaped(mine) << "\"";
        }
        // A whole answer of the launcher's wide lookup: the same characters.
        if (size == 4096 && real_count + 1 < size) {
          std::string wide;
          platform::ReadProfileString(U8(section), U8(key), size, path, &wide);
          if (wide != U8(real)) {
            ++tally->mismatches;
            ADD_FAILURE() << label << " [" << Escaped(section) << "] " << Escaped(key)
                          << ": ANSI service \"" << Escaped(real) << "\", wide \""
                          << Escaped(wide) << "\"";
          }
        }
      }
    }
  }
}

// Text in the Windows build's ANSI code page (1252) as UTF-8. Only bytes
// whose character is the same in Latin-1 take part (the corpus below keeps
// to them), so each byte is its own code point.
std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  for (unsigned char c : ansi) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A UTF-16LE file with a byte-order mark holding the same characters as the
// Latin-1 text.
std::string Utf16LeFile(const std::string& latin1) {
  std::string out = "\xFF\xFE";
  for (unsigned char c : latin1) {
    out += static_cast<char>(c);
    out += '\0';
  }
  return out;
}

// A UTF-16LE file: the reader and the launcher's wide lookups both answer
// in UTF-8. Only whole answers are compared: a cut falls on a different
// character when one character takes two UTF-8 bytes.
void CompareUtf16File(const std::string& label, const std::string& path,
                      const std::string& latin1, Tally* tally) {
  const platform::ProfileReader reader(Utf16LeFile(latin1));
  std::set<std::string> sections, keys;
  CollectNames(latin1, &sections, &keys);
  ++tally->files;
  for (const std::string& section : Variants(sections, {"", "nope", "s"})) {
    std::string real, mine;
    platform::ReadProfileKeyNames(AnsiToUtf8(section), 1 << 16, path, &real);
    const unsigned long my_count = reader.ReadKeyNames(AnsiToUtf8(section), 1 << 16, &mine);
    ++tally->lists;
    if (real != mine || my_count != mine.size()) {
      ++tally->mismatches;
      ADD_FAILURE() << label << " list [" << Escaped(section) << "]: service \""
                    << Escaped(real) << "\", reader \"" << Escaped(mine) << "\"";
    }
    for (const std::string& key : Variants(keys, {"", "nope", "k"})) {
      platform::ReadProfileString(AnsiToUtf8(section), AnsiToUtf8(key), 1 << 16, path, &real);
      const unsigned long count =
          reader.ReadString(AnsiToUtf8(section), AnsiToUtf8(key), 1 << 16, &mine);
      ++tally->lookups;
      if (real != mine || count != mine.size()) {
        ++tally->mismatches;
        ADD_FAILURE() << label << " [" << Escaped(section) << "] " << Escaped(key)
                      << ": service \"" << Escaped(real) << "\", reader \""
                      << Escaped(mine) << "\"";
      }
    }
  }
}

// Deterministic noise: printable text, blanks, brackets, equals signs, line
// ends and high bytes, never a byte-order mark at the start.
std::string Garbage(std::uint32_t seed, std::size_t length) {
  const std::string alphabet = "ab=[] ;\"'\r\n\t\x1a\xa0\xc4\xe4\x81\x7f\x01#";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const std::uint32_t pick = seed >> 24;
    out += pick < 160 ? alphabet[pick % alphabet.size()] : static_cast<char>(seed >> 16);
  }
  out[0] = '[';
  return out;
}

// The launcher's own lookups of one file's text, once at a path the service
// takes and once at one longer than MAX_PATH, which the service cannot take:
// counts and texts must be identical, cut answers included.
void CompareLongPath(const std::string& label, const std::string& short_path,
                     const std::string& long_path, const std::string& ansi_names,
                     Tally* tally) {
  std::set<std::string> sections, keys;
  CollectNames(ansi_names, &sections, &keys);
  const std::size_t value_sizes[] = {4096, 260, 0, 1, 2, 3, 4, 5, 8, 11};
  const std::size_t list_sizes[] = {4096, 260, 1, 2, 3, 4, 5, 7, 11, 15, 16, 17, 33};
  ++tally->files;
  for (const std::string& ansi_section : Variants(sections, {"", "nope", "SEC", "properties"})) {
    const std::string section = U8(ansi_section);
    for (std::size_t size : list_sizes) {
      std::string real, mine;
      const unsigned long real_count = platform::ReadProfileKeyNames(section, size, short_path, &real);
      const unsigned long my_count = platform::ReadProfileKeyNames(section, size, long_path, &mine);
      ++tally->lists;
      if (real_count != my_count || real != mine) {
        ++tally->mismatches;
        ADD_FAILURE() << label << " list [" << Escaped(section) << "] size " << size
                      << ": service " << real_count << " \"" << Escaped(real)
                      << "\", long path " << my_count << " \"" << Escaped(mine) << "\"";
      }
    }
    for (const std::string& ansi_key : Variants(keys, {"", "nope", "K", ";key16", "#key17"})) {
      const std::string key = U8(ansi_key);
      for (std::size_t size : value_sizes) {
        std::string real, mine;
        const unsigned long real_count =
            platform::ReadProfileString(section, key, size, short_path, &real);
        const unsigned long my_count =
            platform::ReadProfileString(section, key, size, long_path, &mine);
        ++tally->lookups;
        if (real_count != my_count || real != mine) {
          ++tally->mismatches;
          ADD_FAILURE() << label << " [" << Escaped(section) << "] " << Escaped(key) << " size "
                        << size << ": service " << real_count << " \"" << Escaped(real)
                        << "\", long path " << my_count << " \"" << Escaped(mine) << "\"";
        }
      }
    }
  }
}

// A configuration whose path is longer than MAX_PATH (an application
// installed deep in a user's folder) reads as the service reads a short one.
TEST(ProfileDifferential, LongPathAnswersLikeTheServiceAtAShortPath) {
  Tally tally;
  const std::string dir = CorpusDir();
  kbtest::ScratchDir scratch;
  std::string deep = scratch.path();
  while (deep.size() < 300) deep += "\\" + std::string(40, 'd');
  kbtest::MakeDirs(deep);
  std::vector<std::pair<std::string, std::string>> files = {
      {"big_value.ini", "[big]\r\nv=" + std::string(5000, 'x') + "\r\nq=\"" +
                            std::string(4094, 'y') + "\"\r\n"},
      {"garbage.ini", Garbage(7, 600)},
      {"utf16.ini", Utf16LeFile("[s\xE9" "ction]\r\nk\xE9y=\xC4rger \xFC\xDF\r\n[s]\r\n"
                                "k=\"\xA0q\xA0\"\r\n")},
  };
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".ini") continue;
    files.emplace_back(entry.path().filename().string(), kbtest::ReadFile(entry.path().string()));
  }
  ASSERT_GE(files.size(), 13u) << "corpus not found in " << dir;
  for (const auto& file : files) {
    const std::string short_path = scratch / file.first;
    const std::string long_path = deep + "\\" + file.first;
    kbtest::WriteFile(short_path, file.second);
    kbtest::WriteFile(long_path, file.second);
    ASSERT_EQ(kbtest::ReadFile(long_path), file.second) << long_path;
    const bool utf16 = file.second.compare(0, 2, "\xFF\xFE") == 0;
    // The names probed: the text as the service reads it, in ANSI.
    CompareLongPath(file.first, short_path, long_path,
                    utf16 ? std::string("[s\xE9" "ction]\nk\xE9y=\n[s]\nk=\n") : file.second,
                    &tally);
  }
  std::cout << "long-path profile differential: " << tally.files << " files, " << tally.lookups
            << " value lookups, " << tally.lists << " key listings, " << tally.mismatches
            << " mismatches\n";
  EXPECT_EQ(tally.mismatches, 0);
  // The reader really served: the service itself cannot take the path.
  std::string value;
  EXPECT_EQ(AnsiString("big", "v", 4096, deep + "\\big_value.ini", &value), 0u);
  EXPECT_EQ(platform::ReadProfileString("big", "v", 4096, deep + "\\big_value.ini", &value),
            4095u);
}

TEST(ProfileDifferential, ReaderAnswersLikeTheService) {
  Tally tally;
  const std::string dir = CorpusDir();
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".ini") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  ASSERT_GE(names.size(), 10u) << "corpus not found in " << dir;
  for (const std::string& name : names) {
    const std::string path = dir + "\\" + name;
    CompareFile(name, path, kbtest::ReadFile(path), &tally);
  }

  // Generated files: too big or too binary to keep in the repository.
  kbtest::ScratchDir scratch;
  std::vector<std::pair<std::string, std::string>> generated = {
      {"big_value.ini", "[big]\r\nv=" + std::string(10 * 1024, 'x') + "\r\nq=\"" +
                            std::string(5000, 'y') + "\"\r\nafter=1\r\n"},
      {"long_names.ini", "[" + std::string(400, 's') + "]\n" + std::string(300, 'k') +
                             "=1\nk=2\n"},
      {"many_keys.ini", [] {
         std::string t = "[sec]\n";
         for (int i = 0; i < 60; ++i) t += "key_" + std::to_string(i) + "=" + std::to_string(i) + "\n";
         return t;
       }()},
  };
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    generated.emplace_back("garbage_" + std::to_string(seed) + ".ini", Garbage(seed, 600));
  }
  for (const auto& file : generated) {
    const std::string path = scratch / file.first;
    kbtest::WriteFile(path, file.second);
    CompareFile(file.first, path, file.second, &tally);
  }
  // UTF-16LE files with a byte-order mark: the corpus files whose bytes are
  // Latin-1 characters of code page 1252 (nothing in 0x80-0x9F, no NUL),
  // and a few names and values of their own above ASCII.
  std::vector<std::pair<std::string, std::string>> utf16 = {
      {"latin1.ini", "[s\xE9" "ction]\r\nk\xE9y=\xC4rger \xFC\xDF\r\n[s]\r\nk=\"\xA0q\xA0\"\r\n"
                     "\xFF=\xFF\r\nnoequals\xE4\r\n"},
  };
  for (const std::string& name : names) {
    const std::string bytes = kbtest::ReadFile(dir + "\\" + name);
    const bool latin1 = std::none_of(bytes.begin(), bytes.end(), [](char c) {
      const unsigned char u = static_cast<unsigned char>(c);
      return u == 0 || (u >= 0x80 && u < 0xA0);
    });
    if (latin1) utf16.emplace_back("utf16_" + name, bytes);
  }
  for (const auto& file : utf16) {
    const std::string path = scratch / file.first;
    kbtest::WriteFile(path, Utf16LeFile(file.second));
    CompareUtf16File(file.first, path, file.second, &tally);
  }

  // Not there at all.
  CompareFile("missing", scratch / "missing.ini", std::string(), &tally);
  tally.files--;  // counted as a file above; it is a probe of absence

  std::cout << "profile differential: " << tally.files << " files, " << tally.lookups
            << " value lookups, " << tally.lists << " key listings, " << tally.mismatches
            << " mismatches\n";
  EXPECT_EQ(tally.mismatches, 0);
}

}  // namespace

namespace {

// A value cut at the buffer's end inside a surrogate pair loses the lone
// first half; it never gains a replacement character.
TEST(ProfileWin32, AValueCutInsideAPairKeepsOnlyWholeCharacters) {
  kbtest::ScratchDir dir;
  const std::string file = dir / "cut.ini";
  std::wstring text = L"\xFEFF[s]\r\nk=" + std::wstring(4094, L'a') + L"\U0001F600\r\n";
  std::string bytes;
  for (const wchar_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  kbtest::WriteFile(file, bytes);
  std::string value;
  EXPECT_EQ(platform::ReadProfileString("s", "k", 4096, file, &value), 4095u);
  EXPECT_EQ(value, std::string(4094, 'a'));
  // Room for the whole pair: the character comes whole.
  EXPECT_EQ(platform::ReadProfileString("s", "k", 4097, file, &value), 4096u);
  EXPECT_EQ(value, std::string(4094, 'a') + "\xF0\x9F\x98\x80");
}

}  // namespace
