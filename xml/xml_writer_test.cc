#include "xml/xml_writer.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "xml/xml_node.h"
#include "xml/xml_test_support.h"

namespace {

XmlNode Element(const char* name, const char* attribute = nullptr, const char* value = nullptr) {
  XmlNode node = XmlNode::CreateRoot(name, false);
  if (attribute != nullptr)
    node.AddAttribute(attribute, value);
  return node;
}

std::string Write(const XmlNode& node, bool formatted) {
  int length = -1;
  std::string text = TakeString(node.CreateString(formatted, &length));
  if (text != "(none)") {
    EXPECT_EQ(length, static_cast<int>(text.size()));
  }
  return text;
}

XmlNode Report() {
  XmlNode report = Element("report", "version", "1.2");
  report.AddChild(Element("type", "value", "QLOGIC_NIC"));
  return report;
}

TEST(XmlWriterLayout, FormattedPutsEachTagOnItsOwnIndentedLine) {
  EXPECT_EQ(Write(Report(), true),
            "<report version=\"1.2\">\n\t<type value=\"QLOGIC_NIC\"/>\n</report>\n");
  EXPECT_EQ(Write(Report(), false),
            "<report version=\"1.2\"><type value=\"QLOGIC_NIC\"/></report>");
}

TEST(XmlWriterLayout, ALoneTextStaysOnTheLineOfItsElement) {
  XmlNode report = Element("report");
  XmlNode note = Element("note");
  AddText(note, XmlCopyText("a<b"), kXmlExactGrowth);
  report.AddChild(note);
  EXPECT_EQ(Write(report, true), "<report>\n\t<note>a&lt;b</note>\n</report>\n");
}

TEST(XmlWriterLayout, MixedContentGoesOneLevelDeeper) {
  const XmlNode a = XmlNode::ParseString("<r><a>t<b/><!--c--></a></r>", nullptr, nullptr);
  EXPECT_EQ(Write(a, true), "<r>\n\t<a>\n\t\tt\n\t\t<b/>\n\t\t<!--c-->\n\t</a>\n</r>\n");
  EXPECT_EQ(Write(a, false), "<r><a>t<b/><!--c--></a></r>");
}

TEST(XmlWriterLayout, DeclarationsKeepTheirContentAtTheirOwnDepth) {
  XmlNode xml = XmlNode::CreateRoot("xml", true);
  xml.AddAttribute("version", "1.0");
  xml.AddChild(Report());
  EXPECT_EQ(Write(xml, true),
            "<?xml version=\"1.0\"?>\n<report version=\"1.2\">\n\t<type value=\"QLOGIC_NIC\"/>\n"
            "</report>\n");
  EXPECT_EQ(Write(xml, false),
            "<?xml version=\"1.0\"?><report version=\"1.2\"><type value=\"QLOGIC_NIC\"/></report>");
}

TEST(XmlWriterLayout, AnonymousRootWritesOnlyItsContent) {
  const XmlNode root = XmlNode::ParseString("<!DOCTYPE d><a/>", nullptr, nullptr);
  EXPECT_EQ(Write(root, true), "\t<!DOCTYPE d>\n<a/>\n");
  EXPECT_EQ(Write(root, false), "<!DOCTYPE d><a/>");
}

TEST(XmlWriterLayout, AttributesBareEmptyAndEscaped) {
  XmlNode a = Element("a", "bare", nullptr);
  a.AddAttribute("empty", "");
  a.AddAttribute("", "left out");
  a.AddAttribute("q", "'\"&<>");
  AddText(a, XmlCopyText("it's \"so\""), kXmlExactGrowth);
  AddText(a, XmlCopyText(""), kXmlExactGrowth);  // an empty text is left out
  EXPECT_EQ(Write(a, false),
            "<a bare empty=\"\" q=\"&apos;&quot;&amp;&lt;&gt;\">it&apos;s &quot;so&quot;</a>");
}

TEST(XmlWriterLayout, FormattingNeedsTrimmingOn) {
  SettingsRestorer restore;
  TheXmlSettings().trimWhitespace = false;
  EXPECT_EQ(Write(Report(), true), Write(Report(), false));
}

// A chain of elements nested `levels` deep.
XmlNode Chain(int levels) {
  XmlNode root = Element("e");
  XmlNode node = root;
  for (int level = 1; level < levels; ++level)
    node = AddChildElement(node, XmlCopyText("e"), false, kXmlExactGrowth);
  return root;
}

// Nothing is written that its own parser would refuse as nested too deep: a text
// of its own holds as many levels as the parser reads, while a declaration at the
// top of a document (a file's header included) holds the rest one level deeper.
TEST(XmlWriterLayout, EmptyNodeAndTreesTooDeepToReadBackGiveNoText) {
  int length = 7;
  EXPECT_EQ(XmlNode().CreateString(true, &length), nullptr);
  EXPECT_EQ(length, 0);

  const std::string deepest = Write(Chain(kXmlMaxDepth), false);
  XmlResult result;
  EXPECT_FALSE(XmlNode::ParseString(deepest.c_str(), nullptr, &result).IsEmpty());
  EXPECT_EQ(result.error, XmlError::NoError);
  EXPECT_EQ(Write(Chain(kXmlMaxDepth + 1), false), "(none)");

  for (int levels : {kXmlMaxDepth - 1, kXmlMaxDepth}) {
    XmlNode document = XmlNode::CreateRoot(nullptr, false);
    document.AddChild(XmlNode::CreateRoot("xml", true)).AddAttribute("version", "1.0");
    document.AddChild(Chain(levels));
    const std::string text = Write(document, true);
    EXPECT_EQ(text == "(none)", levels == kXmlMaxDepth) << levels;
    if (text != "(none)") {
      EXPECT_FALSE(XmlNode::ParseString(text.c_str(), "e", &result).IsEmpty());
      EXPECT_EQ(result.error, XmlError::NoError);
    }
  }
}

TEST(XmlEscaping, ReplacesTheFiveSpecialSingleByteCharacters) {
  const char* source = "a&b<c>d\"e'f";
  EXPECT_EQ(XmlEscapedLength(source), 31);
  char buffer[32];
  EXPECT_STREQ(XmlEscape(buffer, source), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  // A multi-byte character is copied whole; a lead byte without its
  // continuation bytes is copied alone, and the markup after it escaped; a lead
  // byte just before the end copies only what is there.
  EXPECT_EQ(XmlEscapedLength("\xE2\x82\xAC<"), 3 + 4);
  EXPECT_STREQ(XmlEscape(buffer, "\xE2\x82\xAC<"), "\xE2\x82\xAC&lt;");
  EXPECT_EQ(XmlEscapedLength("\xE2<>&"), 1 + 4 + 4 + 5);
  EXPECT_STREQ(XmlEscape(buffer, "\xE2<>&"), "\xE2&lt;&gt;&amp;");
  EXPECT_EQ(XmlEscapedLength("x\xF0"), 2);
  EXPECT_STREQ(XmlEscape(buffer, "x\xF0"), "x\xF0");
}

class XmlWriteToFile : public ::testing::Test {
 protected:
  ScratchDir dir_;
  const std::string path_ = dir_.Path("out.xml");
  const std::string mark_ = "\xEF\xBB\xBF";
  const std::string header_ = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
};

TEST_F(XmlWriteToFile, WritesMarkHeaderAndFormattedTree) {
  EXPECT_EQ(Report().WriteToFile(path_.c_str(), "ignored", true), XmlError::NoError);
  EXPECT_EQ(ReadBytes(path_), mark_ + header_ + Write(Report(), true));
  EXPECT_EQ(Report().WriteToFile(path_.c_str(), nullptr, false), XmlError::NoError);
  EXPECT_EQ(ReadBytes(path_), mark_ + header_ + Write(Report(), false));
}

TEST_F(XmlWriteToFile, ADeclarationAtTheTopReplacesTheHeader) {
  const XmlNode parsed = XmlNode::ParseString("<?xml version=\"1.0\"?><r/>", nullptr, nullptr);
  ASSERT_TRUE(IsDeclaration(parsed));
  EXPECT_EQ(parsed.WriteToFile(path_.c_str(), nullptr, false), XmlError::NoError);
  EXPECT_EQ(ReadBytes(path_), mark_ + "<?xml version=\"1.0\"?><r/>");
  // An anonymous root whose first child element is a declaration has none either.
  const XmlNode anonymous = XmlNode::ParseString("<!--c--><?xml a=\"1\"?><r/>", nullptr, nullptr);
  ASSERT_EQ(anonymous.GetName(), nullptr);
  EXPECT_EQ(anonymous.WriteToFile(path_.c_str(), nullptr, false), XmlError::NoError);
  EXPECT_EQ(ReadBytes(path_), mark_ + "<!--c--><?xml a=\"1\"?><r/>");
  const XmlNode declaration = XmlNode::CreateRoot("xml", true);
  EXPECT_EQ(declaration.WriteToFile(path_.c_str(), nullptr, true), XmlError::NoError);
  EXPECT_EQ(ReadBytes(path_), mark_ + "<?xml?>\n");
}

TEST_F(XmlWriteToFile, TheHeaderTakesALevelOfWhatReadsBack) {
  XmlResult result;
  ASSERT_EQ(Chain(kXmlMaxDepth - 1).WriteToFile(path_.c_str(), nullptr, true), XmlError::NoError);
  EXPECT_FALSE(XmlNode::ParseFile(path_.c_str(), "e", &result).IsEmpty());
  EXPECT_EQ(result.error, XmlError::NoError);
  EXPECT_EQ(Chain(kXmlMaxDepth).WriteToFile(path_.c_str(), nullptr, true),
            XmlError::CannotWriteIntoFile);
  EXPECT_FALSE(FileExists(path_));
}

TEST_F(XmlWriteToFile, FailuresReportTheirCodeAndLeaveNoFile) {
  EXPECT_EQ(XmlNode().WriteToFile(path_.c_str(), nullptr, true), XmlError::NoError);
  EXPECT_FALSE(FileExists(path_));
  const std::string missingDir = dir_.Path("missing/out.xml");
  EXPECT_EQ(Report().WriteToFile(missingDir.c_str(), nullptr, true),
            XmlError::CannotOpenForWriting);
  EXPECT_EQ(Report().WriteToFile(nullptr, nullptr, true), XmlError::CannotOpenForWriting);
  // Nothing to write after the header: the partial file does not stay behind.
  const XmlNode nothing = XmlNode::ParseString("", nullptr, nullptr);
  EXPECT_EQ(nothing.WriteToFile(path_.c_str(), nullptr, true), XmlError::CannotWriteIntoFile);
  EXPECT_FALSE(FileExists(path_));
}

TEST_F(XmlWriteToFile, ADeviceThatRefusesTheWriteIsNeverRemoved) {
#ifdef _WIN32
  GTEST_SKIP() << "device nodes are a POSIX matter";
#else
  struct stat full;
  if (stat("/dev/full", &full) != 0)
    GTEST_SKIP() << "no device that is always full here";
  // A node of the same device in the scratch directory, so that a writer that
  // removed what it could not write would only take this node, never the
  // machine's own.
  const std::string node = dir_.Path("full.xml");
  if (mknod(node.c_str(), S_IFCHR | 0666, full.st_rdev) != 0)
    GTEST_SKIP() << "device nodes cannot be made here (not root)";
  EXPECT_EQ(Report().WriteToFile(node.c_str(), nullptr, true), XmlError::CannotWriteIntoFile);
  EXPECT_TRUE(FileExists(node));
#endif
}

TEST_F(XmlWriteToFile, ALinkIsNeverWrittenThrough) {
#ifdef _WIN32
  GTEST_SKIP() << "links at a file's name are a POSIX matter here";
#else
  // Written as root in places others may write to: a link planted at the name
  // must not carry the text into the file it names.
  const std::string target = dir_.Path("target.xml");
  WriteBytes(target, "kept");
  const std::string link = dir_.Path("link.xml");
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(Report().WriteToFile(link.c_str(), nullptr, true), XmlError::CannotOpenForWriting);
  EXPECT_EQ(ReadBytes(target), "kept");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
#endif
}

// Random trees of the shape that the writer and the parser agree on: names
// without markup characters, texts without edge whitespace, never two texts in a
// row, declarations only with attributes.
class TreeGenerator {
 public:
  explicit TreeGenerator(unsigned seed) : random_(seed) {}

  XmlNode Tree() {
    XmlNode root = XmlNode::CreateRoot(Name().c_str(), false);
    Fill(root, 0);
    return root;
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

  std::string Name() {
    static const char* const kNames[] = {"a",   "device", "fw_item",
                                         "x.y", "n-1",    "\xC3\xA9t\xC3\xA9"};
    return kNames[Pick(6)];
  }

  std::string Text() {
    static const char* const kWords[] = {"a",  "<", "&", "'q'", "\"", ">", "1.2", "\xE2\x82\xAC",
                                         "x=y"};
    std::string text = kWords[Pick(9)];
    for (int i = Pick(4); i > 0; --i)
      text += std::string(Pick(2) ? " " : "\n") + kWords[Pick(9)];
    return text;
  }

  // Built in place rather than as " " + text + " ": gcc 12 at -O2 and above
  // warns falsely (-Wrestrict) inside the library on that concatenation.
  static std::string Padded(const std::string& text) {
    std::string padded(1, ' ');
    padded += text;
    padded += ' ';
    return padded;
  }

  void Fill(XmlNode& node, int depth) {
    for (int i = Pick(4); i > 0; --i) {
      const std::string value = Text();
      node.AddAttribute(Name().c_str(), Pick(5) == 0 ? nullptr : value.c_str());
    }
    bool lastWasText = false;
    for (int i = depth > 4 ? 0 : Pick(5); i > 0; --i) {
      const int kind = Pick(lastWasText ? 2 : 3);
      lastWasText = kind == 2;
      if (kind == 0) {
        XmlNode child = AddChildElement(node, XmlCopyText(Name().c_str()), false, kXmlExactGrowth);
        Fill(child, depth + 1);
      } else if (kind == 1) {
        const XmlClearTag& tag = kXmlClearTags[Pick(2) == 0 ? 0 : 3];
        AddClear(node, XmlCopyText(Padded(Text()).c_str()), tag.open, tag.close, kXmlExactGrowth);
      } else {
        AddText(node, XmlCopyText(Text().c_str()), kXmlExactGrowth);
      }
    }
  }

  std::mt19937 random_;
};

TEST(XmlRoundTrip, GeneratedTreesComeBackEqual) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    const XmlNode tree = TreeGenerator(seed).Tree();
    for (bool formatted : {true, false}) {
      const std::string text = Write(tree, formatted);
      XmlResult result;
      const XmlNode back = XmlNode::ParseString(text.c_str(), nullptr, &result);
      ASSERT_EQ(result.error, XmlError::NoError) << text;
      ASSERT_EQ(Describe(back), Describe(tree)) << "seed " << seed << "\n" << text;
    }
  }
}

}  // namespace
