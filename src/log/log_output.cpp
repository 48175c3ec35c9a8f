#include "log/log_output.h"

#include "common/constants.h"
#include "common/text.h"

namespace kb {

bool ParseLogOutput(const std::string& value, bool* copy) {
  *copy = true;
  if (value.empty() || value == kPresentButEmpty || EqualsNoCase(value, kLogOutputAll)) {
    return true;
  }
  if (!EqualsNoCase(value, kLogOutputNone)) return false;
  *copy = false;
  return true;
}

bool ParseLogMax(const std::string& value, std::uint64_t* bytes) {
  *bytes = 0;
  if (value.empty() || value == kPresentButEmpty) return true;
  constexpr std::uint64_t kMost = std::uint64_t{1} << 63;
  std::uint64_t number = 0;
  std::size_t at = 0;
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    number = number * 10 + static_cast<std::uint64_t>(value[at] - '0');
    if (number > kMost) return false;
  }
  if (at == 0 || number == 0) return false;
  int shift = 0;
  if (at + 1 == value.size()) {
    switch (value[at]) {
      case 'K': case 'k': shift = 10; break;
      case 'M': case 'm': shift = 20; break;
      case 'G': case 'g': shift = 30; break;
      default: return false;
    }
  } else if (at != value.size()) {
    return false;
  }
  if (number > (kMost >> shift)) return false;
  *bytes = number << shift;
  return true;
}

}  // namespace kb
