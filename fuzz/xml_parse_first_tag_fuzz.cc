// ParseString with a first tag: the first byte picks the expected tag, the rest is
// the document.
#include <cstdint>
#include <string>

#include "fuzz/xml_fuzz_support.h"
#include "xml/xml.h"
#include "xml/xml_node.h"

namespace {

const char* const kFirstTags[] = {
    "korvel_rom_discovery", "nic_fw_package", "a", "b", "xml", "root", "A"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const char* firstTag = kFirstTags[data[0] % (sizeof(kFirstTags) / sizeof(kFirstTags[0]))];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  XmlResult result;
  const XmlNode node = XmlNode::ParseString(text.c_str(), firstTag, &result);
  CheckResult(node, result);
  if (!node.IsEmpty()) {
    FuzzCheck(node.GetName() != nullptr && XmlNamesEqualIgnoringCase(node.GetName(), firstTag),
              "first tag rule returned another element");
  }
  return 0;
}
