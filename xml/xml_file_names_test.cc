#include "files/named_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "xml/xml.h"
#include "xml/xml_test_support.h"

namespace {

namespace fs = std::filesystem;

// The names of the directory's entries, as UTF-8.
std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathOfUtf8(directory)))
    names.push_back(Utf8OfPath(entry.path().filename()));
  return names;
}

// Inside the ANSI code page of a western Windows (ö), outside it (Ł, ź), a
// fullwidth reverse solidus that a best-fit mapping would turn into a path
// separator, and CJK text that the code page has no place for at all.
const char* const kNames[] = {
    "r\xC3\xB6m.xml",
    "\xC5\x81\xC3\xB3\x64\xC5\xBA.xml",
    "a\xEF\xBC\xBC\x62.xml",  // \x62: the "b" that would run into the escape
    "\xE6\x8A\xA5\xE5\x91\x8A.xml",
};

TEST(NamedFile, WriterParserAndRemovalReachTheFileByItsUtf8Name) {
  for (const std::string name : kNames) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    const std::string directory = dir.Path(".");
    const std::string path = directory + "/" + name;
    XmlNode root = XmlNode::CreateRoot("report", false);
    root.AddAttribute("name", name.c_str());
    ASSERT_EQ(root.WriteToFile(path.c_str(), nullptr, false), XmlError::NoError);
    // One file, under exactly the name given: no look-alike from a code page.
    EXPECT_EQ(Entries(directory), std::vector<std::string>{name});
    EXPECT_TRUE(IsRegularNamedFile(path.c_str()));

    XmlResult result;
    const XmlNode read = XmlNode::ParseFile(path.c_str(), "report", &result);
    EXPECT_EQ(result.error, XmlError::NoError);
    EXPECT_STREQ(read.GetAttribute("name"), name.c_str());

    EXPECT_TRUE(RemoveNamedFile(path.c_str()));
    EXPECT_TRUE(Entries(directory).empty());
    EXPECT_FALSE(RemoveNamedFile(path.c_str()));
  }
}

TEST(NamedFile, OnlyARegularFileCountsAsOne) {
  ScratchDir dir;
  const std::string directory = dir.Path(".");
  EXPECT_FALSE(IsRegularNamedFile(directory.c_str()));
  EXPECT_FALSE(IsRegularNamedFile((directory + "/missing").c_str()));
  EXPECT_EQ(OpenNamedFile(nullptr, "rb"), nullptr);
}

}  // namespace
