/// Generated benchmark documents: discovery files shaped like "tempNicList.xml"
/// (byte-order mark, declaration, N device elements of about twenty children
/// holding value attributes, a few entities) and a text-heavy document with
/// comments and CDATA sections.
#pragma once

#include <string>

std::string DiscoveryDocument(int devices);

// About `bytes` long: sections with an id attribute, a title, paragraphs of text
// with entities, comments and CDATA blocks.
std::string TextDocument(std::size_t bytes);

inline constexpr int kUtf8MarkLength = 3;
