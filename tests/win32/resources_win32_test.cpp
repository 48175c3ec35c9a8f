// What the executable's own image gives the launcher: the string table, the
// manifest's effect on the reported version, and the WOW64 answer.
#include <gtest/gtest.h>

#include <string>

#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/running_program.h"
#include "platform/system_version.h"
#include "platform/ui.h"
#include "platform/win32/windows_api.h"

namespace {

// Written out here rather than taken from strings.def, so that a resource
// compiler that read the escapes differently would be caught.
struct StringCase {
  int id;
  const char* text;
};
const StringCase kStringTable[] = {
    {1, "Kestrelbay"},
    {2, "This argument does not exist."},
    {3, "Given Java does not exist or imcomplete."},
    {4, "The #2 cannot be invoked while the #1 is running."},
    {5, "This application does not support your platform."},
    {6, "This file is missing:"},
    {7, "Launcher failed to initialize."},
    {8, "Launcher exist with an genetic error. Please check its log file for "
        "details."},
    {9, "Following argument can be used: \x0a -console\x09\x09print all "
        "standard output into log file. \x0a -log <filename>\x09Use giving "
        "log file instead. \x0a"},
    {10, "System does not have enough disk space."},
    {11, "System does not have enough memory."},
};

TEST(ResourcesWin32, StringTableLoadsEveryTextExactly) {
  for (const StringCase& entry : kStringTable) {
    EXPECT_EQ(platform::LoadResourceString(entry.id), entry.text)
        << "string id " << entry.id;
  }
}

TEST(ResourcesWin32, UsageTextCarriesRealLineFeedsAndTabs) {
  const std::string usage = platform::LoadResourceString(9);
  EXPECT_EQ(usage.find('\\'), std::string::npos) << "escape left unconverted";
  EXPECT_EQ(usage.back(), '\n');
  EXPECT_NE(usage.find("-console\t\tprint"), std::string::npos);
}

TEST(ResourcesWin32, IdsOutsideTheTableAreEmpty) {
  for (int id : {0, 12, 16, 1000, 65535}) {
    EXPECT_EQ(platform::LoadResourceString(id), "") << "string id " << id;
  }
}

// The system's own version, which the kernel answers whatever a program's
// manifest declares.
bool RealVersion(unsigned* major, unsigned* minor) {
  using Query = LONG(WINAPI*)(OSVERSIONINFOW*);
  const Query query = platform::win32::LateBound<Query>("ntdll.dll", "RtlGetVersion");
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (query == nullptr || query(&info) != 0) return false;
  *major = info.dwMajorVersion;
  *minor = info.dwMinorVersion;
  return true;
}

TEST(ResourcesWin32, ManifestLetsTheSystemReportItsOwnVersion) {
  // Declaring every system up to Windows 10 and 11 keeps later systems
  // from answering 6.2 in its place. The data folder only asks whether the
  // major version is 6 or more, which holds from Vista on either way.
  platform::VersionInfo version;
  ASSERT_EQ(platform::QueryVersion(&version), 0);
  unsigned major = 0;
  unsigned minor = 0;
  ASSERT_TRUE(RealVersion(&major, &minor));
  EXPECT_EQ(version.major, major);
  EXPECT_EQ(version.minor, minor);
  EXPECT_GE(version.major, 6u);
}

TEST(ResourcesWin32, Wow64AnswerMatchesTheSystemsOwnMarker) {
  // Windows gives a 32-bit process on a 64-bit system the variable
  // PROCESSOR_ARCHITEW6432; Wine's default prefix is such a system.
  const bool wow64 = !platform::GetEnvVar("PROCESSOR_ARCHITEW6432").empty();
  EXPECT_EQ(platform::QueryWow64(), wow64 ? platform::Wow64Answer::kWow64
                                          : platform::Wow64Answer::kNative);
}

TEST(ResourcesWin32, ExecutablePathIsTheRunningImage) {
  std::string exe;
  ASSERT_EQ(platform::ExecutablePath(&exe), 0);
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(platform::IsAbsolutePath(exe)) << exe;
  EXPECT_EQ(platform::GetPathKind(exe), platform::PathKind::kFile) << exe;
  const std::string suffix = ".exe";
  ASSERT_GT(exe.size(), suffix.size());
  EXPECT_EQ(exe.substr(exe.size() - suffix.size()), suffix);
}

}  // namespace
