// The brand tool's readers on arbitrary bytes: an icon file, a version
// resource and executable headers, as a shipper's files or a foreign
// executable would present them.
//
// Properties: nothing is read outside the input (the sanitizers watch); an
// accepted icon file's images lie inside it; an accepted version resource
// reads back the same after being written out again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "brand/brand.h"
#include "fuzz_support.h"

namespace {

bool SameTree(const brand::VersionBlock& a, const brand::VersionBlock& b) {
  if (a.key != b.key || a.type != b.type || a.value != b.value ||
      a.children.size() != b.children.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    if (!SameTree(a.children[i], b.children[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const brand::Bytes input(data, data + size);

  std::vector<brand::IconImage> images;
  std::string error;
  if (brand::ParseIconFile(input, &images, &error)) {
    KB_FUZZ_CHECK(!images.empty());
    for (const brand::IconImage& image : images) {
      KB_FUZZ_CHECK(!image.data.empty() && image.data.size() <= size);
    }
    std::vector<std::uint16_t> ids(images.size(), 1);
    std::vector<std::uint16_t> read_back;
    KB_FUZZ_CHECK(brand::ParseIconGroup(brand::BuildIconGroup(images, ids), &read_back));
    KB_FUZZ_CHECK(read_back == ids);
  } else {
    KB_FUZZ_CHECK(!error.empty());
  }

  brand::VersionBlock root;
  if (brand::ParseVersionResource(input, &root)) {
    brand::VersionBlock again;
    KB_FUZZ_CHECK(brand::ParseVersionResource(brand::BuildVersionResource(root), &again));
    KB_FUZZ_CHECK(SameTree(root, again));
    const std::uint16_t version[4] = {1, 2, 3, 4};
    brand::VersionStrings strings;
    strings.product_name = u"Fuzz";
    strings.file_name = u"fuzz.exe";
    brand::Bytes rebranded;
    if (brand::RebrandVersion(input, version, strings, &rebranded)) {
      KB_FUZZ_CHECK(brand::ParseVersionResource(rebranded, &again));
      KB_FUZZ_CHECK(brand::VersionString(again, u"ProductName") == u"Fuzz");
    }
  }

  brand::HasSignature(input);
  return 0;
}
