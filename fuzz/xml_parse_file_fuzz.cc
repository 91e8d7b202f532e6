// ParseFile: the bytes become a file, so that byte-order marks, 16-bit text and
// its conversion are read the way the product reads its files. The first byte
// says whether a first tag is expected.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/xml_fuzz_support.h"
#include "xml/xml.h"

namespace {

std::string scratchPath;

void RemoveScratch() {
  std::remove(scratchPath.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/xml_parse_file_fuzz.XXXXXX";
  const int fd = mkstemp(pattern.data());
  FuzzCheck(fd >= 0, "cannot create the scratch file");
  close(fd);
  scratchPath = pattern;
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  std::FILE* file = std::fopen(scratchPath.c_str(), "wb");
  FuzzCheck(file != nullptr, "cannot write the scratch file");
  FuzzCheck(std::fwrite(data + 1, 1, size - 1, file) == size - 1, "short write");
  std::fclose(file);
  XmlResult result;
  const char* firstTag = (data[0] & 1) != 0 ? "a" : nullptr;
  const XmlNode node = XmlNode::ParseFile(scratchPath.c_str(), firstTag, &result);
  CheckResult(node, result);
  FuzzCheck((result.error == XmlError::NoXmlData) == (size == 1), "empty file is code 3");
  return 0;
}
