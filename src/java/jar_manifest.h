// The "Class-Path" of a JAR file's manifest, as a Java runtime follows it.
//
// A JAR on the class path may name further JAR files in the main section
// of its META-INF/MANIFEST.MF; the runtime loads classes from them too, and
// from the ones they name in turn. The manifest is found through the zip
// file's central directory, read at fixed places with bounded sizes, and
// inflated with zlib. A file that is no zip archive at all has no manifest
// for the runtime either; a zip archive that cannot be read here with
// certainty (zip64, an encrypted or unusually compressed manifest, sizes
// beyond the bounds, two manifests) is reported as such, so that the
// caller can decline rather than guess.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace kb {

// Bounds on what one JAR may make the launcher read.
inline constexpr std::uint64_t kMaxCentralDirectory = 16u << 20;
inline constexpr std::uint64_t kMaxManifest = 1u << 20;

// The manifest's bytes, read from an open JAR of `size` bytes: "" with
// *manifest filled (empty when the file is no zip archive or has no
// manifest), or why the archive cannot be read with certainty.
std::string ReadJarManifest(const platform::Handle& jar, std::uint64_t size, std::string* manifest);

// The entries of the "Class-Path" attribute of the manifest's main
// section, as written (URLs relative to the JAR's folder), in order.
std::vector<std::string> ManifestClassPath(const std::string& manifest);

// The file an entry of "Class-Path" names, for a JAR in `jar_folder`: ""
// with *path filled, or why it is not a file on this machine the runtime
// would read as a JAR (a folder, a URL of another scheme, an escape that
// is not one).
std::string ClassPathEntryFile(const std::string& jar_folder, const std::string& entry,
                               std::string* path);

}  // namespace kb
