// A launcher ended from outside (as Task Manager or taskkill end it) takes
// its relayed child with it, while the processes that child starts and the
// uninstall child live on. Every probe sleeps 10 s and then exits on its
// own, so a child that is wrongly kept alive or wrongly ended shows at once.
#include <windows.h>
#include <tlhelp32.h>
// The test support's own CopyFile, not the system's macro.
#undef CopyFile

#include <gtest/gtest.h>

#include <string>

#include "common/command_line.h"
#include "support/e2e_support.h"

namespace {

constexpr char kProbe[] = "--tc-quiet --tc-sleep=10000";

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
  wide.resize(wide.size() - 1);
  return wide;
}

// The test child that the process of this id started, or 0 (the name keeps
// any helper process of the console out).
DWORD ProbeChildOf(DWORD parent) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more && found == 0;
       more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == parent && ::lstrcmpiW(entry.szExeFile, L"test_child.exe") == 0) {
      found = entry.th32ProcessID;
    }
  }
  ::CloseHandle(snapshot);
  return found;
}

enum class Watched { kChild, kGrandchild };

struct JobCase {
  const char* name;
  std::string args;          // the launcher's command line
  std::string launcherargs;  // the child's arguments in the configuration
  bool uninstall;             // the launcher ends by itself; nobody ends it
  Watched watched;
  bool survives;
};

class ChildJob : public kbtest::LauncherTest {};

TEST_F(ChildJob, EndingTheLauncherEndsOnlyItsHeldChild) {
  const std::string probe = kProbe;
  const std::string relayed = "--tc-quiet --tc-grandchild=10000 --tc-out=up --tc-sleep=10000";
  const std::string uninstall = "Uninstall.JAR " + probe;
  const std::string cleandir = "-cleandir " + kb::QuoteArgument(work_);
  const JobCase cases[] = {
      {"ending the launcher ends its relayed child", "", relayed, false,
       Watched::kChild, false},
      {"a grandchild started by the child survives", "", relayed, false,
       Watched::kGrandchild, true},
      {"an uninstall child survives", cleandir, uninstall, true, Watched::kChild,
       true},
  };
  Install();
  for (const JobCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteIni(std::string("[wx6]\nlaunchercmd=") + kbtest::Child() + "\nlauncherargs=" +
             c.launcherargs + "\n");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, &inherit, 0));
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    std::wstring line = Wide(LaunchLine(c.args));
    PROCESS_INFORMATION launcher;
    ASSERT_TRUE(::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &launcher));
    ::CloseHandle(write);
    ::CloseHandle(launcher.hThread);
    if (c.uninstall) {
      // It returns once its child is started.
      ::WaitForSingleObject(launcher.hProcess, INFINITE);
    } else {
      // "up" comes once the grandchild is started.
      std::string seen;
      char chunk[256];
      DWORD count = 0;
      while (seen.find("up") == std::string::npos &&
             ::ReadFile(read, chunk, sizeof chunk, &count, nullptr) && count > 0) {
        seen.append(chunk, count);
      }
      ASSERT_NE(seen.find("up"), std::string::npos) << seen;
    }
    const DWORD child = ProbeChildOf(launcher.dwProcessId);
    ASSERT_NE(child, 0u);
    const DWORD watched = c.watched == Watched::kChild ? child : ProbeChildOf(child);
    ASSERT_NE(watched, 0u);
    HANDLE target = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, watched);
    ASSERT_NE(target, nullptr);
    HANDLE held = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, child);
    // The grandchild of a relayed run is ended below with the rest.
    HANDLE grandchild =
        c.uninstall ? nullptr
                    : ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProbeChildOf(child));
    if (!c.uninstall) {
      ASSERT_TRUE(::TerminateProcess(launcher.hProcess, 1));
      ::WaitForSingleObject(launcher.hProcess, INFINITE);
    }
    if (c.survives) {
      EXPECT_EQ(::WaitForSingleObject(target, 0), WAIT_TIMEOUT);
    } else {
      // Well within the probe's own 10 s.
      EXPECT_EQ(::WaitForSingleObject(target, 5000), WAIT_OBJECT_0);
    }
    for (HANDLE h : {target, held, grandchild}) {
      if (h == nullptr) continue;
      ::TerminateProcess(h, 0);
      ::WaitForSingleObject(h, INFINITE);
      ::CloseHandle(h);
    }
    ::CloseHandle(read);
    ::CloseHandle(launcher.hProcess);
    RemoveLogs();
  }
}

}  // namespace
