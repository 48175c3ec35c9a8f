// A JAR file's manifest and its "Class-Path" on arbitrary file bytes, as a
// hostile archive on the class path would give them.
//
// Properties: the reader ends, never gives more than kMaxManifest bytes,
// gives a manifest or a reason, never both; every entry of "Class-Path"
// is non-empty and free of white space, and each either names a file in
// the JAR's folder or beyond it, or says why not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "java/jar_manifest.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kbfuzz::SetUpScratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string jar = kbfuzz::WorkFolder() + "/x.jar";
  {
    std::FILE* file = std::fopen(jar.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  platform::Handle file;
  platform::FileStamp stamp;
  if (platform::OpenRegularFile(jar, &file, &stamp) != 0) return 0;
  std::string manifest;
  const std::string why = kb::ReadJarManifest(file, static_cast<std::uint64_t>(stamp.size), &manifest);
  KB_FUZZ_CHECK(manifest.size() <= kb::kMaxManifest);
  KB_FUZZ_CHECK(why.empty() || manifest.empty());
  // The input read as a manifest itself, too: the parser sees every text.
  for (const std::string& text : {manifest, kbfuzz::AsString(data, size)}) {
    for (const std::string& entry : kb::ManifestClassPath(text)) {
      KB_FUZZ_CHECK(!entry.empty());
      KB_FUZZ_CHECK(entry.find_first_of(" \t\r\n\f") == std::string::npos);
      std::string path;
      const std::string refusal = kb::ClassPathEntryFile("/app/lib", entry, &path);
      KB_FUZZ_CHECK(refusal.empty() != path.empty());
      KB_FUZZ_CHECK(refusal.empty() ? path[0] == '/' : true);
    }
  }
  return 0;
}
