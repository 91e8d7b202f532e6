#include "xml/xml_node.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

XmlSettings settings;

constexpr std::uint8_t W1 = 1, W2 = 2, W3 = 3, W4 = 4;
#define XML_ROW16(w) w, w, w, w, w, w, w, w, w, w, w, w, w, w, w, w

}  // namespace

XmlSettings& TheXmlSettings() {
  return settings;
}

// 00: end of text; 01-C1: one byte (continuation bytes and overlong leads are
// taken as single characters); C2-DF: 2; E0-EF: 3; F0-F4: 4; F5-FF: 1.
const std::uint8_t kXmlUtf8CharWidth[256] = {
    0,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,  // 00
    XML_ROW16(W1),
    XML_ROW16(W1),
    XML_ROW16(W1),
    XML_ROW16(W1),  // 10-4F
    XML_ROW16(W1),
    XML_ROW16(W1),
    XML_ROW16(W1),
    XML_ROW16(W1),  // 50-8F
    XML_ROW16(W1),
    XML_ROW16(W1),
    XML_ROW16(W1),  // 90-BF
    W1,
    W1,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,
    W2,             // C0
    XML_ROW16(W2),  // D0
    XML_ROW16(W3),  // E0
    W4,
    W4,
    W4,
    W4,
    W4,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,
    W1,  // F0
};
#undef XML_ROW16

const XmlClearTag kXmlClearTags[kXmlClearTagCount] = {
    {"<![CDATA[", "]]>"},
    {"<!DOCTYPE", ">"},
    {"<!--", "-->"},
    {"<PRE>", "</PRE>"},
};
const char* const kXmlDoctypeSubsetClose = "]>";

void* XmlAllocate(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}

void* XmlReallocate(void* block, std::size_t bytes) {
  void* grown = std::realloc(block, bytes == 0 ? 1 : bytes);
  if (grown == nullptr)
    throw std::bad_alloc();
  return grown;
}

char* XmlCopyText(const char* text, std::size_t length) {
  char* copy = static_cast<char*>(XmlAllocate(length + 1));
  std::memcpy(copy, text, length);
  copy[length] = 0;
  return copy;
}

char* XmlCopyText(const char* text) {
  return XmlCopyText(text, std::strlen(text));
}

namespace {

// Owns a text handed to an edit until the edit has stored it, so that an
// allocation failure on the way does not leak it.
struct TakenText {
  char* text;
  explicit TakenText(char* t) : text(t) {}
  ~TakenText() { std::free(text); }
  char* Release() {
    char* t = text;
    text = nullptr;
    return t;
  }
};

// Makes room for one more item in an array that holds `count` items now,
// following the growth rule of XmlGrowth.
template <typename T>
void GrowFor(T*& array, int count, int step) {
  const int newCount = count + 1;
  if (array == nullptr) {
    array =
        static_cast<T*>(XmlAllocate(sizeof(T) * static_cast<std::size_t>(step == 0 ? 1 : step)));
  } else if (step == 0 || newCount % step == 0) {
    array = static_cast<T*>(
        XmlReallocate(array, sizeof(T) * static_cast<std::size_t>(newCount + step)));
  }
}

int MixedCount(const XmlNodeRecord* r) {
  return r->childCount + r->textCount + r->clearCount;
}

// Grows the kind's array and `order` for one more entry; stores nothing yet.
template <typename T>
void ReserveEntry(XmlNodeRecord* r, T*& array, int count, XmlGrowth growth) {
  GrowFor(array, count, growth.items);
  GrowFor(r->order, MixedCount(r), growth.order);
}

XmlNodeRecord* NewRecord(char* name, XmlNodeRecord* parent, bool isDeclaration) {
  auto* r = static_cast<XmlNodeRecord*>(XmlAllocate(sizeof(XmlNodeRecord)));
  std::memset(r, 0, sizeof(XmlNodeRecord));
  r->name = name;
  r->parent = parent;
  r->isDeclaration = isDeclaration;
  r->refCount = 1;
  return r;
}

// Shrinks an array to `count` items; an empty one is freed.
template <typename T>
void TrimArray(T*& array, int count) {
  if (array == nullptr)
    return;
  if (count == 0) {
    std::free(array);
    array = nullptr;
    return;
  }
  array = static_cast<T*>(XmlReallocate(array, sizeof(T) * static_cast<std::size_t>(count)));
}

int ChildIndexOf(const XmlNodeRecord* parent, const XmlNodeRecord* child) {
  for (int i = 0; i < parent->childCount; ++i) {
    if (parent->children[i] == child)
      return i;
  }
  return -1;
}

// Takes a child out of its parent's `children` and `order`; the reference that the
// parent link held stays with the child. The parent's `children` array is freed
// when it becomes empty unless the caller is about to put the child back.
void Detach(XmlNodeRecord* child, bool keepEmptyArray) {
  XmlNodeRecord* parent = child->parent;
  child->parent = nullptr;
  const int index = ChildIndexOf(parent, child);
  if (index < 0)
    return;
  std::memmove(parent->children + index, parent->children + index + 1,
               sizeof(XmlNodeRecord*) * static_cast<std::size_t>(parent->childCount - index - 1));
  const int entries = MixedCount(parent);
  const std::int32_t removed = XmlOrderEntry(index, XmlEntryKind::Element);
  int out = 0;
  for (int i = 0; i < entries; ++i) {
    std::int32_t entry = parent->order[i];
    if (entry == removed)
      continue;
    if (XmlOrderKind(entry) == XmlEntryKind::Element && XmlOrderIndex(entry) > index)
      entry -= 4;
    parent->order[out++] = entry;
  }
  --parent->childCount;
  if (parent->childCount == 0 && !keepEmptyArray) {
    std::free(parent->children);
    parent->children = nullptr;
  }
}

void FreeContents(XmlNodeRecord* r) {
  for (int i = 0; i < r->textCount; ++i)
    std::free(r->texts[i]);
  for (int i = 0; i < r->clearCount; ++i)
    std::free(r->clears[i].content);
  for (int i = 0; i < r->attributeCount; ++i) {
    std::free(r->attributes[i].name);
    std::free(r->attributes[i].value);
  }
  std::free(r->children);
  std::free(r->texts);
  std::free(r->clears);
  std::free(r->attributes);
  std::free(r->order);
  std::free(r->name);
}

// Drops one reference. A record that loses its last one frees its subtree, except
// children that outside handles still hold: those become parentless roots. The
// walk keeps its work list in the `parent` links of the records being freed, so a
// tree of any depth is released without recursion.
void Release(XmlNodeRecord* r) {
  if (r == nullptr || --r->refCount > 0)
    return;
  if (r->parent != nullptr)
    Detach(r, false);
  XmlNodeRecord* pending = r;
  while (pending != nullptr) {
    XmlNodeRecord* current = pending;
    pending = current->parent;
    for (int i = 0; i < current->childCount; ++i) {
      XmlNodeRecord* child = current->children[i];
      child->parent = nullptr;
      if (--child->refCount == 0) {
        child->parent = pending;
        pending = child;
      }
    }
    FreeContents(current);
    std::free(current);
  }
}

bool IsSelfOrAncestor(const XmlNodeRecord* candidate, const XmlNodeRecord* node) {
  for (const XmlNodeRecord* r = node; r != nullptr; r = r->parent) {
    if (r == candidate)
      return true;
  }
  return false;
}

// Puts a named child into `node` before the child element now at `position`
// (appending when position is negative or past the end). Room must be reserved.
void InsertChild(XmlNodeRecord* node, XmlNodeRecord* child, int position) {
  const int count = node->childCount;
  const int at = (position < 0 || position > count) ? count : position;
  std::memmove(node->children + at + 1, node->children + at,
               sizeof(XmlNodeRecord*) * static_cast<std::size_t>(count - at));
  node->children[at] = child;
  const int entries = MixedCount(node);
  const std::int32_t entry = XmlOrderEntry(at, XmlEntryKind::Element);
  int slot = entries;
  for (int i = 0; i < entries; ++i) {
    std::int32_t& e = node->order[i];
    if (XmlOrderKind(e) == XmlEntryKind::Element && XmlOrderIndex(e) >= at) {
      if (slot == entries)
        slot = i;
      e += 4;
    }
  }
  std::memmove(node->order + slot + 1, node->order + slot,
               sizeof(std::int32_t) * static_cast<std::size_t>(entries - slot));
  node->order[slot] = entry;
  ++node->childCount;
  child->parent = node;
}

void MoveNamedChild(XmlNodeRecord* node, XmlNodeRecord* child, int position) {
  // Room first: an allocation failure must leave both parents as they were.
  ReserveEntry(node, node->children, node->childCount, kXmlExactGrowth);
  if (child->parent != nullptr) {
    Detach(child, child->parent == node);
  } else {
    ++child->refCount;
  }
  InsertChild(node, child, position);
}

}  // namespace

XmlNode::XmlNode(const XmlNode& other) noexcept : record_(other.record_) {
  if (record_ != nullptr)
    ++record_->refCount;
}

XmlNode::XmlNode(XmlNode&& other) noexcept : record_(other.record_) {
  other.record_ = nullptr;
}

XmlNode& XmlNode::operator=(const XmlNode& other) noexcept {
  if (record_ != other.record_) {
    XmlNodeRecord* old = record_;
    record_ = other.record_;
    if (record_ != nullptr)
      ++record_->refCount;
    Release(old);
  }
  return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
  if (this != &other) {
    XmlNodeRecord* old = record_;
    record_ = other.record_;
    other.record_ = nullptr;
    if (old != record_) {
      Release(old);
    } else if (old != nullptr) {
      --old->refCount;  // both handles held the same record; one reference goes
    }
  }
  return *this;
}

XmlNode::~XmlNode() {
  Release(record_);
}

XmlNode XmlNode::CreateRoot(const char* name, bool isDeclaration) {
  TakenText copy(name == nullptr ? nullptr : XmlCopyText(name));
  XmlNodeRecord* r = NewRecord(copy.text, nullptr, isDeclaration);
  copy.Release();
  return XmlNode(r);
}

XmlAttribute XmlNode::AddAttribute(const char* name, const char* value) {
  if (record_ == nullptr || name == nullptr)
    return {};
  TakenText nameCopy(XmlCopyText(name));
  TakenText valueCopy(value == nullptr ? nullptr : XmlCopyText(value));
  AddAttributeTaken(*this, nameCopy.Release(), valueCopy.Release(), kXmlExactGrowth);
  return record_->attributes[record_->attributeCount - 1];
}

XmlNode XmlNode::AddChild(const XmlNode& child, int position) {
  XmlNodeRecord* node = record_;
  XmlNodeRecord* c = child.record_;
  // A node cannot become its own descendant: that would make a cycle that is never
  // freed and that the writer would follow for ever.
  if (node == nullptr || c == nullptr || IsSelfOrAncestor(c, node))
    return child;
  if (c->name != nullptr) {
    MoveNamedChild(node, c, position);
    return child;
  }
  while (c->childCount > 0) {
    MoveNamedChild(node, c->children[0], position);
    if (position >= 0)
      ++position;
  }
  return child;
}

const char* XmlNode::GetName() const {
  return record_ == nullptr ? nullptr : record_->name;
}

int XmlNode::ChildCount() const {
  return record_ == nullptr ? 0 : record_->childCount;
}

XmlNode XmlNode::GetChild(int index) const {
  if (record_ == nullptr || index < 0 || index >= record_->childCount)
    return XmlNode();
  XmlNodeRecord* child = record_->children[index];
  ++child->refCount;
  return XmlNode(child);
}

bool XmlNamesEqualIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (XmlLowerAscii(*a) != XmlLowerAscii(*b))
      return false;
    if (*a == 0)
      return true;
  }
}

const char* XmlNode::GetAttribute(const char* name, int* position) const {
  if (record_ == nullptr || name == nullptr)
    return nullptr;
  int start = position == nullptr ? 0 : *position;
  if (start < 0)
    start = 0;
  for (int i = start; i < record_->attributeCount; ++i) {
    if (XmlNamesEqualIgnoringCase(record_->attributes[i].name, name)) {
      if (position != nullptr)
        *position = i + 1;
      return record_->attributes[i].value;
    }
  }
  return nullptr;
}

XmlNode XmlNode::GetChildByName(const char* name, int* position) const {
  if (record_ == nullptr || name == nullptr)
    return XmlNode();
  int start = position == nullptr ? 0 : *position;
  if (start < 0)
    start = 0;
  for (int i = start; i < record_->childCount; ++i) {
    const char* childName = record_->children[i]->name;
    if (childName != nullptr && XmlNamesEqualIgnoringCase(childName, name)) {
      if (position != nullptr)
        *position = i + 1;
      return GetChild(i);
    }
  }
  return XmlNode();
}

XmlNode AddChildElement(const XmlNode& node, char* name, bool isDeclaration, XmlGrowth growth) {
  TakenText taken(name);
  XmlNodeRecord* r = node.record();
  if (r == nullptr || name == nullptr)
    return XmlNode();
  ReserveEntry(r, r->children, r->childCount, growth);
  XmlNodeRecord* child = NewRecord(name, r, isDeclaration);
  taken.Release();
  r->children[r->childCount] = child;
  r->order[MixedCount(r)] = XmlOrderEntry(r->childCount, XmlEntryKind::Element);
  ++r->childCount;
  ++child->refCount;
  return XmlNode(child);
}

void AddText(const XmlNode& node, char* text, XmlGrowth growth) {
  TakenText taken(text);
  XmlNodeRecord* r = node.record();
  if (r == nullptr || text == nullptr)
    return;
  ReserveEntry(r, r->texts, r->textCount, growth);
  r->texts[r->textCount] = taken.Release();
  r->order[MixedCount(r)] = XmlOrderEntry(r->textCount, XmlEntryKind::Text);
  ++r->textCount;
}

void AddClear(const XmlNode& node, char* content, const char* openTag, const char* closeTag,
              XmlGrowth growth) {
  TakenText taken(content);
  XmlNodeRecord* r = node.record();
  if (r == nullptr || content == nullptr || content[0] == 0)
    return;
  if (openTag == nullptr || closeTag == nullptr) {
    openTag = XmlCdataTag().open;
    closeTag = XmlCdataTag().close;
  }
  ReserveEntry(r, r->clears, r->clearCount, growth);
  r->clears[r->clearCount] = XmlClear{taken.Release(), openTag, closeTag};
  r->order[MixedCount(r)] = XmlOrderEntry(r->clearCount, XmlEntryKind::Clear);
  ++r->clearCount;
}

void AddAttributeTaken(const XmlNode& node, char* name, char* value, XmlGrowth growth) {
  TakenText takenName(name);
  TakenText takenValue(value);
  XmlNodeRecord* r = node.record();
  if (r == nullptr || name == nullptr)
    return;
  GrowFor(r->attributes, r->attributeCount, growth.items);
  r->attributes[r->attributeCount] = XmlAttribute{takenName.Release(), takenValue.Release()};
  ++r->attributeCount;
}

bool IsDeclaration(const XmlNode& node) {
  return node.record() != nullptr && node.record()->isDeclaration;
}

int EntryCount(const XmlNode& node) {
  const XmlNodeRecord* r = node.record();
  return r == nullptr ? 0 : MixedCount(r) + r->attributeCount;
}

void TrimStorage(const XmlNode& node) {
  XmlNodeRecord* r = node.record();
  if (r == nullptr)
    return;
  TrimArray(r->children, r->childCount);
  TrimArray(r->texts, r->textCount);
  TrimArray(r->clears, r->clearCount);
  TrimArray(r->attributes, r->attributeCount);
  TrimArray(r->order, MixedCount(r));
}

void JoinTextAcrossLastClear(const XmlNode& node, char* more) {
  TakenText taken(more);
  XmlNodeRecord* r = node.record();
  if (r == nullptr || more == nullptr || r->textCount == 0 || r->clearCount == 0)
    return;
  char*& text = r->texts[r->textCount - 1];
  const std::size_t have = std::strlen(text);
  const std::size_t add = std::strlen(more);
  text = static_cast<char*>(XmlReallocate(text, have + add + 1));
  std::memcpy(text + have, more, add + 1);
  --r->clearCount;
  std::free(r->clears[r->clearCount].content);
  // The comment was the last entry of `order`; dropping the count drops it.
}

XmlNode XmlParentOf(const XmlNode& node) {
  XmlNodeRecord* r = node.record();
  if (r == nullptr || r->parent == nullptr)
    return XmlNode();
  ++r->parent->refCount;
  return XmlNode(r->parent);
}

int XmlTextCount(const XmlNode& node) {
  return node.IsEmpty() ? 0 : node.record()->textCount;
}

const char* XmlTextAt(const XmlNode& node, int index) {
  if (index < 0 || index >= XmlTextCount(node))
    return nullptr;
  return node.record()->texts[index];
}

int XmlClearCount(const XmlNode& node) {
  return node.IsEmpty() ? 0 : node.record()->clearCount;
}

const XmlClear* XmlClearAt(const XmlNode& node, int index) {
  if (index < 0 || index >= XmlClearCount(node))
    return nullptr;
  return &node.record()->clears[index];
}

int XmlAttributeCount(const XmlNode& node) {
  return node.IsEmpty() ? 0 : node.record()->attributeCount;
}

const XmlAttribute* XmlAttributeAt(const XmlNode& node, int index) {
  if (index < 0 || index >= XmlAttributeCount(node))
    return nullptr;
  return &node.record()->attributes[index];
}

int XmlOrderCount(const XmlNode& node) {
  return node.IsEmpty() ? 0 : MixedCount(node.record());
}

std::int32_t XmlOrderAt(const XmlNode& node, int index) {
  if (index < 0 || index >= XmlOrderCount(node))
    return XmlOrderEntry(0, XmlEntryKind::None);
  return node.record()->order[index];
}

int XmlReferenceCount(const XmlNode& node) {
  return node.IsEmpty() ? 0 : node.record()->refCount;
}
