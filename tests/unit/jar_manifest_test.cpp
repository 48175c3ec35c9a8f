#include "java/jar_manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "java/java_cache_rules.h"
#include "platform/fs.h"
#include "support/test_support.h"
#include "support/zip_writer.h"

namespace {

using kbtest::ZipBytes;
using kbtest::ZipEntry;

constexpr char kManifest[] = "META-INF/MANIFEST.MF";
const std::string kText = "Manifest-Version: 1.0\nClass-Path: lib/a.jar\n\n";

// What ReadJarManifest makes of a file: the manifest, or "!" and why not.
std::string Manifest(const kbtest::ScratchDir& dir, const std::string& bytes) {
  const std::string path = dir / "x.jar";
  kbtest::WriteFile(path, bytes);
  platform::Handle file;
  platform::FileStamp stamp;
  if (platform::OpenRegularFile(path, &file, &stamp) != 0) return "!open";
  std::string manifest;
  const std::string why = kb::ReadJarManifest(file, static_cast<std::uint64_t>(stamp.size), &manifest);
  return why.empty() ? manifest : "!" + why;
}

TEST(JarManifestTest, FindsTheManifestOrSaysWhyItCannotBeTrusted) {
  kbtest::ScratchDir dir;
  const std::string big(kb::kMaxManifest + 1, 'a');
  const struct {
    const char* name;
    std::string bytes;
    std::string expected;  // the manifest, or "!" and a part of the refusal
  } cases[] = {
      {"deflated", ZipBytes({{"a/B.class", "x"}, {kManifest, kText}}), kText},
      {"stored", ZipBytes({{kManifest, kText, false}}), kText},
      {"a name in other letter case", ZipBytes({{"meta-inf/manifest.mf", kText}}), kText},
      {"a stub before the archive", ZipBytes({{kManifest, kText}}, std::string(5000, 'S')), kText},
      {"a comment after it", ZipBytes({{kManifest, kText}}, "", "PK\x05\x06 in a comment"), kText},
      {"no manifest", ZipBytes({{"a/B.class", "x"}}), ""},
      // The runtime reads no class from such a file, nor a manifest.
      {"no zip archive", "PK", ""},
      {"an empty file", "", ""},
      {"two manifests", ZipBytes({{kManifest, kText}, {"META-INF/manifest.mf", kText}}),
       "!it holds two manifests"},
      {"encrypted", ZipBytes({{kManifest, kText, true, -1, -1, true}}), "!encrypted"},
      {"another method", ZipBytes({{kManifest, kText, true, -1, 12}}), "!method 12"},
      {"too large", ZipBytes({{kManifest, big}}), "!larger than"},
      // A small stream that claims less than it inflates to: never more
      // than the claim is written.
      {"more than claimed", ZipBytes({{kManifest, std::string(100000, 'z'), true, 10}}),
       "!cannot be inflated"},
      {"less than claimed", ZipBytes({{kManifest, kText, true, 900}}), "!cannot be inflated"},
      {"stored sizes that differ", ZipBytes({{kManifest, kText, false, 5}}), "!damaged"},
      {"a cut directory", ZipBytes({{kManifest, kText}}).substr(0, 60) +
                              ZipBytes({{kManifest, kText}}).substr(
                                  ZipBytes({{kManifest, kText}}).size() - 22),
       "!"},
      {"zip64", ZipBytes({{kManifest, kText}}).substr(0, ZipBytes({{kManifest, kText}}).size() - 22) +
                    std::string("PK\x05\x06\0\0\0\0\xff\xff\xff\xff", 12) +
                    std::string(8, '\xff') + std::string(2, '\0'),
       "!it is a zip64 archive"},
  };
  for (const auto& c : cases) {
    const std::string got = Manifest(dir, c.bytes);
    if (c.expected.empty() || c.expected[0] != '!') {
      EXPECT_EQ(got, c.expected) << c.name;
    } else {
      EXPECT_TRUE(got.rfind('!', 0) == 0 && got.find(c.expected.substr(1)) != std::string::npos)
          << c.name << ": " << got;
    }
  }
}

TEST(JarManifestTest, ReadsClassPathOfTheMainSectionOnly) {
  const struct {
    std::string manifest;
    std::vector<std::string> entries;
  } cases[] = {
      {"Manifest-Version: 1.0\r\nClass-Path: a.jar  lib/b.jar\r\n\r\n", {"a.jar", "lib/b.jar"}},
      {"class-path: a.jar\n", {"a.jar"}},
      // A line that begins with a space goes on the one before.
      {"Class-Path: lib/lo\n ng.jar c.jar\nX: y\n", {"lib/long.jar", "c.jar"}},
      {"Class-Path: a.jar\rMain-Class: M\r\r", {"a.jar"}},
      {"Main-Class: M\n\nName: x\nClass-Path: hidden.jar\n", {}},
      {"Class-Path: first.jar\nClass-Path: second.jar\n", {"second.jar"}},
      {"Class-Path:nospace.jar\n", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(kb::ManifestClassPath(c.manifest), c.entries) << c.manifest;
}

TEST(JarManifestTest, EntriesAreFilesRelativeToTheJarsFolder) {
  const std::string base = kbtest::IsWindows() ? "C:\\app\\lib" : "/app/lib";
  auto native = [](std::string path) {
    for (char& c : path) {
      if (c == '/') c = platform::PathSeparator();
    }
    return path;
  };
  const std::string root = kbtest::IsWindows() ? "C:" : "";
  const struct {
    std::string entry;
    std::string expected;  // the file, or "!" and a part of the refusal
  } cases[] = {
      {"b.jar", native(root + "/app/lib/b.jar")},
      {"../ext/c.jar", native(root + "/app/ext/c.jar")},
      {"./x/./d.jar", native(root + "/app/lib/x/d.jar")},
      {"my%20lib.jar", native(root + "/app/lib/my lib.jar")},
      {kbtest::IsWindows() ? "/C:/opt/e.jar" : "/opt/e.jar", native(root + "/opt/e.jar")},
      {kbtest::IsWindows() ? "file:/C:/opt/f.jar" : "file:/opt/f.jar", native(root + "/opt/f.jar")},
      {kbtest::IsWindows() ? "file:///C:/opt/g.jar" : "file:///opt/g.jar",
       native(root + "/opt/g.jar")},
      {"file://server/share/h.jar", "!another machine"},
      {"http://example.com/i.jar", "!URL that names no file"},
      {"classes/", "!a folder"},
      {"bad%2.jar", "!no escape"},
      {"bad%zz.jar", "!no escape"},
      {"a\\b.jar", "!no URL path"},
  };
  for (const auto& c : cases) {
    std::string path;
    const std::string why = kb::ClassPathEntryFile(base, c.entry, &path);
    if (c.expected[0] == '!') {
      EXPECT_NE(why.find(c.expected.substr(1)), std::string::npos) << c.entry << ": " << why;
    } else {
      EXPECT_EQ(why, "") << c.entry;
      EXPECT_EQ(path, c.expected) << c.entry;
    }
  }
}

// The runtime loads what manifests name, in turn: each of those JAR files
// enters the key, each once, and a hostile set of manifests ends.
TEST(JarManifestTest, TheClassPathBringsInWhatManifestsName) {
  kbtest::ScratchDir dir;
  kbtest::MakeDirs(dir / "lib");
  kbtest::WriteFile(dir / "app.jar", kbtest::JarBytes("lib/a.jar lib/missing.jar"));
  kbtest::WriteFile(kbtest::Join(dir / "lib", "a.jar"), kbtest::JarBytes("b.jar ../app.jar"));
  kbtest::WriteFile(kbtest::Join(dir / "lib", "b.jar"), kbtest::JarBytes("a.jar"));
  kbtest::WriteFile(dir / "plain.jar", kbtest::JarBytes(nullptr));
  std::vector<kb::JavaCacheInputs::Jar> jars;
  const char sep = kbtest::IsWindows() ? ';' : ':';
  ASSERT_EQ(kb::ReadClassPathJars("app.jar" + std::string(1, sep) + "plain.jar", dir.path(), &jars),
            "");
  std::vector<std::string> names;
  for (const auto& jar : jars) names.push_back(jar.path.substr(dir.path().size() + 1));
  const std::string lib = std::string("lib") + platform::PathSeparator();
  EXPECT_EQ(names, (std::vector<std::string>{"app.jar", lib + "a.jar", lib + "b.jar",
                                             lib + "missing.jar", "plain.jar"}));
  ASSERT_EQ(jars.size(), 5u);
  EXPECT_EQ(jars[3].stamp.size, -1);  // named, not there: the runtime skips it
  EXPECT_GT(jars[1].stamp.size, 0);

  // A manifest that names itself over and over, or more files than the
  // bound, ends with a refusal, not a walk without end.
  std::string many;
  for (std::size_t i = 0; i <= kb::kMaxClassPathJars; ++i) many += "m" + std::to_string(i) + ".jar ";
  kbtest::WriteFile(dir / "many.jar", ZipBytes({{kManifest, "Class-Path: " + many + "\n"}}));
  std::string self;
  for (std::size_t i = 0; i <= kb::kMaxNamedJars; ++i) self += "self.jar ";
  kbtest::WriteFile(dir / "self.jar", ZipBytes({{kManifest, "Class-Path: " + self + "\n"}}));
  kbtest::WriteFile(dir / "bad.jar", kbtest::JarBytes("http://x/y.jar"));
  kbtest::WriteFile(dir / "twice.jar", ZipBytes({{kManifest, kText}, {kManifest, kText}}));
  const struct {
    const char* class_path;
    const char* refusal;
  } refusals[] = {{"many.jar", "more than 1024 JAR files"},
                  {"self.jar", "name more than 8192"},
                  {"bad.jar", "names http://x/y.jar in its Class-Path"},
                  {"twice.jar", "two manifests"}};
  for (const auto& r : refusals) {
    jars.clear();
    const std::string why = kb::ReadClassPathJars(r.class_path, dir.path(), &jars);
    EXPECT_NE(why.find(r.refusal), std::string::npos) << r.class_path << ": " << why;
  }
}

}  // namespace
