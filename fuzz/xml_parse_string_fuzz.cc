// ParseString without a first tag: any bytes (up to the first zero) as a document.
#include <cstdint>
#include <string>

#include "fuzz/xml_fuzz_support.h"
#include "xml/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XmlResult result;
  const XmlNode node = XmlNode::ParseString(text.c_str(), nullptr, &result);
  CheckResult(node, result);
  return 0;
}
