#include "instance/mutex_obj.h"

#include <utility>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "launcher/messages.h"
#include "log/log.h"
#include "platform/error_codes.h"
#include "platform/mutex.h"
#include "platform/ui.h"

namespace kb {
namespace {

constexpr char kTagIsRunning[] = "MutexObj::IsRunning";
constexpr char kTagLockFolder[] = "MutexObj::IsRunning::lockfolder";
constexpr int kConflictStringId = 4;

std::string MutexName(const std::string& identifier) {
  return std::string(kMutexNamePrefix) + identifier;
}

// Where the names cannot be kept as usual, the log says so: a guard that
// lets everything run must never look like one that found nothing.
void ReportLockFolder() {
  platform::MutexFolderReport report;
  const int error = platform::CheckMutexFolder(&report);
  if (error != 0) {
    std::string text = "no lock folder can be used, so running applications are not detected";
    if (!report.refused.empty()) text += "; " + report.refused + ": " + report.reason;
    if (!report.fallback.empty()) text += "; " + report.fallback + ": " + report.fallback_reason;
    LogWarning(kTagLockFolder, text + " (error " + IntToString(error) + ")");
  } else if (!report.refused.empty()) {
    LogWarning(kTagLockFolder, "the lock folder " + report.refused + " was refused because " +
                                   report.reason + "; using " + report.fallback);
  }
}

}  // namespace

std::vector<std::string> NoRunWithEntries(const std::string& list) {
  std::vector<std::string> entries;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = list.find(',', start);
    const std::string raw = list.substr(
        start, comma == std::string::npos ? std::string::npos : comma - start);
    // Only the end is trimmed: a leading blank is part of the identifier,
    // and mutex names compare exactly.
    const std::string entry = TrimRightChars(raw, " ");
    if (!entry.empty()) entries.push_back(ToLowerAscii(entry));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return entries;
}

MutexObj::MutexObj(std::string section_name, std::string ini_file)
    : section(std::move(section_name)), iniFile(std::move(ini_file)) {}

MutexObj::~MutexObj() { CloseOwnMutex(); }

std::string MutexObj::ReadValue(const std::string& key) const {
  return ReadIniValue(section, key, iniFile);
}

int MutexObj::IsRunning(int silent) {
  ReportLockFolder();
  for (const std::string& entry : NoRunWithEntries(ReadValue(kKeyNoRunWith))) {
    bool exists = false;
    const int error = platform::ProbeNamedMutex(MutexName(entry), &exists);
    if (exists) {
      lastError = kExitAlreadyRunning;
      ReportConflict(entry, silent);
      return kExitAlreadyRunning;
    }
    // A name that cannot be examined (access denied, an insecure folder)
    // does not stop the launch, as a failed probe never did. A free name
    // reads as the system reports it: "not found".
    lastError = error != 0 ? error : platform::kErrorFileNotFound;
  }
  CreateOwnMutex();
  return 0;
}

void MutexObj::ReportConflict(const std::string& entry, int silent) const {
  std::string message = platform::LoadResourceString(kConflictStringId);
  message = ReplaceAll(message, "#1",
                       ReadValue(kKeyNoRunWithDisplayPrefix + entry));
  // The own display name is looked up with "id" exactly as written.
  const std::string own_id = ReadValue(kKeyId);
  message = ReplaceAll(message, "#2",
                       ReadValue(kKeyNoRunWithDisplayPrefix + own_id));
  LogWarning(kTagIsRunning, message);
  if (silent != 1) ShowUserMessageBox(message, kMessageCaption);
}

void MutexObj::CreateOwnMutex() {
  const std::string own_id = TrimRightChars(ReadValue(kKeyId), " ");
  if (own_id.empty()) return;
  ownMutexName = MutexName(ToLowerAscii(own_id));
  // Neither the handle nor "existed already" is examined: launches of one
  // application may run side by side and share the name.
  const int error = platform::CreateNamedMutex(ownMutexName, true, &ownMutex, nullptr);
  if (error != 0) {
    LogWarning(kTagLockFolder, "the name of this application cannot be held, so other "
                               "launches do not see it (error " + IntToString(error) + ")");
  }
}

void MutexObj::CloseOwnMutex() { ownMutex.Close(); }

}  // namespace kb
