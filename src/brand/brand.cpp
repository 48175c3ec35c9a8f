#include "brand/brand.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>

namespace brand {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconFileEntrySize = 16;
constexpr std::size_t kIconGroupEntrySize = 14;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kBlockHeaderSize = 6;

std::uint16_t Get16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(Get16(b, at)) |
         (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}
void Put16(Bytes* b, std::uint16_t v) {
  b->push_back(static_cast<std::uint8_t>(v & 0xFF));
  b->push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes* b, std::uint32_t v) {
  Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(b, static_cast<std::uint16_t>(v >> 16));
}
void Set16(Bytes* b, std::size_t at, std::uint16_t v) {
  (*b)[at] = static_cast<std::uint8_t>(v & 0xFF);
  (*b)[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Set32(Bytes* b, std::size_t at, std::uint32_t v) {
  Set16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
  Set16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
void PadTo4(Bytes* b) {
  while (b->size() % 4 != 0) b->push_back(0);
}
std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

bool StartsWithBytes(const Bytes& b, std::size_t at, std::size_t size, const Bytes& prefix) {
  return size >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin() + at);
}

// A text value as stored: UTF-16 little-endian with its terminating zero.
Bytes TextValue(const std::u16string& text) {
  Bytes value;
  for (char16_t c : text) Put16(&value, static_cast<std::uint16_t>(c));
  Put16(&value, 0);
  return value;
}

std::u16string TextOf(const Bytes& value) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(Get16(value, i));
    if (c == 0) break;
    text += c;
  }
  return text;
}

// One block at [at, end): header, key, value, children. Every length is
// checked against the bytes that hold it, so no input reads outside them.
bool ParseBlock(const Bytes& b, std::size_t at, std::size_t end, VersionBlock* block) {
  if (at + kBlockHeaderSize > end) return false;
  const std::size_t length = Get16(b, at);
  const std::size_t value_length = Get16(b, at + 2);
  block->type = Get16(b, at + 4);
  if (length < kBlockHeaderSize || at + length > end) return false;
  const std::size_t block_end = at + length;
  std::size_t p = at + kBlockHeaderSize;
  block->key.clear();
  for (;;) {
    if (p + 2 > block_end) return false;
    const char16_t c = static_cast<char16_t>(Get16(b, p));
    p += 2;
    if (c == 0) break;
    block->key += c;
  }
  p = std::min(Align4(p - at) + at, block_end);
  // Text lengths count UTF-16 units; some compilers count bytes, so the
  // value is cut to what the block holds.
  std::size_t value_bytes = block->type == 1 ? value_length * 2 : value_length;
  value_bytes = std::min(value_bytes, block_end - p);
  if (block->type == 1) value_bytes &= ~static_cast<std::size_t>(1);  // whole UTF-16 units
  block->value.assign(b.begin() + p, b.begin() + p + value_bytes);
  p = std::min(Align4(p + value_bytes - at) + at, block_end);
  block->children.clear();
  while (p < block_end) {
    VersionBlock child;
    if (!ParseBlock(b, p, block_end, &child)) return false;
    const std::size_t child_length = Get16(b, p);
    block->children.push_back(std::move(child));
    p = Align4(p + child_length - at) + at;
  }
  return true;
}

void BuildBlock(const VersionBlock& block, Bytes* out) {
  const std::size_t start = out->size();
  Put16(out, 0);  // length, filled in below
  const std::size_t value_length = block.type == 1 ? block.value.size() / 2 : block.value.size();
  Put16(out, static_cast<std::uint16_t>(value_length));
  Put16(out, block.type);
  for (char16_t c : block.key) Put16(out, static_cast<std::uint16_t>(c));
  Put16(out, 0);
  PadTo4(out);
  out->insert(out->end(), block.value.begin(), block.value.end());
  for (const VersionBlock& child : block.children) {
    PadTo4(out);
    BuildBlock(child, out);
  }
  Set16(out, start, static_cast<std::uint16_t>(out->size() - start));
}

VersionBlock* FindChild(VersionBlock* parent, const std::u16string& key) {
  for (VersionBlock& child : parent->children) {
    if (child.key == key) return &child;
  }
  return nullptr;
}

// Sets (or adds) one string of a string table; an empty value does nothing.
void SetString(VersionBlock* table, const std::u16string& key, const std::u16string& value) {
  if (value.empty()) return;
  VersionBlock* entry = FindChild(table, key);
  if (entry == nullptr) {
    table->children.push_back(VersionBlock{key, 1, {}, {}});
    entry = &table->children.back();
  }
  entry->type = 1;
  entry->value = TextValue(value);
}

std::uint32_t GetBig32(const Bytes& b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// The CRC-32 of PNG chunks (ISO 3309, reflected, as zlib computes it).
std::uint32_t Crc32(const Bytes& b, std::size_t at, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = at; i < at + size; ++i) {
    crc ^= b[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

// Checks a PNG image of `size` bytes at `offset` against its directory
// entry, as Windows will read it: the header chunk first, with the entry's
// width and height (0 meaning 256); every chunk whole and its CRC right, up
// to the end chunk, which ends within the entry. Empty when sound, else why
// not.
std::string PngProblem(const Bytes& b, std::size_t offset, std::size_t size, unsigned width,
                       unsigned height) {
  constexpr std::size_t kSignature = 8;
  constexpr std::size_t kChunkFrame = 12;  // length, type, CRC
  constexpr std::size_t kHeaderData = 13;
  const std::size_t end = offset + size;
  std::size_t at = offset + kSignature;
  for (std::size_t chunk = 1;; ++chunk) {
    if (end - at < kChunkFrame) return "it ends before its end chunk";
    const std::uint32_t length = GetBig32(b, at);
    if (length > end - at - kChunkFrame) return "a chunk runs past the image's end";
    const std::string type(b.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           b.begin() + static_cast<std::ptrdiff_t>(at + 8));
    if (Crc32(b, at + 4, 4 + length) != GetBig32(b, at + 8 + length)) {
      return "the CRC of its chunk " + std::to_string(chunk) + " is wrong";
    }
    if (chunk == 1) {
      if (type != "IHDR" || length != kHeaderData) return "it does not start with its header";
      const std::uint32_t png_width = GetBig32(b, at + 8);
      const std::uint32_t png_height = GetBig32(b, at + 12);
      if (png_width != (width == 0 ? 256u : width) || png_height != (height == 0 ? 256u : height)) {
        return "it is " + std::to_string(png_width) + "x" + std::to_string(png_height) +
               " pixels, but the icon's directory says " +
               std::to_string(width == 0 ? 256u : width) + "x" +
               std::to_string(height == 0 ? 256u : height);
      }
    }
    at += kChunkFrame + length;
    if (type == "IEND") return std::string();
  }
}

bool IsDecimal(const std::string& s) {
  return !s.empty() && s.size() <= 5 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Plain letters for U+00C0 to U+00FF, empty for the two signs among them.
const char* const kLatin1Plain[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
    "D", "N", "O", "O", "O", "O", "O",  "",  "O", "U", "U", "U", "U", "Y", "Th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y",
};

bool IsAsciiAlnum(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Adds the text's dot-separated parts, each reduced to ASCII letters and
// digits, leaving out the parts that nothing is left of.
void AddIdentityParts(const std::u16string& text, std::vector<std::string>* parts) {
  std::string part;
  for (char16_t c : text) {
    if (c == u'.') {
      if (!part.empty()) parts->push_back(part);
      part.clear();
    } else if (IsAsciiAlnum(c)) {
      part += static_cast<char>(c);
    } else if (c >= 0xC0 && c <= 0xFF) {
      part += kLatin1Plain[c - 0xC0];
    }
  }
  if (!part.empty()) parts->push_back(part);
}

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Finds attribute `name` inside the tag [begin, end) and gives where its
// value starts and how long it is (between its quotes).
bool FindAttribute(const std::string& xml, std::size_t begin, std::size_t end,
                   const std::string& name, std::size_t* value_at, std::size_t* value_size) {
  for (std::size_t at = xml.find(name, begin); at != std::string::npos && at < end;
       at = xml.find(name, at + 1)) {
    if (!IsXmlBlank(xml[at - 1])) continue;  // the end of a longer name
    std::size_t p = at + name.size();
    while (p < end && IsXmlBlank(xml[p])) ++p;
    if (p >= end || xml[p] != '=') continue;
    ++p;
    while (p < end && IsXmlBlank(xml[p])) ++p;
    if (p >= end || (xml[p] != '"' && xml[p] != '\'')) continue;
    const std::size_t close = xml.find(xml[p], p + 1);
    if (close == std::string::npos || close >= end) return false;
    *value_at = p + 1;
    *value_size = close - p - 1;
    return true;
  }
  return false;
}

}  // namespace

std::string ManifestIdentityName(const std::u16string& company, const std::u16string& product) {
  std::vector<std::string> parts;
  AddIdentityParts(company, &parts);
  AddIdentityParts(product, &parts);
  // A name of no ASCII letter at all still needs an identity.
  if (parts.empty()) return "Application";
  std::string name = parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) name += "." + parts[i];
  return name;
}

std::string XmlText(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        AppendUtf8(IsXmlChar(c) ? c : 0xFFFD, &out);
    }
  }
  return out;
}

ManifestBrand ManifestBrandOf(const VersionBlock& version_root) {
  ManifestBrand brand;
  brand.identity_name = ManifestIdentityName(VersionString(version_root, u"CompanyName"),
                                             VersionString(version_root, u"ProductName"));
  brand.description = VersionString(version_root, u"FileDescription");
  brand.version = "0.0.0.0";
  if (version_root.value.size() >= kFixedInfoSize) {
    const std::uint32_t ms = Get32(version_root.value, 8);
    const std::uint32_t ls = Get32(version_root.value, 12);
    brand.version = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                    std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
  }
  return brand;
}

bool RebrandManifest(const std::string& manifest, const ManifestBrand& brand, std::string* out) {
  const std::string kIdentity = "<assemblyIdentity";
  const std::size_t identity = manifest.find(kIdentity);
  if (identity == std::string::npos) return false;
  const std::size_t identity_end = manifest.find('>', identity);
  if (identity_end == std::string::npos) return false;
  std::size_t name_at = 0, name_size = 0, version_at = 0, version_size = 0;
  if (!FindAttribute(manifest, identity + kIdentity.size(), identity_end, "name", &name_at,
                     &name_size) ||
      !FindAttribute(manifest, identity + kIdentity.size(), identity_end, "version", &version_at,
                     &version_size)) {
    return false;
  }
  std::string text = manifest;
  // The later value first, so the earlier one's place still holds.
  if (name_at > version_at) {
    text.replace(name_at, name_size, brand.identity_name);
    text.replace(version_at, version_size, brand.version);
  } else {
    text.replace(version_at, version_size, brand.version);
    text.replace(name_at, name_size, brand.identity_name);
  }
  const std::string description = XmlText(brand.description);
  const std::string kOpen = "<description>";
  const std::string kClose = "</description>";
  const std::size_t open = text.find(kOpen);
  const std::size_t close = open == std::string::npos ? open : text.find(kClose, open);
  if (close != std::string::npos) {
    text.replace(open + kOpen.size(), close - open - kOpen.size(), description);
  } else {
    const std::size_t after_identity = text.find('>', identity) + 1;
    text.insert(after_identity, "\n  " + kOpen + description + kClose);
  }
  *out = std::move(text);
  return true;
}

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  *options = Options();
  bool any_change = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* slot = nullptr;
    if (arg == "--icon") slot = &options->icon;
    if (arg == "--name") slot = &options->name;
    if (arg == "--version") slot = &options->version;
    if (arg == "--company") slot = &options->company;
    if (arg == "--description") slot = &options->description;
    if (arg == "--copyright") slot = &options->copyright;
    if (slot != nullptr) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = arg + " needs a value";
        return false;
      }
      *slot = args[++i];
      any_change = true;
    } else if (arg.rfind("--", 0) == 0) {
      *error = "unknown option " + arg;
      return false;
    } else if (options->target.empty()) {
      options->target = arg;
    } else {
      *error = "more than one target file: " + options->target + ", " + arg;
      return false;
    }
  }
  if (options->target.empty()) {
    *error = "no target file given";
    return false;
  }
  if (!any_change) {
    *error =
        "nothing to change: give --icon, --name, --version, --company, --description or "
        "--copyright";
    return false;
  }
  std::uint16_t numbers[4];
  if (!options->version.empty() && !ParseVersion(options->version, numbers)) {
    *error = "the version must be four numbers from 0 to 65535, as 1.2.3.0: " + options->version;
    return false;
  }
  return true;
}

bool ParseVersion(const std::string& text, std::uint16_t out[4]) {
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = text.find('.', start);
    const bool last = part == 3;
    if (last != (dot == std::string::npos)) return false;
    const std::string piece = text.substr(start, last ? std::string::npos : dot - start);
    if (!IsDecimal(piece)) return false;
    const unsigned long value = std::stoul(piece);
    if (value > 0xFFFF) return false;
    out[part] = static_cast<std::uint16_t>(value);
    start = dot + 1;
  }
  return true;
}

bool ParseIconFile(const Bytes& file, std::vector<IconImage>* images, std::string* error) {
  images->clear();
  if (file.size() < kIconDirSize || Get16(file, 0) != 0 || Get16(file, 2) != 1) {
    *error = "not an icon file (no icon header)";
    return false;
  }
  const std::size_t count = Get16(file, 4);
  if (count == 0) {
    *error = "the icon file holds no images";
    return false;
  }
  const std::size_t directory_end = kIconDirSize + count * kIconFileEntrySize;
  if (directory_end > file.size()) {
    *error = "the icon file is cut short";
    return false;
  }
  static const Bytes kPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  static const Bytes kBitmapHeader = {40, 0, 0, 0};
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t e = kIconDirSize + i * kIconFileEntrySize;
    const std::size_t size = Get32(file, e + 8);
    const std::size_t offset = Get32(file, e + 12);
    if (size == 0 || offset < directory_end || offset > file.size() ||
        size > file.size() - offset) {
      *error = "image " + std::to_string(i + 1) + " of the icon file lies outside it";
      return false;
    }
    const bool png = StartsWithBytes(file, offset, size, kPng);
    if (!png && !StartsWithBytes(file, offset, size, kBitmapHeader)) {
      *error = "image " + std::to_string(i + 1) + " of the icon file is not an image";
      return false;
    }
    const std::string broken = png ? PngProblem(file, offset, size, file[e], file[e + 1]) : "";
    if (!broken.empty()) {
      *error = "image " + std::to_string(i + 1) + " of the icon file is a broken PNG image: " +
               broken;
      return false;
    }
    IconImage image;
    image.width = file[e];
    image.height = file[e + 1];
    image.colors = file[e + 2];
    image.planes = Get16(file, e + 4);
    image.bit_count = Get16(file, e + 6);
    image.data.assign(file.begin() + offset, file.begin() + offset + size);
    images->push_back(std::move(image));
  }
  return true;
}

bool ParseIconGroup(const Bytes& group, std::vector<std::uint16_t>* ids) {
  ids->clear();
  if (group.size() < kIconDirSize || Get16(group, 0) != 0 || Get16(group, 2) != 1) return false;
  const std::size_t count = Get16(group, 4);
  if (kIconDirSize + count * kIconGroupEntrySize > group.size()) return false;
  for (std::size_t i = 0; i < count; ++i) {
    ids->push_back(Get16(group, kIconDirSize + i * kIconGroupEntrySize + 12));
  }
  return true;
}

Bytes BuildIconGroup(const std::vector<IconImage>& images, const std::vector<std::uint16_t>& ids) {
  Bytes group;
  Put16(&group, 0);
  Put16(&group, 1);
  Put16(&group, static_cast<std::uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    group.push_back(image.width);
    group.push_back(image.height);
    group.push_back(image.colors);
    group.push_back(0);
    Put16(&group, image.planes);
    Put16(&group, image.bit_count);
    Put32(&group, static_cast<std::uint32_t>(image.data.size()));
    Put16(&group, ids[i]);
  }
  return group;
}

std::vector<std::uint16_t> AssignIconIds(std::size_t count,
                                         const std::vector<std::uint16_t>& old_ids,
                                         const std::vector<std::uint16_t>& used_ids) {
  std::vector<std::uint16_t> ids;
  std::set<std::uint16_t> taken(used_ids.begin(), used_ids.end());
  for (std::uint16_t id : old_ids) {
    if (ids.size() == count) break;
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  taken.insert(ids.begin(), ids.end());
  for (std::uint32_t id = 1; ids.size() < count && id <= 0xFFFF; ++id) {
    if (taken.count(static_cast<std::uint16_t>(id)) == 0) {
      ids.push_back(static_cast<std::uint16_t>(id));
      taken.insert(static_cast<std::uint16_t>(id));
    }
  }
  return ids;
}

bool ParseVersionResource(const Bytes& bytes, VersionBlock* root) {
  if (bytes.size() < kBlockHeaderSize) return false;
  const std::size_t length = Get16(bytes, 0);
  if (!ParseBlock(bytes, 0, std::min(length, bytes.size()), root)) return false;
  return root->key == u"VS_VERSION_INFO" && root->value.size() == kFixedInfoSize &&
         Get32(root->value, 0) == kFixedInfoSignature;
}

Bytes BuildVersionResource(const VersionBlock& root) {
  Bytes out;
  BuildBlock(root, &out);
  return out;
}

bool RebrandVersion(const Bytes& old_resource, const std::uint16_t* version,
                    const VersionStrings& strings, Bytes* resource) {
  VersionBlock root;
  if (!ParseVersionResource(old_resource, &root)) return false;
  std::u16string version_text;
  if (version != nullptr) {
    const std::uint32_t ms = (static_cast<std::uint32_t>(version[0]) << 16) | version[1];
    const std::uint32_t ls = (static_cast<std::uint32_t>(version[2]) << 16) | version[3];
    // VS_FIXEDFILEINFO: file version at 8, product version at 16.
    Set32(&root.value, 8, ms);
    Set32(&root.value, 12, ls);
    Set32(&root.value, 16, ms);
    Set32(&root.value, 20, ls);
    for (int i = 0; i < 4; ++i) {
      if (i > 0) version_text += u'.';
      version_text += Widen(std::to_string(version[i]));
    }
  }
  VersionBlock* file_info = FindChild(&root, u"StringFileInfo");
  if (file_info == nullptr) {
    root.children.insert(root.children.begin(), VersionBlock{u"StringFileInfo", 1, {}, {}});
    file_info = &root.children.front();
  }
  if (file_info->children.empty()) {
    file_info->children.push_back(VersionBlock{u"040904b0", 1, {}, {}});
  }
  std::u16string internal_name = strings.file_name;
  const std::size_t dot = internal_name.rfind(u'.');
  if (dot != std::u16string::npos) internal_name.erase(dot);
  for (VersionBlock& table : file_info->children) {
    SetString(&table, u"CompanyName", strings.company);
    SetString(&table, u"FileDescription",
              strings.description.empty() ? strings.product_name : strings.description);
    SetString(&table, u"FileVersion", version_text);
    SetString(&table, u"InternalName", internal_name);
    SetString(&table, u"LegalCopyright", strings.copyright);
    SetString(&table, u"OriginalFilename", strings.file_name);
    SetString(&table, u"ProductName", strings.product_name);
    SetString(&table, u"ProductVersion", version_text);
  }
  *resource = BuildVersionResource(root);
  return resource->size() <= 0xFFFF;
}

std::u16string VersionString(const VersionBlock& root, const std::u16string& key) {
  for (const VersionBlock& info : root.children) {
    if (info.key != u"StringFileInfo" || info.children.empty()) continue;
    for (const VersionBlock& entry : info.children.front().children) {
      if (entry.key == key) return TextOf(entry.value);
    }
  }
  return std::u16string();
}

bool HasSignature(const Bytes& headers) {
  constexpr std::size_t kNewHeaderOffset = 0x3C;
  constexpr std::size_t kOptionalHeader = 24;  // after "PE\0\0" and the file header
  constexpr std::size_t kSecurityEntry = 4;
  if (headers.size() < kNewHeaderOffset + 4 || headers[0] != 'M' || headers[1] != 'Z') return false;
  const std::size_t pe = Get32(headers, kNewHeaderOffset);
  if (pe > headers.size() || headers.size() - pe < kOptionalHeader + 2) return false;
  if (headers[pe] != 'P' || headers[pe + 1] != 'E' || headers[pe + 2] != 0 ||
      headers[pe + 3] != 0) {
    return false;
  }
  const std::size_t optional = pe + kOptionalHeader;
  const std::uint16_t magic = Get16(headers, optional);
  // PE32 and PE32+ differ in where the data directories begin.
  const std::size_t count_at = optional + (magic == 0x20B ? 108 : 92);
  const std::size_t entry_at = count_at + 4 + kSecurityEntry * 8;
  if ((magic != 0x10B && magic != 0x20B) || entry_at + 8 > headers.size()) return false;
  if (Get32(headers, count_at) <= kSecurityEntry) return false;
  return Get32(headers, entry_at + 4) != 0;
}

const std::vector<LauncherString>& LauncherStrings() {
#define KB_STRING(id, text) {id, text},
  static const std::vector<LauncherString> kTable = {
#include "resources/strings.def"
  };
#undef KB_STRING
  return kTable;
}

}  // namespace brand
