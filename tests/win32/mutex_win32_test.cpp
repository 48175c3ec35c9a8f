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
  bool exists = true;
  EXPECT_EQ(platform::ProbeNamedMutex(name, &exists), 0);
  EXPECT_FALSE(exists);
  // Probing again and then creating: had a probe created the name, the
  // creation would find it existing.
  EXPECT_EQ(platform::ProbeNamedMutex(name, &exists), 0);
  EXPECT_FALSE(exists);
  platform::Handle own;
  bool existed = true;
  ASSERT_EQ(platform::CreateNamedMutex(name, true, &own, &existed), 0);
  EXPECT_TRUE(own.valid());
  EXPECT_FALSE(existed);
}

TEST(MutexWin32, SecondCreationOpensTheExistingOne) {
  const std::string name = UniqueName("twice");
  platform::Handle first;
  bool existed = true;
  ASSERT_EQ(platform::CreateNamedMutex(name, true, &first, &existed), 0);
  ASSERT_FALSE(existed);
  platform::Handle second;
  EXPECT_EQ(platform::CreateNamedMutex(name, false, &second, &existed), 0);
  EXPECT_TRUE(second.valid());
  EXPECT_TRUE(existed);
  bool exists = false;
  EXPECT_EQ(platform::ProbeNamedMutex(name, &exists), 0);
  EXPECT_TRUE(exists);
  // Names are compared exactly, letter case included.
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(platform::ProbeNamedMutex(upper, &exists), 0);
  EXPECT_FALSE(exists);
  // The name lives while any handle does, and goes with the last one.
  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(platform::ProbeNamedMutex(name, &exists), 0);
  EXPECT_TRUE(exists);
  EXPECT_EQ(second.Close(), 0);
  EXPECT_EQ(platform::ProbeNamedMutex(name, &exists), 0);
  EXPECT_FALSE(exists);
}

TEST(MutexWin32, InvalidNamesFailWithTheirOwnCode) {
  // A backslash is only allowed after a namespace prefix.
  bool exists = true;
  const int probe = platform::ProbeNamedMutex("kb\\bad", &exists);
  EXPECT_NE(probe, 0);
  EXPECT_NE(probe, 2);
  EXPECT_FALSE(exists);
  platform::Handle bad;
  const int create = platform::CreateNamedMutex("kb\\bad", false, &bad, nullptr);
  EXPECT_NE(create, 0);
  EXPECT_NE(create, 183);
  EXPECT_FALSE(bad.valid());
}

}  // namespace
