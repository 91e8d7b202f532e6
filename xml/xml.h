/// A small XML document library: a tree of element records shared through
/// reference-counted XmlNode handles, a single-pass parser with numbered errors
/// and line/column, and a writer. Everything in the product that reads or
/// writes XML goes through it.
#pragma once

#include <cstdint>

// Error codes of a parse or a write. 1 and 2 are warnings: the tree is kept.
enum class XmlError : std::int32_t {
  NoError = 0,
  UnmatchedEndTagWarning = 1,
  NoXmlTagWarning = 2,
  NoXmlData = 3,
  MissingStartTagName = 4,
  MissingEndTagName = 5,
  UnmatchedEndTag = 6,
  UnmatchedClearTagEnd = 7,
  UnexpectedToken = 8,
  NoElementsFound = 9,
  FileNotFound = 10,
  FirstTagNotFound = 11,
  UnknownCharacterEntity = 12,
  CharacterCodeAbove255 = 13,
  WideMultiByteConversion = 14,
  CannotOpenForWriting = 15,
  CannotWriteIntoFile = 16,
  NestingTooDeep = 17,
};

// The name ("NoError", ...) and the descriptive text ("No error", ...) of a code;
// both come from one table.
const char* XmlErrorName(XmlError error);
const char* XmlErrorMessage(XmlError error);

struct XmlResult {
  XmlError error = XmlError::NoError;
  std::int32_t line = 0;    // 1-based; 0 when not computed
  std::int32_t column = 0;  // 1-based; 0 when not computed
};

struct XmlAttribute {
  char* name = nullptr;   // owned by the node record
  char* value = nullptr;  // none for an attribute written as a bare name
};

struct XmlNodeRecord;  // defined in xml_node.h

class XmlNode {
 public:
  XmlNode() noexcept = default;  // the empty node
  XmlNode(const XmlNode& other) noexcept;
  XmlNode(XmlNode&& other) noexcept;
  XmlNode& operator=(const XmlNode& other) noexcept;
  XmlNode& operator=(XmlNode&& other) noexcept;
  ~XmlNode();

  // Parsing. firstTag may be null or empty (no first-tag rule); result may be null.
  // A file may be UTF-8 (with or without EF BB BF) or UTF-16: little-endian with FF
  // FE or recognised without a mark, big-endian with FE FF. UTF-16 that does not
  // convert (an unpaired surrogate) gives WideMultiByteConversion. Elements nested
  // deeper than 1000 levels give NestingTooDeep. Only a regular file is read: a
  // directory, device or pipe gives FileNotFound, as a missing file does.
  static XmlNode ParseFile(const char* path, const char* firstTag, XmlResult* result);
  static XmlNode ParseString(const char* text, const char* firstTag, XmlResult* result);

  // Editing. Running out of memory throws std::bad_alloc and leaves every tree as
  // it was before the call.
  static XmlNode CreateRoot(const char* name, bool isDeclaration);
  XmlAttribute AddAttribute(const char* name, const char* value);
  // Attaches child (moving it from its parent, if any) before the child element
  // now at `position`; a negative position or one past the end appends. A node is
  // never attached below itself: that call changes nothing.
  XmlNode AddChild(const XmlNode& child, int position = -1);

  // Queries; every one of them accepts the empty node.
  bool IsEmpty() const { return record_ == nullptr; }
  const char* GetName() const;
  int ChildCount() const;
  XmlNode GetChild(int index) const;
  const char* GetAttribute(const char* name, int* position = nullptr) const;
  XmlNode GetChildByName(const char* name, int* position = nullptr) const;

  // Writing. CreateString returns a heap text that the caller frees with free();
  // none for the empty node and for a tree whose text the parser would refuse as
  // nested too deep. WriteToFile refuses such a tree too (CannotWriteIntoFile),
  // counting the level that its header declaration adds when the file is read
  // back, and removes a file it could not write completely.
  char* CreateString(bool formatted, int* length = nullptr) const;
  XmlError WriteToFile(const char* path, const char* encodingName, bool formatted) const;

  // Library-internal and test accessors live in xml_node.h.
  explicit XmlNode(XmlNodeRecord* record) noexcept : record_(record) {}
  XmlNodeRecord* record() const { return record_; }

 private:
  XmlNodeRecord* record_ = nullptr;
};

// Escaping shared with the parser's entity table.
int XmlEscapedLength(const char* source);
char* XmlEscape(char* destination, const char* source);  // destination holds length + 1
