// Named mutexes of the Windows layer: a probe must never create a name.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>

#include "platform/mutex.h"

namespace {

// A name no other test run uses, so runs in parallel do not meet.
std::string UniqueName(const char* what) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::string("kb-win32-test-") + what + "-" + std::to_string(stamp);
}

TEST(MutexWin32, ProbeLeavesAFreeNameFree) {
  const std::string name = UniqueName("probe");
  int error = -1;
  EXPECT_EQ(platform::ProbeNamedMutex(name, &error), platform::ProbeResult::kAbsent);
  EXPECT_EQ(error, 2);
  // Probing again and then creating: had a probe created the name, the
  // creation would report 183.
  EXPECT_EQ(platform::ProbeNamedMutex(name, &error), platform::ProbeResult::kAbsent);
  platform::Handle own = platform::CreateNamedMutex(name, true, &error);
  ASSERT_TRUE(own.valid());
  EXPECT_EQ(error, 0);
}

TEST(MutexWin32, SecondCreationOpensTheExistingOne) {
  const std::string name = UniqueName("twice");
  int error = -1;
  platform::Handle first = platform::CreateNamedMutex(name, true, &error);
  ASSERT_TRUE(first.valid());
  ASSERT_EQ(error, 0);
  platform::Handle second = platform::CreateNamedMutex(name, false, &error);
  EXPECT_TRUE(second.valid());
  EXPECT_EQ(error, 183);
  EXPECT_EQ(platform::ProbeNamedMutex(name, &error), platform::ProbeResult::kExists);
  EXPECT_EQ(error, 0);
  // Names are compared exactly, letter case included.
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(platform::ProbeNamedMutex(upper, &error), platform::ProbeResult::kAbsent);
  // The name lives while any handle does, and goes with the last one.
  first.Close();
  EXPECT_EQ(platform::ProbeNamedMutex(name, &error), platform::ProbeResult::kExists);
  second.Close();
  EXPECT_EQ(platform::ProbeNamedMutex(name, &error), platform::ProbeResult::kAbsent);
}

TEST(MutexWin32, InvalidNamesFailWithTheirOwnCode) {
  int error = 0;
  // A backslash is only allowed after a namespace prefix.
  EXPECT_EQ(platform::ProbeNamedMutex("kb\\bad", &error), platform::ProbeResult::kFailed);
  EXPECT_NE(error, 0);
  EXPECT_NE(error, 2);
  error = 0;
  platform::Handle bad = platform::CreateNamedMutex("kb\\bad", false, &error);
  EXPECT_FALSE(bad.valid());
  EXPECT_NE(error, 0);
  EXPECT_NE(error, 183);
}

}  // namespace
