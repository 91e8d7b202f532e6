/// The node record behind XmlNode handles, the library-wide settings and the
/// character-width table that the parser and the writer share, and the edits the
/// parser builds a tree with. Library-internal: the product uses xml/xml.h only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"

// Kind of an entry in a node; element, text and clear section are the kinds that
// appear in a record's mixed-content `order`.
enum class XmlEntryKind : std::int32_t {
  Element = 0,
  Attribute = 1,
  Text = 2,
  Clear = 3,
  None = 4,
};

// An `order` entry: the index within its kind's array times four plus the kind.
inline std::int32_t XmlOrderEntry(std::int32_t index, XmlEntryKind kind) {
  return index * 4 + static_cast<std::int32_t>(kind);
}
inline XmlEntryKind XmlOrderKind(std::int32_t entry) {
  return static_cast<XmlEntryKind>(entry & 3);
}
inline std::int32_t XmlOrderIndex(std::int32_t entry) {
  return entry >> 2;
}

enum class XmlEncoding : std::int32_t { Utf8 = 1 };

// Process-wide and unsynchronised; the product never changes it, tests do.
struct XmlSettings {
  XmlEncoding encoding = XmlEncoding::Utf8;
  // Off, a file is read as the 8-bit bytes it holds: neither 16-bit text nor
  // a code page other than UTF-8 is recognised.
  bool detectWideText = true;
  bool trimWhitespace = true;
  bool mergeTextAroundComments = true;
};
XmlSettings& TheXmlSettings();

// Width in bytes of a UTF-8 character by its first byte; 0 for the terminating zero.
extern const std::uint8_t kXmlUtf8CharWidth[256];

// Steps over one character. Only continuation bytes (10xxxxxx) are taken with a
// lead byte: a lead byte without all of them (text saved in a one-byte encoding
// such as ISO-8859-1, or cut short by the end of the text) is one character of
// its own, so the markup or terminating zero after it is never stepped over.
inline const char* XmlNextChar(const char* p) {
  const unsigned width = kXmlUtf8CharWidth[static_cast<unsigned char>(*p)];
  for (unsigned i = 1; i < width; ++i) {
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
      return p + 1;
  }
  return p + width;
}

// The same step inside a run that ends at `end` (which a character may not cross).
inline const char* XmlNextChar(const char* p, const char* end) {
  const char* next = XmlNextChar(p);
  return next > end ? end : next;
}

// One row of the clear-section table. The close marker of "<!DOCTYPE" is ">" or,
// when the declaration holds an internal subset, "]>".
struct XmlClearTag {
  const char* open;
  const char* close;
};
inline constexpr int kXmlClearTagCount = 4;
extern const XmlClearTag kXmlClearTags[kXmlClearTagCount];  // tried in this order
extern const char* const kXmlDoctypeSubsetClose;            // "]>"
inline const XmlClearTag& XmlCdataTag() {
  return kXmlClearTags[0];
}
inline const XmlClearTag& XmlDoctypeTag() {
  return kXmlClearTags[1];
}
inline const XmlClearTag& XmlCommentTag() {
  return kXmlClearTags[2];
}

struct XmlClear {
  char* content = nullptr;        // owned, never empty
  const char* openTag = nullptr;  // points into kXmlClearTags, never freed
  const char* closeTag = nullptr;
};

struct XmlNodeRecord {
  char* name;  // none only for the anonymous document root
  std::int32_t childCount;
  std::int32_t textCount;
  std::int32_t clearCount;
  std::int32_t attributeCount;
  bool isDeclaration;
  XmlNodeRecord* parent;     // not owning
  XmlNodeRecord** children;  // the parent holds one reference on each
  char** texts;
  XmlClear* clears;
  XmlAttribute* attributes;
  std::int32_t* order;  // childCount + textCount + clearCount entries
  std::int32_t refCount;
};

// How arrays grow: an absent array is allocated for `items` entries (1 when 0); an
// existing one is reallocated to newCount + items only when items is 0 or newCount
// is a multiple of it. The parser appends in steps, edits after parsing exactly.
struct XmlGrowth {
  int items;
  int order;
};
inline constexpr XmlGrowth kXmlExactGrowth{0, 0};
inline constexpr XmlGrowth kXmlParserGrowth{50, 150};

// Deepest element nesting that the parser accepts and the writer serialises.
inline constexpr int kXmlMaxDepth = 1000;

// Heap for texts and records. Exhaustion throws std::bad_alloc; every edit
// allocates before it changes a record, so a record is never left half-edited.
void* XmlAllocate(std::size_t bytes);
void* XmlReallocate(void* block, std::size_t bytes);
char* XmlCopyText(const char* text, std::size_t length);
char* XmlCopyText(const char* text);

inline char XmlLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Whole names, ASCII letters compared without case: how element and attribute
// names are looked up.
bool XmlNamesEqualIgnoringCase(const char* a, const char* b);

// Library-internal edits. The ones that take a char* take ownership of it; on the
// empty node they free it and add nothing.
XmlNode AddChildElement(const XmlNode& node, char* name, bool isDeclaration, XmlGrowth growth);
void AddText(const XmlNode& node, char* text, XmlGrowth growth);
void AddClear(const XmlNode& node, char* content, const char* openTag, const char* closeTag,
              XmlGrowth growth);
void AddAttributeTaken(const XmlNode& node, char* name, char* value, XmlGrowth growth);
bool IsDeclaration(const XmlNode& node);
int EntryCount(const XmlNode& node);
void TrimStorage(const XmlNode& node);

// The last text gets `more` appended and the clear section after it (a comment)
// is dropped: how the parser joins "x<!-- c -->y" into "xy". Takes `more`.
void JoinTextAcrossLastClear(const XmlNode& node, char* more);

// Test and library accessors; each accepts the empty node.
XmlNode XmlParentOf(const XmlNode& node);
int XmlTextCount(const XmlNode& node);
const char* XmlTextAt(const XmlNode& node, int index);
int XmlClearCount(const XmlNode& node);
const XmlClear* XmlClearAt(const XmlNode& node, int index);
int XmlAttributeCount(const XmlNode& node);
const XmlAttribute* XmlAttributeAt(const XmlNode& node, int index);
int XmlOrderCount(const XmlNode& node);
std::int32_t XmlOrderAt(const XmlNode& node, int index);
int XmlReferenceCount(const XmlNode& node);
