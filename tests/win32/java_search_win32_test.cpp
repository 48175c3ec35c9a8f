// The "registry" entry of the Java search against the real registry: keys
// written with reg.exe in both views, as the installers of 64-bit and
// 32-bit runtimes leave them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"
#include "java/java_search.h"
#include "platform/java_places.h"
#include "support/java_homes.h"
#include "support/test_support.h"

namespace {

struct RegistryEntry {
  std::string key;  // below HKLM\SOFTWARE
  std::string value;
  std::string data;
  const char* view;  // "/reg:64" or "/reg:32"
};

class JavaRegistryWin32 : public ::testing::Test {
 protected:
  ~JavaRegistryWin32() override {
    for (const RegistryEntry& e : written_) {
      kbtest::Run("reg delete \"HKLM\\SOFTWARE\\" + e.key + "\" /f " + e.view);
    }
  }
  void Write(const RegistryEntry& e) {
    const kbtest::RunResult r =
        kbtest::Run("reg add \"HKLM\\SOFTWARE\\" + e.key + "\" /v " + e.value + " /d " +
                    kb::QuoteArgument(e.data) + " /f " + e.view);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    written_.push_back(e);
  }
  kb::JavaSearchResult Find(const std::string& minimum) {
    kb::JavaSearchRequest request;
    request.search = "registry";
    request.minimum = minimum;
    request.launcher_dir = dir_.path();
    return kb::FindJavaRuntime(request);
  }

  kbtest::ScratchDir dir_;
  std::vector<RegistryEntry> written_;
};

TEST_F(JavaRegistryWin32, BothViewsAreSearchedHighestVersionFirst) {
  const std::string jdk17 = kbtest::MakeJavaHome(dir_ / "jdk17", "17.0.15");
  const std::string jre11 = kbtest::MakeJavaHome(dir_ / "jre11", "11.0.22");
  const std::string zulu21 = kbtest::MakeJavaHome(dir_ / "zulu21", "21.0.3");
  ASSERT_NO_FATAL_FAILURE(Write({"JavaSoft\\JDK\\17.0.15", "JavaHome", jdk17 + "\\", "/reg:64"}));
  ASSERT_NO_FATAL_FAILURE(Write({"JavaSoft\\JDK\\17", "JavaHome", jdk17, "/reg:64"}));
  ASSERT_NO_FATAL_FAILURE(
      Write({"Eclipse Adoptium\\JRE\\11.0.22.7\\hotspot\\MSI", "Path", jre11, "/reg:32"}));
  ASSERT_NO_FATAL_FAILURE(
      Write({"Azul Systems\\Zulu\\zulu-21", "InstallationPath", zulu21, "/reg:64"}));

  const kb::JavaSearchResult none = Find("22");
  EXPECT_FALSE(none.found);
  std::vector<int> tried;
  for (const kb::JavaCandidate& c : none.candidates) tried.push_back(c.version.feature);
  // One candidate per home, though the registry names jdk17 twice.
  EXPECT_EQ(tried, (std::vector<int>{21, 17, 11})) << none.detail;

  const kb::JavaSearchResult best = Find("");
  ASSERT_TRUE(best.found) << best.detail;
  EXPECT_TRUE(platform::SameFileName(best.candidates.at(0).home, platform::ResolveLinks(zulu21)));
}

}  // namespace
