// Helpers shared by the two halves of the findings.
#pragma once

#include <string>

#include "check/report.h"

namespace kb {
namespace check {

inline void Add(Report* report, Severity severity, const char* code, const std::string& file,
                std::size_t line, const std::string& message) {
  report->findings.push_back(Finding{severity, code, file, line, message});
}

inline const KeyValue* FindKey(const Report& report, const std::string& key) {
  for (const KeyValue& kv : report.keys) {
    if (kv.key == key) return &kv;
  }
  return nullptr;
}

// The file a key's value was read from: the user file's, else `config`.
inline std::string FileOf(const KeyValue* key, const std::string& config) {
  return key != nullptr && !key->file.empty() ? key->file : config;
}

inline std::string Quoted(const std::string& text) { return "`" + text + "`"; }

}  // namespace check
}  // namespace kb
