#include "log/relay_log.h"

#include "common/constants.h"
#include "common/text.h"
#include "log/log.h"

namespace kb {

void RelayLog::Open() {
  file_ = OpenLogFile();
  std::uint64_t size = 0;
  // A size that cannot be read counts as an empty file: the bound is then
  // kept from here on.
  if (file_.is_open() && file_.Size(&size) == 0) logged_ = size;
}

std::size_t RelayLog::Fitting(const char* data, std::size_t size) const {
  if (logging_.max_bytes == 0) return size;
  if (left_out_ > 0 || logged_ >= logging_.max_bytes) return 0;
  std::uint64_t room = logging_.max_bytes - logged_;
  std::size_t fit = 0;
  for (; fit < size; ++fit) {
    const std::uint64_t cost = data[fit] == '\n' ? 2 : 1;
    if (cost > room) break;
    room -= cost;
  }
  return fit;
}

void RelayLog::LogText(const char* data, std::size_t size) {
  const std::string& path = LogFilePath();
  if (path.empty() || size == 0 || !logging_.copy) return;
  if (logging_.max_bytes != 0 && !file_.is_open()) Open();
  const std::size_t fit = Fitting(data, size);
  left_out_ += size - fit;
  if (fit == 0) return;
  size = fit;
  open_line_ = data[size - 1] != '\n';
  std::size_t rest = 0;
  // A short head is cheaper copied than written as a piece of its own
  // (Windows writes each piece with a call of its own).
  const std::size_t head = translator_.Split(data, size, translated_, &rest, kCopiedHead);
  if (!file_.is_open()) Open();
  if (!file_.is_open()) return;
  if (const int error = file_.Write(data, head, translated_, rest)) {
    ReportLogLoss(error);
    file_.Close();
    return;
  }
  logged_ += head + rest;
}

void RelayLog::Finish() {
  if (open_line_) {
    open_line_ = false;
    if (!file_.is_open()) file_ = OpenLogFile();
    // The closing line end only tidies the file's last line; its loss is
    // not worth a report of its own.
    (void)file_.Write("\r\n", 2);
  }
  file_.Close();
  translator_ = LineEndTranslator();
  if (left_out_ > 0) {
    LogInfo(kTagLogMax, IntToString(static_cast<long long>(left_out_)) +
                            " bytes of the child's output were left out of the log, which "
                            "reached logmax=" +
                            IntToString(static_cast<long long>(logging_.max_bytes)) +
                            " bytes");
  }
  left_out_ = 0;
  logged_ = 0;
}

}  // namespace kb
