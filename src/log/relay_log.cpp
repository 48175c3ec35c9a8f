#include "log/relay_log.h"

#include "log/log.h"

namespace kb {

void RelayLog::LogText(const char* data, std::size_t size) {
  const std::string& path = LogFilePath();
  if (path.empty() || size == 0) return;
  open_line_ = data[size - 1] != '\n';
  std::size_t rest = 0;
  // A short head is cheaper copied than written as a piece of its own
  // (Windows writes each piece with a call of its own).
  const std::size_t head = translator_.Split(data, size, translated_, &rest, kCopiedHead);
  if (!file_.is_open()) file_ = OpenLogFile();
  if (!file_.is_open()) return;
  if (const int error = file_.Write(data, head, translated_, rest)) {
    ReportLogLoss(error);
    file_.Close();
  }
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
}

}  // namespace kb
