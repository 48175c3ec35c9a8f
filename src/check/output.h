// The report for people (plain text, 80 columns) and for machines (one
// JSON document; its schema is in the README).
#pragma once

#include <string>
#include <vector>

#include "check/report.h"

namespace kb {
namespace check {

std::string ToText(const Report& report);
// The texts ToText never breaks across lines, as it shows them: every path
// and argument the report names. A line runs past the width only inside
// one of them or inside one unbroken word.
std::vector<std::string> WholeTexts(const Report& report);
std::string ToJson(const Report& report);

// A JSON string literal of UTF-8 text: every byte that is not part of a
// valid UTF-8 sequence becomes U+FFFD, control characters are escaped.
std::string JsonString(const std::string& utf8);

}  // namespace check
}  // namespace kb
