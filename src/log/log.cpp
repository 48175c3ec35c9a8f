#include "log/log.h"

#include "common/constants.h"
#include "common/text.h"
#include "env/env_calls.h"
#include "platform/append_file.h"
#include "platform/fs.h"
#include "platform/system.h"

namespace kb {
namespace {

// Appends bytes to the current log in one write, so that entries of
// launchers sharing one file never interleave. Failures are dropped.
void Append(const std::string& bytes) {
  const std::string& path = LogFilePath();
  if (path.empty()) return;
  platform::AppendFile file = platform::AppendFile::Open(path);
  if (!file.is_open()) return;
  file.Write(bytes);
}

}  // namespace

std::string& LogFilePath() {
  static std::string path;
  return path;
}

std::string ToTextMode(const std::string& text) {
  return ReplaceAll(text, "\n", "\r\n");
}

void LogOpen(const std::string& text) {
  std::string& path = LogFilePath();
  const char sep = platform::PathSeparator();
  std::string folder;
  if (!path.empty() && path != kPresentButEmpty) {
    folder = BeforeLast(path, sep);
  } else {
    folder = GetDataLocation(std::string());
    path = folder + sep + GetLogFileName();
  }
  const int created = platform::CreateDirectoryTree(folder);
  if (created != platform::kErrorSuccess && created != platform::kErrorFileExists &&
      created != platform::kErrorAlreadyExists) {
    return;
  }
  Append(ToTextMode(GetTimeStamp() + text + " started.... \n" + "path= " + folder + "\n" +
                    "logfile= " + path + "\n"));
}

void LogWrite(const std::string& level, const std::string& tag, const std::string& text) {
  if (LogFilePath().empty()) return;
  Append(ToTextMode(GetTimeStamp() + level + " " + tag + "=" + text + "\n"));
}

void LogWarning(const std::string& tag, const std::string& text) {
  LogWrite(kLevelWarning, tag, text);
}

void LogInfo(const std::string& tag, const std::string& text) { LogWrite(kLevelInfo, tag, text); }
void LogInfo(const std::string& tag, const char* text) { LogWrite(kLevelInfo, tag, text); }
void LogInfo(const std::string& tag, int value) { LogWrite(kLevelInfo, tag, IntToString(value)); }
void LogInfoLong(const std::string& tag, std::int32_t value) {
  LogWrite(kLevelInfo, tag, IntToString(value));
}

void LogError(const std::string& tag, const std::string& text) { LogWrite(kLevelError, tag, text); }
void LogError(const std::string& tag, const char* text) { LogWrite(kLevelError, tag, text); }
void LogError(const std::string& tag, int value) { LogWrite(kLevelError, tag, IntToString(value)); }

}  // namespace kb
