#include "xml/xml_test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "xml/xml_node.h"

namespace {

std::atomic<int> scratchCounter{0};

void DescribeInto(std::string& out, const XmlNode& node) {
  const XmlNodeRecord* r = node.record();
  if (r->isDeclaration)
    out += '?';
  out += r->name == nullptr ? "#root" : r->name;
  if (r->attributeCount > 0) {
    out += '(';
    for (int i = 0; i < r->attributeCount; ++i) {
      if (i > 0)
        out += ' ';
      out += r->attributes[i].name;
      if (r->attributes[i].value != nullptr) {
        out += "=\"";
        out += r->attributes[i].value;
        out += '"';
      }
    }
    out += ')';
  }
  const int entries = XmlOrderCount(node);
  if (entries == 0)
    return;
  out += '{';
  for (int i = 0; i < entries; ++i) {
    if (i > 0)
      out += ' ';
    const std::int32_t entry = XmlOrderAt(node, i);
    const int index = XmlOrderIndex(entry);
    switch (XmlOrderKind(entry)) {
      case XmlEntryKind::Element:
        DescribeInto(out, node.GetChild(index));
        break;
      case XmlEntryKind::Text:
        out += '"';
        out += r->texts[index];
        out += '"';
        break;
      case XmlEntryKind::Clear:
        out += '[';
        out += r->clears[index].openTag;
        out += '|';
        out += r->clears[index].content;
        out += '|';
        out += r->clears[index].closeTag;
        out += ']';
        break;
      default:
        out += "<bad entry>";
        break;
    }
  }
  out += '}';
}

}  // namespace

ScratchDir::ScratchDir() {
  namespace fs = std::filesystem;
  std::ostringstream name;
  name << "xml_test_" << std::rand() << '_' << scratchCounter++;
  dir_ = (fs::temp_directory_path() / name.str()).string();
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchDir::Path(const std::string& name) const {
  return (std::filesystem::path(dir_) / name).string();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::string Describe(const XmlNode& node) {
  if (node.IsEmpty())
    return "(empty)";
  std::string out;
  DescribeInto(out, node);
  return out;
}

std::string Describe(const XmlResult& result) {
  std::ostringstream out;
  out << static_cast<int>(result.error) << ' ' << result.line << ':' << result.column;
  return out.str();
}

std::string ParseAndDescribe(const char* text, const char* firstTag) {
  XmlResult result;
  const XmlNode node = XmlNode::ParseString(text, firstTag, &result);
  return Describe(node) + " / " + Describe(result);
}

std::string TakeString(char* text) {
  if (text == nullptr)
    return "(none)";
  std::string copy(text);
  std::free(text);
  return copy;
}
