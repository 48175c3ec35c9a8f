// The property list of DataControl: loading from the configuration file and
// its master property file, placeholder replacement, release.
#include <algorithm>
#include <new>

#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/profile.h"

namespace kb {
namespace {

// The key lists of the section "properties" are first read into 260 bytes,
// and into larger buffers while they do not fit.
constexpr std::size_t kKeyListSize = 260;

std::vector<std::string> PropertyNames(const std::string& file) {
  return ReadKeyNames(kSectionProperties, file, kKeyListSize);
}

// The folder of the configuration file with a trailing separator, or "" when
// its full path cannot be worked out.
std::string FolderOf(const std::string& file) {
  std::string full;
  if (platform::FullPathName(file, &full) != 0) return std::string();
  const std::string::size_type last = full.rfind(platform::PathSeparator());
  if (last == std::string::npos) return std::string();
  return full.substr(0, last + 1);
}

}  // namespace

bool DataControl::HasProperty(const std::string& name) const {
  for (const PropertyEntry& entry : properties_) {
    if (entry.name == name) return true;
  }
  return false;
}

void DataControl::AddProperty(const std::string& name, const std::string& file) {
  // The last entry is the empty one waiting for the next property.
  properties_.back().name = name;
  properties_.back().value = ReadIniValueIn({kSectionProperties, kSectionDefault}, name, file);
  properties_.emplace_back();
}

int DataControl::GetProperties(const std::string& file) {
  try {
    const std::string folder = FolderOf(file);
    std::string master;
    bool master_named = false;
    for (const std::string& name : PropertyNames(file)) {
      if (name == kKeyMasterProp) {
        master_named = true;
        master = NormalizeSlashes(
            ReadIniValueIn({kSectionProperties, kSectionDefault}, kKeyMasterProp, file));
      } else {
        AddProperty(name, file);
      }
    }
    if (!master_named) return 1;
    // "MASTERPROP=" names no file: it asks for the built-in names alone.
    if (master == kPresentButEmpty) master.clear();
    LoadMasterProperties(master, folder);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void DataControl::LoadMasterProperties(std::string master, const std::string& folder) {
  LogInfo("DataControl::GetProperties::masterProperty", master);
  if (master.empty()) {
    // Joined to the configuration's folder it would name that folder (the
    // Windows path service drops the blank that marks an empty value), and
    // opening a folder as a file only earns a warning on every run.
    AddBuiltInProperties();
    return;
  }
  // A relative name is looked for beside the configuration file only, never
  // in the current folder or the Windows folder, where anyone who can start
  // the launcher from a folder of their choice could plant one. A path with
  // a drive or a leading separator is used as given.
  if (!platform::IsRootedPath(master)) {
    if (folder.empty()) {
      master.clear();
    } else {
      master = folder + master;
      std::string full;
      if (platform::FullPathName(master, &full) == 0) master = full;
    }
  }
  master_file_ = master;
  std::vector<std::string> names;
  if (!master.empty()) {
    // Read like an unreadable file, never waited on; the log says why.
    platform::Handle file;
    if (platform::OpenRegularFile(master, &file, nullptr) == platform::kErrorNotRegularFile) {
      LogWarning("DataControl::GetProperties::masterProperty", master + ": not a regular file");
    }
    (void)file.Close();  // only read: a failed close loses nothing
    names = PropertyNames(master);
  }
  for (const std::string& name : names) {
    // The configuration file's own properties win over the master file's.
    if (!HasProperty(name)) AddProperty(name, master);
  }
  AddBuiltInProperties();
}

void DataControl::AddBuiltInProperties() {
  properties_.back().name = kPropWorkingDir;
  properties_.back().value = GetCurrentDir();
  properties_.push_back(PropertyEntry{kPropLauncherDir, GetLauncherDir()});
}

bool DataControl::ReplaceInPiece(const std::string& text, std::size_t* added,
                                 std::string* out, std::vector<TextSpan>* env_spans) {
  std::string result = text;
  for (const PropertyEntry& entry : properties_) {
    const std::string placeholder = "<" + entry.name + ">";
    std::string::size_type hit = result.find(placeholder);
    if (hit == std::string::npos) continue;
    if (entry.value.size() > placeholder.size()) {
      // Counted before anything is built: placeholders that double at every
      // level would otherwise ask for more memory than any machine has.
      std::size_t count = 0;
      for (; hit != std::string::npos; hit = result.find(placeholder, hit + placeholder.size())) {
        ++count;
      }
      const std::size_t growth = entry.value.size() - placeholder.size();
      if (count > (kMaxReplacementGrowth - *added) / growth) return false;
      *added += count * growth;
    }
    result = ReplaceAll(std::move(result), placeholder, entry.value);
  }
  // Environment text is copied straight to the output, never searched.
  static const std::string kOpen = "<env:";
  std::string::size_type at = 0;
  for (;;) {
    const std::string::size_type hit = result.find(kOpen, at);
    const std::string::size_type close =
        hit == std::string::npos ? hit : result.find('>', hit + kOpen.size());
    if (close == std::string::npos) break;
    const std::string name = result.substr(hit + kOpen.size(), close - hit - kOpen.size());
    if (name.empty() || name.find_first_of("<=") != std::string::npos) {
      out->append(result, at, hit + 1 - at);
      at = hit + 1;
      continue;
    }
    const std::string value = platform::GetEnvVar(name.c_str());
    if (value.empty()) {
      if (std::find(unset_logged_.begin(), unset_logged_.end(), name) == unset_logged_.end()) {
        unset_logged_.push_back(name);
        LogWarning("DataControl::ReplaceProperties",
                   "<env:" + name + "> left as written: the variable is unset or empty");
      }
      out->append(result, at, close + 1 - at);
      at = close + 1;
      continue;
    }
    const std::size_t written = close + 1 - hit;
    if (value.size() > written) {
      if (value.size() - written > kMaxReplacementGrowth - *added) return false;
      *added += value.size() - written;
    }
    out->append(result, at, hit - at);
    if (env_spans) env_spans->push_back(TextSpan{out->size(), value.size()});
    *out += value;
    at = close + 1;
  }
  out->append(result, at, std::string::npos);
  return true;
}

std::string DataControl::ReplaceProperties(const std::string& text,
                                           const std::vector<TextSpan>& kept,
                                           std::vector<TextSpan>* env_spans) {
  std::string result;
  std::vector<TextSpan> spans;
  std::size_t added = 0;
  std::size_t pos = 0;
  for (const TextSpan& span : kept) {
    if (span.offset < pos || span.offset > text.size()) continue;
    const std::size_t length = std::min(span.length, text.size() - span.offset);
    if (!ReplaceInPiece(text.substr(pos, span.offset - pos), &added, &result, &spans)) {
      replacement_limit_reached_ = true;
      return text;
    }
    spans.push_back(TextSpan{result.size(), length});
    result.append(text, span.offset, length);
    pos = span.offset + length;
  }
  if (!ReplaceInPiece(text.substr(pos), &added, &result, &spans)) {
    replacement_limit_reached_ = true;
    return text;
  }
  if (env_spans) env_spans->insert(env_spans->end(), spans.begin(), spans.end());
  return result;
}

void DataControl::FreeProperties() {
  properties_.resize(1);
  master_file_.clear();
}

}  // namespace kb
