#include "fuzz/xml_fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "xml/xml_node.h"

void FuzzCheck(bool condition, const char* what) {
  if (condition)
    return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

namespace {

void CheckRecord(const XmlNodeRecord* r, bool isTop) {
  FuzzCheck(r->childCount >= 0 && r->textCount >= 0 && r->clearCount >= 0 && r->attributeCount >= 0,
            "negative count");
  FuzzCheck(r->name != nullptr || isTop, "unnamed record below the top");
  const int entries = r->childCount + r->textCount + r->clearCount;
  int next[4] = {0, 0, 0, 0};
  for (int i = 0; i < entries; ++i) {
    const std::int32_t entry = r->order[i];
    const int kind = static_cast<int>(XmlOrderKind(entry));
    FuzzCheck(kind == 0 || kind == 2 || kind == 3, "order entry of a wrong kind");
    FuzzCheck(XmlOrderIndex(entry) == next[kind]++, "order indexes not rising by one");
  }
  FuzzCheck(next[0] == r->childCount && next[2] == r->textCount && next[3] == r->clearCount,
            "order does not cover every entry");
  for (int i = 0; i < r->textCount; ++i) {
    FuzzCheck(r->texts[i] != nullptr && r->texts[i][0] != 0, "empty text stored");
  }
  for (int i = 0; i < r->clearCount; ++i) {
    const XmlClear& clear = r->clears[i];
    FuzzCheck(clear.content != nullptr && clear.content[0] != 0, "empty clear section stored");
    FuzzCheck(clear.openTag != nullptr && clear.closeTag != nullptr, "clear section markers");
  }
  for (int i = 0; i < r->attributeCount; ++i) {
    FuzzCheck(r->attributes[i].name != nullptr, "attribute without name");
    if (r->attributes[i].value != nullptr)
      (void)std::strlen(r->attributes[i].value);
  }
  for (int i = 0; i < r->childCount; ++i) {
    const XmlNodeRecord* child = r->children[i];
    FuzzCheck(child->parent == r, "child's parent link");
    FuzzCheck(child->refCount == 1, "child held by more than its parent");
  }
}

}  // namespace

void CheckTree(const XmlNode& node) {
  if (node.IsEmpty())
    return;
  // Iterative, as the tree may be as deep as the parser allows.
  std::vector<const XmlNodeRecord*> pending{node.record()};
  bool top = true;
  while (!pending.empty()) {
    const XmlNodeRecord* r = pending.back();
    pending.pop_back();
    CheckRecord(r, top);
    top = false;
    for (int i = 0; i < r->childCount; ++i)
      pending.push_back(r->children[i]);
  }
}

void CheckResult(const XmlNode& node, const XmlResult& result) {
  const int code = static_cast<int>(result.error);
  FuzzCheck(code >= 0 && code <= static_cast<int>(XmlError::NestingTooDeep), "code out of range");
  FuzzCheck(code != 15 && code != 16, "writer code from a parse");
  FuzzCheck(node.IsEmpty() == (code >= 3), "empty node exactly for error codes");
  const bool located =
      code != 0 && code != 3 && code != 9 && code != 10 && code != 11 && code != 14;
  FuzzCheck(
      located ? (result.line >= 1 && result.column >= 1) : (result.line == 0 && result.column == 0),
      "line and column");
  if (!node.IsEmpty()) {
    FuzzCheck(node.record()->parent == nullptr, "returned node has a parent");
    FuzzCheck(node.record()->refCount == 1, "returned node shared");
  }
  CheckTree(node);
}
