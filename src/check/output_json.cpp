#include <cstdio>

#include "check/output.h"
#include "common/text.h"

namespace kb {
namespace check {
namespace {

std::string Escape(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
  return buffer;
}

// The tool's own text, UTF-8 on both builds, as a JSON string.
std::string Str(const std::string& text) { return JsonString(text); }

std::string Line(std::size_t line) {
  return line == 0 ? "null" : IntToString(static_cast<long long>(line));
}

// The exact bytes of a text, two lower-case hexadecimal digits each.
std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out + "\"";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string StrOrNull(const std::string& text) { return text.empty() ? "null" : Str(text); }

std::string Array(const std::vector<std::string>& items, const std::string& indent,
                  std::string (*write)(const std::string&) = Str) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += indent + "  " + write(items[i]) + (i + 1 < items.size() ? ",\n" : "\n");
  }
  return out + indent + "]";
}

// Objects of an array, each written on one line.
template <typename T, typename F>
std::string Objects(const std::vector<T>& items, F&& write) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += "    {" + write(items[i]) + "}" + (i + 1 < items.size() ? ",\n" : "\n");
  }
  return out + "  ]";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceLength(text, i);
    const unsigned lone = length == 0 ? LoneSurrogateAt(text, i) : 0;
    if (lone != 0) {
      // A Windows name's unpaired surrogate: JSON writes the unit itself.
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", lone);
      out += buffer;
      i += 3;
      continue;
    }
    if (length == 0) {
      // A JSON string holds characters, not bytes: a byte that is not
      // UTF-8 has no character of its own. argv_hex keeps the bytes.
      out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text, i, length);
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += Escape(c);
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  return out + "\"";
}

std::string ToJson(const Report& r) {
  std::string out = "{\n";
  auto field = [&out](const std::string& name, const std::string& value, bool last = false) {
    out += "  \"" + name + "\": " + value + (last ? "\n" : ",\n");
  };
  field("configuration", Str(r.config_file));
  field("platform", Str(r.platform));
  field("platform_source", r.platform_given ? "\"given\"" : "\"this machine\"");
  field("launcher", "{\"path\": " + Str(r.launcher) + ", \"kind\": " + IntToString(r.kind) +
                        ", \"kind_from\": " + Str(r.kind_from) +
                        ", \"version\": " + StrOrNull(r.launcher_version) +
                        ", \"reads\": " + Str(r.launcher_reads) + "}");
  if (r.master.named) {
    field("master", "{\"value\": " + Str(r.master.value) + ", \"path\": " +
                        StrOrNull(r.master.path) + ", \"found\": " + Bool(r.master.found) +
                        ",\n    \"added\": " + Array(r.master.added, "    ") +
                        ",\n    \"shadowed\": " + Array(r.master.shadowed, "    ") + "}");
  } else {
    field("master", "null");
  }
  if (r.user_file.empty()) {
    field("user_file", "null");
  } else {
    field("user_file",
          "{\"path\": " + Str(r.user_file) + ", \"state\": " + Str(r.user_file_state) + "}");
  }
  field("keys", Objects(r.keys, [](const KeyValue& k) {
          return "\"key\": " + Str(k.key) + ", \"value\": " + Str(k.value) +
                 ", \"source\": " + Str(k.source) + ", \"section\": " + StrOrNull(k.section) +
                 ", \"line\": " + Line(k.line) + ", \"file\": " + StrOrNull(k.file);
        }));
  field("properties", Objects(r.properties, [](const Property& p) {
          std::string used = "[";
          for (std::size_t i = 0; i < p.used_by.size(); ++i) {
            used += (i ? ", " : "") + Str(p.used_by[i]);
          }
          return "\"name\": " + Str(p.name) + ", \"value\": " + Str(p.value) +
                 ", \"origin\": " + Str(p.origin) + ", \"line\": " + Line(p.line) +
                 ", \"used_by\": " + used + "]";
        }));
  field("working_folder", "{\"path\": " + Str(r.working_folder) +
                              ", \"reason\": " + Str(r.working_folder_reason) + "}");
  field("log_file", Str(r.log_file));
  field("temp_folder", Str(r.temp_folder));
  field("cleanup_folder", StrOrNull(r.clean_folder));
  field("guard", "{\"id\": " + StrOrNull(r.guard_id) + ", \"norunwith\": " +
                     Objects(r.norunwith,
                             [](const GuardEntry& g) {
                               return "\"id\": " + Str(g.id) + ", \"display\": " + Str(g.display) +
                                      ", \"state\": " + Str(g.state);
                             }) +
                     "}");
  field("command_line", r.command_known ? Str(r.command_line) : "null");
  field("argv", r.command_known ? Array(r.argv, "  ") : "null");
  field("argv_hex", r.command_known ? Array(r.argv_bytes, "  ", Hex) : "null");
  field("short_forms", Objects(r.short_forms, [](const Report::ShortForm& s) {
          return "\"original\": " + Str(s.original) + ", \"short\": " + Str(s.short_form);
        }));
  field("program", StrOrNull(r.program));
  field("runner", Str(r.runner));
  field("java_cache", Str(r.java_cache));
  field("java_cache_exists", Bool(r.java_cache_exists));
  field("java_cache_refusal", Str(r.java_cache_refusal));
  field("waits", Bool(r.runner == "relayed" || r.runner == "hidden"));
  field("show_window", Bool(r.show_window));
  field("too_long", Bool(r.too_long));
  field("argument_file", Bool(r.arg_file));
  field("java_search", r.java_searched ? "{\"found\": " + Bool(r.java_found) +
                                             ", \"detail\": " + Str(r.java_detail) +
                                             ", \"log\": " + Array(r.java_log, "    ") + "}"
                                       : std::string("null"));
  field("findings", Objects(r.findings, [](const Finding& f) {
          return std::string("\"severity\": \"") + SeverityName(f.severity) +
                 "\", \"code\": " + Str(f.code) + ", \"file\": " + StrOrNull(f.file) +
                 ", \"line\": " + Line(f.line) + ", \"message\": " + Str(f.message);
        }));
  field("errors", IntToString(static_cast<long long>(r.Count(Severity::kError))));
  field("warnings", IntToString(static_cast<long long>(r.Count(Severity::kWarning))));
  field("notes", IntToString(static_cast<long long>(r.Count(Severity::kNote))), true);
  return out + "}\n";
}

}  // namespace check
}  // namespace kb
