// The findings on "<env:NAME>" placeholders whose variable's text would
// split an argument. A variable's text is spliced into the command line as
// it is, as a property's is: written outside quotes, a value with a blank
// becomes two arguments, and a quote in it opens or closes quoting.
#include "check/analysis.h"
#include "check/finding_helpers.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "config/ini_file.h"
#include "config/user_ini.h"
#include "platform/environment.h"

namespace kb {
namespace check {
namespace {

// The keys whose values become command-line text.
bool IsCommandLineKey(const std::string& key) {
  return key == kKeyLauncherCmd || key == kKeyLauncherArgs || key == kKeyClasspath ||
         key == kKeyMainClass ||
         key.compare(0, sizeof kKeyJavaArgsPrefix - 1, kKeyJavaArgsPrefix) == 0 ||
         key.compare(0, sizeof kKeyAddtlArgsPrefix - 1, kKeyAddtlArgsPrefix) == 0;
}

bool HoldsSplitter(const std::string& value, bool quoted) {
  // A quote ends a quoted part as well as starting one.
  if (value.find('"') != std::string::npos) return true;
  return !quoted && value.find_first_of(" \t\r\n\v\f") != std::string::npos;
}

// The property placeholders of `text` replaced in list order, as the
// launch replaces them before the variables; "" when that would grow
// without bound (the launch refuses such a configuration anyway).
std::string WithProperties(std::string text, const Report& report) {
  for (const Property& property : report.properties) {
    text = ReplaceAll(std::move(text), "<" + property.name + ">", property.value);
    if (text.size() > 2 * kMaxReplacementGrowth) return std::string();
  }
  return text;
}

// One finding for each "<env:NAME>" of `text` that the Microsoft C
// runtime's rules would see outside quotes (starting inside them when
// `quoted`) and whose variable now holds white space or a quote, or that
// stands inside quotes with a quote in its value.
void CheckText(const std::string& text, bool quoted, const std::string& file, std::size_t line,
               const std::string& where, Report* report) {
  static const std::string kOpen = "<env:";
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && backslashes % 2 == 0) {
      // A doubled quote inside a quoted part is a literal quote.
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == '<' && text.compare(i, kOpen.size(), kOpen) == 0) {
      const std::size_t close = text.find('>', i + kOpen.size());
      if (close == std::string::npos) return;
      const std::string name = text.substr(i + kOpen.size(), close - i - kOpen.size());
      const std::string value = name.empty() || name.find_first_of("<=") != std::string::npos
                                    ? std::string()
                                    : platform::GetEnvVar(name.c_str());
      if (!value.empty() && HoldsSplitter(value, quoted)) {
        Add(report, Severity::kWarning, "env-splits", file, line,
            "<env:" + name + "> in " + where +
                (quoted ? " is inside quotes" : " is outside quotes") + " and its value " +
                Quoted(value) +
                (value.find('"') != std::string::npos ? " holds a quote" : " holds white space") +
                ": the text is spliced into the command line as it is and splits the "
                "argument; write the placeholder inside double quotes (-Dx=\"<env:" +
                name + ">\")");
      }
      i = close;
    }
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
}

}  // namespace

void AddEnvFindings(const std::string& config_file, const UserIni& user,
                    const std::string& pass_through, Report* report) {
  const std::vector<KeyValue> keys = report->keys;
  for (const KeyValue& kv : keys) {
    if (!IsCommandLineKey(kv.key) || kv.section.empty() || kv.source == "present-but-empty" ||
        kv.source == "not read" || kv.source == "override") {
      continue;
    }
    const std::string written = kv.file.empty()
                                    ? ReadSectionValue(kv.section, kv.key, config_file)
                                    : ReadSectionValue(kv.section, kv.key, user.reader());
    // The program stands in the quotes the launcher writes around it.
    CheckText(WithProperties(written, *report), kv.key == kKeyLauncherCmd,
              kv.file.empty() ? config_file : kv.file, kv.line, kv.key, report);
  }
  CheckText(pass_through, false, "", 0, "the launcher's arguments", report);
}

}  // namespace check
}  // namespace kb
