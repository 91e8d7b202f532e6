// LoadPackageDescriptor on the bytes as "NICFWData.xml" in the current directory,
// then every entry it stored is looked up again by the key discovery would use.
#include <cstdint>
#include <string>

#include "fuzz/product_fuzz_support.h"
#include "fuzz/xml_fuzz_support.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "platform/sha256.h"

namespace {

// Two or three signed decimal numbers joined by dots, as FirmwareVersion prints.
bool IsDottedNumbers(const char* text) {
  int numbers = 0;
  for (const char* p = text;; ++p) {
    if (*p == '-')
      ++p;
    if (*p < '0' || *p > '9')
      return false;
    while (*p >= '0' && *p <= '9')
      ++p;
    ++numbers;
    if (*p == '\0')
      return numbers == 2 || numbers == 3;
    if (*p != '.')
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeProductFuzzing(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const InScratchDirectory scratch;
  ResetProductState();
  WriteScratchFile(kPackageDescriptorName, data, size);
  LoadPackageDescriptor();
  for (const auto& [key, stored] : PackageTable) {
    FuzzCheck(key.size() < 260, "a key longer than its buffer");
    std::string rebuilt;
    FuzzCheck(PackageKey(stored.venid, stored.devid, stored.subvenid, stored.subdevid, &rebuilt),
              "a stored entry whose IDs make no key");
    FuzzCheck(rebuilt == key, "an entry stored under another key than its IDs make");
    PackageEntry found;
    FuzzCheck(FindPackageEntry(key, found) == 0, "a stored key that is not found");
    FuzzCheck(found.rom == stored.rom && found.fwFile == stored.fwFile, "a lookup that changed");
    FirmwareVersion version = found.romVersion;
    FuzzCheck(IsDottedNumbers(version.Text()), "a version whose text is not dotted numbers");
  }
  // What the result file will say of the image: the promise as read, and a
  // digest shown as sound only when it is one.
  const ImageFacts& image = TheRunFacts().image;
  if (image.described) {
    FuzzCheck(image.name == FirmwareImageFile, "the image noted is not the run's");
    FuzzCheck(image.expected.has_value() == (PromisedImageDigests.count(FirmwareImageFile) > 0),
              "a promise noted that the descriptor does not make, or one lost");
    FuzzCheck(image.found.empty(), "an image hashed by reading the descriptor");
    Sha256Digest digest{};
    FuzzCheck(!image.expected || !image.problem.empty() ||
                  (ParseSha256(*image.expected, &digest) && HexText(digest) == *image.expected),
              "a promise passed as sound that is not 64 lower-case hexadecimal digits");
  }
  return 0;
}
