#include "check/report.h"

#include <algorithm>

namespace kb {
namespace check {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      break;
  }
  return "note";
}

std::size_t Report::Count(Severity severity) const {
  return static_cast<std::size_t>(
      std::count_if(findings.begin(), findings.end(),
                    [severity](const Finding& f) { return f.severity == severity; }));
}

int Report::ExitCode() const {
  if (Count(Severity::kError) > 0) return 2;
  if (Count(Severity::kWarning) > 0) return 1;
  return 0;
}

}  // namespace check
}  // namespace kb
