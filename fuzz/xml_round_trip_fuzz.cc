// Parse, write, parse again. Any tree must serialise to exactly the length the
// counting pass announced; a tree of the shape the writer can reproduce must come
// back from its own text unchanged, formatted and unformatted.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz/xml_fuzz_support.h"
#include "xml/xml.h"
#include "xml/xml_node.h"

namespace {

// Every character of the text fits inside it: a lead byte at its end would
// swallow the markup the writer puts after it.
bool CharactersComplete(const char* text) {
  const std::size_t length = std::strlen(text);
  for (std::size_t i = 0; i < length;) {
    const unsigned width = kXmlUtf8CharWidth[static_cast<unsigned char>(text[i])];
    if (i + width > length)
      return false;
    i += width;
  }
  return true;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A name the writer puts out raw and the tokenizer reads back as one text token in
// the same role: not starting like a quote, an end tag, a declaration or a "<!"
// marker, and not ending in "/" (which would read as "/>") or "?".
bool NameReadsBack(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length == 0 || !CharactersComplete(name))
    return false;
  const char first = name[0];
  const char last = name[length - 1];
  return first != '"' && first != '\'' && first != '/' && first != '?' && first != '!' &&
         last != '/' && last != '?';
}

bool TextReadsBack(const char* text) {
  const std::size_t length = std::strlen(text);
  return length > 0 && CharactersComplete(text) && !IsSpace(text[0]) && !IsSpace(text[length - 1]);
}

// Whether the tree under `r` is one that writing and parsing give back unchanged.
// `top` is the written node or a child of a written anonymous root: the level at
// which a declaration holds the rest of the document.
bool ReadsBack(const XmlNodeRecord* r, bool top) {
  if (r->name != nullptr) {
    if (!NameReadsBack(r->name))
      return false;
    if (r->isDeclaration &&
        (r->attributeCount == 0 || (!top && r->childCount + r->textCount + r->clearCount > 0))) {
      return false;
    }
    const bool hasEntries = r->childCount + r->textCount + r->clearCount > 0;
    if (!r->isDeclaration && hasEntries && r->attributeCount == 0 &&
        std::strcmp(r->name, "PRE") == 0) {
      return false;  // "<PRE>" opens a clear section
    }
  }
  for (int i = 0; i < r->attributeCount; ++i) {
    const XmlAttribute& attribute = r->attributes[i];
    if (!NameReadsBack(attribute.name))
      return false;
    if (attribute.value != nullptr && !CharactersComplete(attribute.value))
      return false;
  }
  const int entries = r->childCount + r->textCount + r->clearCount;
  XmlEntryKind previous = XmlEntryKind::None;
  for (int i = 0; i < entries; ++i) {
    const std::int32_t entry = r->order[i];
    const XmlEntryKind kind = XmlOrderKind(entry);
    const int index = XmlOrderIndex(entry);
    if (kind == XmlEntryKind::Text) {
      // Two texts in a row read back as one.
      if (previous == XmlEntryKind::Text || !TextReadsBack(r->texts[index]))
        return false;
    } else if (kind == XmlEntryKind::Element) {
      const XmlNodeRecord* child = r->children[index];
      const bool childTop = r->name == nullptr && top;
      // A top-level declaration takes in everything after it.
      if (childTop && child->isDeclaration && i != entries - 1)
        return false;
      if (!ReadsBack(child, childTop))
        return false;
    }
    previous = kind;
  }
  return true;
}

// Whether a declaration at the top of the document has more of it after it. Its
// own text holds that rest one level deeper than the parsed tree does, so at the
// depth bound the writer rightly refuses the tree.
bool TopDeclarationHoldsMore(const XmlNodeRecord* r) {
  if (r->name != nullptr)
    return false;
  const int entries = r->childCount + r->textCount + r->clearCount;
  for (int i = 0; i + 1 < entries; ++i) {
    const std::int32_t entry = r->order[i];
    if (XmlOrderKind(entry) == XmlEntryKind::Element &&
        r->children[XmlOrderIndex(entry)]->isDeclaration) {
      return true;
    }
  }
  return false;
}

// The tree's text; none only for a tree whose text would read back too deep.
std::optional<std::string> Write(const XmlNode& node, bool formatted) {
  int length = -1;
  char* text = node.CreateString(formatted, &length);
  if (text == nullptr && TopDeclarationHoldsMore(node.record()))
    return std::nullopt;
  FuzzCheck(text != nullptr, "a parsed tree did not serialise");
  FuzzCheck(std::strlen(text) == static_cast<std::size_t>(length), "length of the written text");
  std::string copy(text);
  std::free(text);
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const XmlNode tree = XmlNode::ParseString(input.c_str(), nullptr, nullptr);
  if (tree.IsEmpty())
    return 0;
  const bool readsBack = ReadsBack(tree.record(), true);
  for (bool formatted : {false, true}) {
    const std::optional<std::string> written = Write(tree, formatted);
    if (!written.has_value())
      continue;
    XmlResult result;
    const XmlNode again = XmlNode::ParseString(written->c_str(), nullptr, &result);
    CheckResult(again, result);
    if (!readsBack)
      continue;
    const bool noElement = tree.record()->childCount == 0 && tree.GetName() == nullptr;
    FuzzCheck(result.error == (noElement ? XmlError::NoXmlTagWarning : XmlError::NoError),
              "own text did not parse cleanly");
    FuzzCheck(Write(again, formatted) == written, "tree changed through its own text");
  }
  return 0;
}
