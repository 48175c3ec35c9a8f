#include "java/java_runtime.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/java_places.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

using kbtest::Join;

struct ReleaseCase {
  const char* text;
  const char* version;
  int feature;
};

const ReleaseCase kReleaseCases[] = {
    {"JAVA_VERSION=\"17.0.15\"\n", "17.0.15", 17},
    {"IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"1.8.0_392\"\nOS_NAME=\"Linux\"\n", "1.8.0_392", 8},
    {"JAVA_VERSION=\"21\"", "21", 21},
    {"JAVA_VERSION=\"9\"\r\nOS_ARCH=\"x86\"\r\n", "9", 9},
    {"JAVA_VERSION=\"1.7.0\"", "1.7.0", 7},
    {"JAVA_VERSION=\"17-ea\"", "17-ea", 17},
    {"JAVA_VERSION='11.0.2'", "11.0.2", 11},
    {"  JAVA_VERSION = 25.0.1  \n", "25.0.1", 25},
    // A longer key that starts alike is not the version.
    {"JAVA_VERSION_DATE=\"2025-04-15\"\nJAVA_VERSION=\"17.0.15\"", "17.0.15", 17},
    {"JAVA_VERSION_DATE=\"2025-04-15\"\n", "", 0},
    {"JAVA_RUNTIME_VERSION=\"17.0.15+6\"", "", 0},
    {"", "", 0},
    {"JAVA_VERSION=\"\"", "", 0},
    {"JAVA_VERSION=\"abc\"", "abc", 0},
    {"JAVA_VERSION=\"1.\"", "1.", 0},
    {"JAVA_VERSION=\"0.9\"", "0.9", 0},
    {"JAVA_VERSION=\"99999999999999999999\"", "99999999999999999999", 0},
};

TEST(JavaRuntimeTest, VersionComesFromTheReleaseFileText) {
  for (const ReleaseCase& c : kReleaseCases) {
    const kb::JavaVersion v = kb::ParseReleaseText(c.text);
    EXPECT_EQ(v.text, c.version) << "text: [" << c.text << "]";
    EXPECT_EQ(v.feature, c.feature) << "text: [" << c.text << "]";
  }
}

TEST(JavaRuntimeTest, ProgramIsARuntimeOnlyBesideAReleaseFile) {
  kbtest::ScratchDir dir;
  const std::string home = kbtest::MakeJavaHome(dir / "jdk8", "1.8.0_392");
  const std::string bare = kbtest::MakeJavaHome(dir / "bare", nullptr);
  kbtest::WriteFile(dir / "tool", "");
  kbtest::MakeDirs(dir / "odd");
  kbtest::WriteFile(Join(dir / "odd", "release"), "JAVA_VERSION=\"17\"\n");
  kbtest::WriteFile(Join(dir / "odd", "java"), "");  // no bin folder

  kb::JavaRuntime runtime;
  ASSERT_TRUE(kb::IdentifyJavaRuntime(kb::JavaProgramIn(home, false), &runtime));
  EXPECT_TRUE(platform::SameFileName(runtime.home, platform::ResolveLinks(home)));
  EXPECT_EQ(runtime.version.feature, 8);
  ASSERT_TRUE(kb::IdentifyJavaRuntime(kb::JavaProgramIn(home, true), &runtime));

  EXPECT_FALSE(kb::IdentifyJavaRuntime(kb::JavaProgramIn(bare, false), &runtime));
  EXPECT_FALSE(kb::IdentifyJavaRuntime(dir / "tool", &runtime));
  EXPECT_FALSE(kb::IdentifyJavaRuntime(Join(dir / "odd", "java"), &runtime));
  EXPECT_FALSE(kb::IdentifyJavaRuntime(Join(Join(home, "bin"), "missing"), &runtime));
}

TEST(JavaRuntimeTest, BareProgramNameIsLookedUpInThePath) {
  kbtest::ScratchDir dir;
  const std::string home = kbtest::MakeJavaHome(dir / "jdk", "21.0.1");
  kbtest::ScopedEnv path("PATH", kbtest::PathList({dir / "empty", Join(home, "bin")}));
  kb::JavaRuntime runtime;
  ASSERT_TRUE(kb::IdentifyJavaRuntime("java", &runtime));
  EXPECT_EQ(runtime.version.feature, 21);
}

}  // namespace
