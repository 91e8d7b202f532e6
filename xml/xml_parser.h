/// The parser's moving parts: the tokenizer, entity decoding and the line and
/// column of an error. XmlNode::ParseString and XmlNode::ParseFile are built from
/// them; they are exposed here for the unit tests and the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"
#include "xml/xml_node.h"

enum class XmlToken : std::int32_t {
  Text = 0,              // a run of other characters
  Quoted = 1,            // from ' or " to the same quote, quotes included
  TagStart = 2,          // "<"
  EndTagStart = 3,       // "</"
  TagClose = 4,          // ">"
  Equals = 5,            // "="
  DeclarationStart = 6,  // "<?"
  ShortClose = 7,        // "/>"
  ClearStart = 8,        // an open marker of the clear-section table
  EndOfText = 9,         // the terminating zero
};

// One parse of one text.
struct ParseState {
  const char* source = nullptr;     // start of the whole text
  const char* textStart = nullptr;  // start of the pending text run, or none
  std::ptrdiff_t position = 0;      // byte index of the cursor
  std::ptrdiff_t mark = 0;          // position saved with warning 1
  XmlError error = XmlError::NoError;
  const char* pendingEndTag = nullptr;  // an end-tag name not yet matched
  std::size_t pendingEndTagLength = 0;  // 0: none
  bool first = true;                    // the next element parse is the document-level one
};

struct XmlTokenInfo {
  XmlToken kind;
  const char* start;
  std::size_t length;
  const XmlClearTag* clear;  // the table row of a ClearStart token
};

// Reads the next token at the cursor and moves the cursor past it.
XmlTokenInfo NextXmlToken(ParseState& state);

// Decodes the five entities and character references of a run of `length` bytes
// (a zero byte also ends it) into a new heap text. On failure sets state.error
// (UnknownCharacterEntity or CharacterCodeAbove255) and returns none.
char* XmlUnescape(const char* text, std::size_t length, ParseState& state);

// Line and column (both 1-based) of a byte index; a multi-byte character is one
// column, only LF starts a new line.
void XmlLineAndColumn(const char* source, std::ptrdiff_t index, XmlResult* result);
