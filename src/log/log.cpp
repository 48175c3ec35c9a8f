#include "log/log.h"

#include "common/constants.h"
#include "common/text.h"
#include "log/time_stamp.h"
#include "platform/append_file.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/error_codes.h"
#include "platform/text.h"

namespace kb {
namespace {

// Who hears of a lost log line, and whether this run has told them yet.
// Armed by LogOpen: lines before it (while the options are parsed) may
// precede the folder that LogOpen creates.
LogLossSink g_loss_sink = nullptr;
// Lines logged before LogOpen while DeferLogLines holds them back.
bool g_deferring = false;
std::string g_deferred;
bool g_loss_armed = false;
bool g_loss_reported = false;

void ReportLoss(int error) {
  if (!g_loss_armed || g_loss_reported || g_loss_sink == nullptr) return;
  g_loss_reported = true;
  g_loss_sink(LogFilePath(), error);
}

// The launcher-made name, and the one this launch has created for itself.
std::string& OwnPath() {
  static std::string path;
  return path;
}
std::string& ClaimedPath() {
  static std::string path;
  return path;
}
// Keeps the claimed file from another launch's "logkeep" while this
// launch lives.
platform::Handle& OwnHold() {
  static platform::Handle hold;
  return hold;
}

// "<folder>/app_2026-12-6-18.8.46.log" with "_<n>" before the extension.
std::string NumberedName(const std::string& path, int n) {
  const std::string::size_type dot = path.size() >= 4 && EndsWithNoCase(path, kLogExtension)
                                         ? path.size() - 4
                                         : path.size();
  return path.substr(0, dot) + "_" + IntToString(n) + path.substr(dot);
}

// Creates a file of this launch's own for the launcher-made name.
platform::AppendFile ClaimOwnFile(int* error) {
  constexpr int kMostLaunchesPerSecond = 1000;
  const std::string base = LogFilePath();
  platform::AppendFile file;
  // A file another launch's "logkeep" took away before it was held is
  // made again, a few times at most.
  int removed_before_held = 0;
  for (int n = 1; n <= kMostLaunchesPerSecond; ++n) {
    const std::string candidate = n == 1 ? base : NumberedName(base, n);
    *error = platform::AppendFile::Open(candidate, platform::AppendMode::kNew, &file);
    if (*error == 0) {
      const int held = file.Hold(&OwnHold());
      if (held == platform::kErrorFileNotFound && ++removed_before_held < 10) {
        file.Close();
        --n;
        continue;
      }
      // Any other failure leaves the log unheld: it is still written.
      LogFilePath() = candidate;
      OwnPath() = candidate;
      ClaimedPath() = candidate;
      return file;
    }
    // A missing folder or a refused one: tried again at the next write.
    if (*error != platform::kErrorFileExists) break;
  }
  return platform::AppendFile();
}

// Appends bytes to the current log in one write, so that entries of
// launchers sharing one file never interleave. Failures are dropped.
void Append(const std::string& bytes) {
  platform::AppendFile file = OpenLogFile();
  if (!file.is_open()) return;
  if (const int error = file.Write(bytes)) ReportLoss(error);
}

}  // namespace

std::string& LogFilePath() {
  static std::string path;
  return path;
}

LogPlace ChooseLogPlace(const std::string& named, const std::string& data_folder,
                        const std::string& application) {
  if (!named.empty()) return LogPlace{named, false};
  return LogPlace{data_folder + platform::PathSeparator() + LauncherLogName(application), true};
}

std::string LauncherLogName(const std::string& application) {
  return application + kLogNameSeparator + GetDateTimeStamp() + kLogExtension;
}

void UseLog(const LogPlace& place) {
  LogFilePath() = place.path;
  // A name the launcher makes is claimed exclusively when first written; a
  // name the user gives is opened as named.
  OwnPath() = place.launcher_made ? place.path : std::string();
  ClaimedPath().clear();
  (void)OwnHold().Close();  // the earlier log is no longer this process's own
}

const std::string& OwnLogFile() { return ClaimedPath(); }

platform::AppendFile OpenLogFile() {
  const std::string& path = LogFilePath();
  platform::AppendFile file;
  if (path.empty()) return file;
  int error = 0;
  if (path != OwnPath()) {
    error = platform::AppendFile::Open(path, platform::AppendMode::kNamed, &file);
  } else if (path != ClaimedPath()) {
    file = ClaimOwnFile(&error);
  } else {
    error = platform::AppendFile::Open(path, platform::AppendMode::kOwn, &file);
  }
  if (!file.is_open()) ReportLoss(error);
  return file;
}

void SetLogLossSink(LogLossSink sink) {
  g_loss_sink = sink;
  g_loss_armed = false;
  g_loss_reported = false;
}

void ReportLogLoss(int error) { ReportLoss(error); }

std::string ToTextMode(const std::string& text) {
  return ReplaceAll(text, "\n", "\r\n");
}

void DeferLogLines() {
  g_deferring = true;
  g_deferred.clear();
}

void LogOpen(const std::string& text) {
  std::string deferred;
  deferred.swap(g_deferred);
  g_deferring = false;
  const std::string& path = LogFilePath();
  if (path.empty()) return;
  const std::string folder = BeforeLast(path, platform::PathSeparator());
  g_loss_armed = true;
  const int created = platform::CreateDirectoryTree(folder);
  if (created != platform::kErrorSuccess && created != platform::kErrorFileExists &&
      created != platform::kErrorAlreadyExists) {
    ReportLoss(created);
    return;
  }
  // Opened first: the name may change when this launch claims its own file.
  platform::AppendFile file = OpenLogFile();
  if (!file.is_open()) return;
  const int error = file.Write(
      platform::ToSystemText(ToTextMode(GetTimeStamp() + text + " started.... \n" + "path= " +
                                        folder + "\n" + "logfile= " + LogFilePath() + "\n")) +
      deferred);
  if (error != 0) ReportLoss(error);
}

void LogWrite(const std::string& level, const std::string& tag, const std::string& text) {
  if (LogFilePath().empty() && !g_deferring) return;
  // Stored in the system's code page, as the log always was.
  const std::string line =
      platform::ToSystemText(ToTextMode(GetTimeStamp() + level + " " + tag + "=" + text + "\n"));
  if (g_deferring) {
    g_deferred += line;
    return;
  }
  Append(line);
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
