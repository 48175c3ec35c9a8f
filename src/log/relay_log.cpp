#include "log/relay_log.h"

#include "log/log.h"

namespace kb {

void RelayLog::LogText(const char* data, std::size_t size) {
  const std::string& path = LogFilePath();
  if (path.empty() || size == 0) return;
  // Most bulk output holds no line feed and is stored without a copy.
  if (!translator_.PassThrough(data, size)) {
    size = translator_.Translate(data, size, translated_);
    data = translated_;
  }
  if (!file_.is_open()) file_ = OpenLogFile();
  if (file_.is_open() && !file_.Write(data, size)) file_.Close();
}

}  // namespace kb
