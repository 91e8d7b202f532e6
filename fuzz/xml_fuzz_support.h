/// What every XML fuzz target checks of a parse: the result agrees with the tree
/// (errors give the empty node, warnings a tree, line and column only with a code)
/// and every record of the tree keeps the library's invariants. A violation
/// aborts, so that libFuzzer reports it with the input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xml/xml.h"

// Aborts with a message when `condition` is false.
void FuzzCheck(bool condition, const char* what);

// Checks the tree under `node`: counts, `order` (each index of each kind once,
// rising), parent links and references, texts and names readable.
void CheckTree(const XmlNode& node);

// Checks a parse result against the node it returned.
void CheckResult(const XmlNode& node, const XmlResult& result);
