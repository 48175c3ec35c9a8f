#include "support/zip_writer.h"

#include <zlib.h>

namespace kbtest {
namespace {

void Put(std::string* out, unsigned long value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::string Deflate(const std::string& data) {
  z_stream stream = {};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::string ZipBytes(const std::vector<ZipEntry>& entries, const std::string& prefix,
                     const std::string& comment) {
  std::string body;
  std::string directory;
  for (const ZipEntry& entry : entries) {
    const std::string packed = entry.deflate ? Deflate(entry.data) : entry.data;
    const int method = entry.method >= 0 ? entry.method : (entry.deflate ? 8 : 0);
    const unsigned long size =
        entry.claimed_size >= 0 ? static_cast<unsigned long>(entry.claimed_size) : entry.data.size();
    const unsigned long crc =
        crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size()));
    const unsigned long offset = body.size();
    std::string header;
    Put(&header, 0, 2);                         // version needed
    Put(&header, entry.encrypted ? 1 : 0, 2);   // flags
    Put(&header, static_cast<unsigned long>(method), 2);
    Put(&header, 0, 4);                         // time and date
    Put(&header, crc, 4);
    Put(&header, packed.size(), 4);
    Put(&header, size, 4);
    Put(&header, entry.name.size(), 2);
    Put(&header, 0, 2);                         // extra
    Put(&body, 0x04034b50, 4);
    body += header + entry.name + packed;
    Put(&directory, 0x02014b50, 4);
    Put(&directory, 20, 2);                     // version made by
    directory += header;
    Put(&directory, 0, 2);                      // comment
    Put(&directory, 0, 2);                      // disk
    Put(&directory, 0, 2);                      // internal attributes
    Put(&directory, 0, 4);                      // external attributes
    Put(&directory, offset, 4);
    directory += entry.name;
  }
  std::string out = prefix + body + directory;
  Put(&out, 0x06054b50, 4);
  Put(&out, 0, 4);
  Put(&out, entries.size(), 2);
  Put(&out, entries.size(), 2);
  Put(&out, directory.size(), 4);
  Put(&out, body.size(), 4);  // as written, without the prefix
  Put(&out, comment.size(), 2);
  return out + comment;
}

std::string JarBytes(const char* class_path) {
  std::vector<ZipEntry> entries;
  if (class_path != nullptr) {
    entries.push_back({"META-INF/MANIFEST.MF",
                       "Manifest-Version: 1.0\r\nClass-Path: " + std::string(class_path) +
                           "\r\nCreated-By: test\r\n\r\n"});
  }
  entries.push_back({"app/Main.class", std::string(64, '\xca')});
  return ZipBytes(entries);
}

}  // namespace kbtest
