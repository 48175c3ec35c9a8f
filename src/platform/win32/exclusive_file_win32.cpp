#include <algorithm>
#include <string>

#include "platform/exclusive_file.h"
#include "platform/handle.h"
#include "platform/io.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

// RtlGenRandom (exported by advapi32 as SystemFunction036): the system's
// cryptographic random source, available since Windows XP.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace platform {
namespace {

constexpr int kAttempts = 16;
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";

bool RandomName(std::string* out) {
  unsigned char bytes[16];
  if (!SystemFunction036(bytes, sizeof bytes)) return false;
  out->clear();
  for (unsigned char b : bytes) out->push_back(kNameChars[b % (sizeof kNameChars - 1)]);
  return true;
}

}  // namespace

int CreateExclusiveFile(const std::string& folder, const std::string& prefix,
                        const std::string& suffix, const std::string& bytes, std::string* path) {
  int error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string random;
    if (!RandomName(&random)) return win32::LastError();
    const std::string candidate = folder + "\\" + prefix + random + suffix;
    // CREATE_NEW fails on any existing entry of that name, a link included.
    const std::wstring wide_candidate = win32::Wide(candidate);
    Handle file(win32::FromHandle(::CreateFileW(wide_candidate.c_str(), GENERIC_WRITE, 0,
                                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                                nullptr)));
    if (!file.valid()) {
      error = win32::LastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return error;
    }
    const int write_error = WriteAll(file, bytes.data(), bytes.size());
    const int close_error = file.Close();
    if (write_error != 0 || close_error != 0) {
      ::DeleteFileW(wide_candidate.c_str());
      return write_error != 0 ? write_error : close_error;
    }
    *path = candidate;
    return 0;
  }
  return error;
}

int RemoveFile(const std::string& path) {
  return ::DeleteFileW(win32::Wide(path).c_str()) ? 0 : win32::LastError();
}

int MoveFileOver(const std::string& from, const std::string& to) {
  return ::MoveFileExW(win32::Wide(from).c_str(), win32::Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING)
             ? 0
             : win32::LastError();
}

}  // namespace platform
