/// Helpers shared by the XML library's unit tests: a scratch directory, whole-file
/// reads and writes, and a compact one-line description of a tree that tests
/// compare against.
#pragma once

#include <string>

#include "xml/xml.h"
#include "xml/xml_node.h"

// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Path(const std::string& name) const;

 private:
  std::string dir_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// The tree under a node in document order: name(attributes){content}. The
// anonymous root is "#root", a declaration starts with "?", an attribute without
// value is its bare name, a text is quoted, a clear section is [open|content|close].
// The empty node is "(empty)".
std::string Describe(const XmlNode& node);

// "code line:column", for comparing results in one expectation.
std::string Describe(const XmlResult& result);

// Parses and describes both the tree and the result: "tree / code line:column".
std::string ParseAndDescribe(const char* text, const char* firstTag = nullptr);

// Takes a CreateString result and frees it.
std::string TakeString(char* text);

// Restores the library-wide settings that a test changed.
class SettingsRestorer {
 public:
  SettingsRestorer() : saved_(TheXmlSettings()) {}
  ~SettingsRestorer() { TheXmlSettings() = saved_; }

 private:
  XmlSettings saved_;
};
