/// The writer: a tree back to text, in two passes over the tree (count, then write
/// into one allocation of the exact size), and the escaping shared with the parser's
/// entity table. XmlNode::CreateString and XmlNode::WriteToFile live here.
#pragma once

#include <cstddef>

#include "xml/xml.h"

// The header a written file starts with (after the byte-order mark), filled with
// the encoding name.
inline constexpr const char* kXmlHeaderTemplate = "<?xml version=\"1.0\" encoding=\"%s\"?>\n";
inline constexpr const char* kXmlEncodingName = "utf-8";
inline constexpr unsigned char kXmlUtf8Mark[3] = {0xEF, 0xBB, 0xBF};

// Length of the escaped form without the int limit of XmlEscapedLength.
std::size_t XmlEscapedSize(const char* source);
