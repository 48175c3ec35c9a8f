// The property list and placeholder replacement: a configuration file and a
// master property file made from the input, GetProperties on them, then
// ReplaceProperties on arbitrary text, checked against a plain
// left-to-right replacement of every entry in list order, and refused where
// that would make the text longer by more than the limit.
//
// Input: the configuration file's text after its "[properties]" line, the
// master file's text, and the text to replace in, separated by NUL bytes.
// Both files are written to a folder of their own for each input, so no
// lookup can be answered from what an earlier input left behind. "/" and
// "\" in the files become "_", so a fuzzed "MASTERPROP" names a file in that
// folder, never one elsewhere on the machine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/data_control.h"
#include "fuzz_support.h"
#include "log/log.h"

namespace {

// Every non-overlapping `from`, found left to right, replaced by `to`; the
// inserted text is not looked at again.
std::string ReplaceEach(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      result += to;
      i += from.size();
    } else {
      result += text[i++];
    }
  }
  return result;
}

std::size_t CountEach(const std::string& text, const std::string& from) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, from.size(), from) == 0) {
      ++count;
      i += from.size();
    } else {
      ++i;
    }
  }
  return count;
}

// False when the placeholders would make the text more than the limit
// longer, which the launcher refuses rather than build.
bool ExpectedReplacement(const std::vector<kb::PropertyEntry>& entries, std::string text,
                         std::string* out) {
  unsigned long long added = 0;
  for (const kb::PropertyEntry& entry : entries) {
    const std::string from = "<" + entry.name + ">";
    if (entry.value.size() > from.size()) {
      added += static_cast<unsigned long long>(CountEach(text, from)) *
               (entry.value.size() - from.size());
      if (added > kb::kMaxReplacementGrowth) return false;
    }
    text = ReplaceEach(text, from, entry.value);
  }
  *out = text;
  return true;
}

std::string WithoutSeparators(std::string text) {
  std::replace(text.begin(), text.end(), '/', '_');
  std::replace(text.begin(), text.end(), '\\', '_');
  return text;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kbfuzz::SetUpScratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static unsigned long long input_number = 0;
  const std::vector<std::string> pieces =
      kbfuzz::SplitAtNul(kbfuzz::AsString(data, size), 3);
  const std::string config_text = WithoutSeparators(pieces[0]);
  const std::string master_text = pieces.size() > 1 ? WithoutSeparators(pieces[1]) : "";
  const std::string text = pieces.size() > 2 ? pieces[2] : "";

  const std::string folder =
      kbfuzz::ScratchRoot() + "/input" + std::to_string(++input_number);
  std::filesystem::create_directory(folder);
  const std::string config = folder + "/kb.ini";
  KB_FUZZ_CHECK(WriteFile(config, "[properties]\n" + config_text));
  KB_FUZZ_CHECK(WriteFile(folder + "/master.ini", "[properties]\n" + master_text));

  {
    kb::DataControl control("");
    kb::LogFilePath().clear();
    KB_FUZZ_CHECK(control.GetProperties(config) == 1);
    const std::vector<kb::PropertyEntry>& entries = control.Properties();
    KB_FUZZ_CHECK(!entries.empty());
    // The entry that the next property would be written into is empty.
    KB_FUZZ_CHECK(entries.back().name.empty() || entries.back().name == "LAUNCHERDIR");
    for (const kb::PropertyEntry& entry : entries) {
      KB_FUZZ_CHECK(entry.name.find('\0') == std::string::npos);
      KB_FUZZ_CHECK(entry.value.find('\0') == std::string::npos);
      KB_FUZZ_CHECK(entry.value.size() <= 4095);
    }

    std::string expected;
    const bool fits = ExpectedReplacement(entries, text, &expected);
    KB_FUZZ_CHECK(control.ReplaceProperties(text) == (fits ? expected : text));
    KB_FUZZ_CHECK(control.ReplacementLimitReached() == !fits);
    // Text without a placeholder start comes back as it is.
    if (text.find('<') == std::string::npos) {
      KB_FUZZ_CHECK(control.ReplaceProperties(text) == text);
    }

    control.FreeProperties();
    control.FreeProperties();
    KB_FUZZ_CHECK(control.Properties().size() == 1);
    // Only the empty entry is left, which can only shorten a text.
    KB_FUZZ_CHECK(ExpectedReplacement(control.Properties(), text, &expected));
    KB_FUZZ_CHECK(control.ReplaceProperties(text) == expected);
  }
  kb::LogFilePath().clear();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  kbfuzz::EmptyFolder(kbfuzz::WorkFolder());
  return 0;
}
