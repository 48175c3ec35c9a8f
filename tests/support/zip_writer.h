// Small zip archives for the tests that read JAR files: entries stored or
// deflated (zlib), and the ways of spoiling one a hostile file could use.
#pragma once

#include <string>
#include <vector>

namespace kbtest {

struct ZipEntry {
  std::string name;
  std::string data;
  bool deflate = true;
  // The sizes and the method the directory claims; negative: the true ones.
  long long claimed_size = -1;
  int method = -1;
  bool encrypted = false;
};

// The archive's bytes, with `prefix` before it (a self-extracting stub)
// and `comment` after its end record.
std::string ZipBytes(const std::vector<ZipEntry>& entries, const std::string& prefix = "",
                     const std::string& comment = "");

// A JAR whose manifest's main section holds "Class-Path: <class_path>"
// (no manifest when class_path is null).
std::string JarBytes(const char* class_path);

}  // namespace kbtest
