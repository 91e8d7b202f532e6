#include "xml/xml_node.h"

#include <gtest/gtest.h>

#include <string>

#include "xml/xml_test_support.h"

namespace {

XmlNode Parse(const char* text) {
  return XmlNode::ParseString(text, nullptr, nullptr);
}

XmlNode Element(const char* name) {
  return XmlNode::CreateRoot(name, false);
}

TEST(XmlQueries, AcceptTheEmptyNodeAndOutOfRangeIndexes) {
  const XmlNode empty;
  EXPECT_EQ(empty.GetName(), nullptr);
  EXPECT_EQ(empty.ChildCount(), 0);
  EXPECT_TRUE(empty.GetChild(0).IsEmpty());
  EXPECT_EQ(empty.GetAttribute("a"), nullptr);
  EXPECT_TRUE(empty.GetChildByName("a").IsEmpty());
  const XmlNode a = Parse("<a><b/><c/></a>");
  EXPECT_TRUE(a.GetChild(2).IsEmpty());
  EXPECT_TRUE(a.GetChild(-1).IsEmpty());
  EXPECT_EQ(a.GetChild(2).GetName(), nullptr);
  EXPECT_EQ(a.GetChild(2).ChildCount(), 0);
  EXPECT_STREQ(a.GetChild(1).GetName(), "c");
}

TEST(XmlQueries, AttributesMatchIgnoringCaseAndDistinguishBareFromEmpty) {
  const XmlNode a = Parse("<a name='x' bare empty='' NAME='y'/>");
  EXPECT_STREQ(a.GetAttribute("NAME"), "x");
  EXPECT_EQ(a.GetAttribute("bare"), nullptr);
  EXPECT_STREQ(a.GetAttribute("empty"), "");
  EXPECT_EQ(a.GetAttribute("missing"), nullptr);
  int position = 0;
  EXPECT_STREQ(a.GetAttribute("name", &position), "x");
  EXPECT_EQ(position, 1);
  EXPECT_STREQ(a.GetAttribute("name", &position), "y");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(a.GetAttribute("name", &position), nullptr);
  EXPECT_EQ(position, 4);
  position = -3;
  EXPECT_STREQ(a.GetAttribute("name", &position), "x");
}

TEST(XmlQueries, ChildrenByNameInTurn) {
  const XmlNode a = Parse("<a><d i='1'/><x/><D i='2'/></a>");
  int position = 0;
  EXPECT_STREQ(a.GetChildByName("d", &position).GetAttribute("i"), "1");
  EXPECT_STREQ(a.GetChildByName("d", &position).GetAttribute("i"), "2");
  EXPECT_EQ(position, 3);
  EXPECT_TRUE(a.GetChildByName("d", &position).IsEmpty());
}

TEST(XmlHandles, CountReferencesAcrossCopiesAssignmentsAndMoves) {
  XmlNode a = Element("a");
  EXPECT_EQ(XmlReferenceCount(a), 1);
  {
    XmlNode copy(a);
    XmlNode assigned;
    assigned = a;
    EXPECT_EQ(XmlReferenceCount(a), 3);
    XmlNode& same = assigned;
    assigned = same;  // self-assignment keeps the count
    EXPECT_EQ(XmlReferenceCount(a), 3);
    XmlNode moved(std::move(copy));
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(XmlReferenceCount(a), 3);
    moved = std::move(assigned);  // both held the same record
    EXPECT_EQ(XmlReferenceCount(a), 2);
  }
  EXPECT_EQ(XmlReferenceCount(a), 1);
  a = XmlNode();
  EXPECT_TRUE(a.IsEmpty());
}

TEST(XmlHandles, AChildOutlivesItsReleasedRoot) {
  XmlNode root = Parse("<a><b k='v'><c/></b></a>");
  XmlNode b = root.GetChild(0);
  EXPECT_EQ(XmlReferenceCount(b), 2);  // the parent link and this handle
  root = XmlNode();
  EXPECT_TRUE(XmlParentOf(b).IsEmpty());
  EXPECT_EQ(XmlReferenceCount(b), 1);
  EXPECT_STREQ(b.GetAttribute("k"), "v");
  EXPECT_EQ(Describe(b), "b(k=\"v\"){c}");
}

TEST(XmlHandles, ReleasingAVeryDeepTreeNeedsNoRecursion) {
  XmlNode root = Element("r");
  XmlNode leaf = root;
  for (int i = 0; i < 200000; ++i) {
    leaf = AddChildElement(leaf, XmlCopyText("e"), false, kXmlExactGrowth);
  }
  EXPECT_FALSE(XmlParentOf(leaf).IsEmpty());
  root = XmlNode();  // would overflow the stack if release recursed
  // Every record above the leaf is gone: the last one to go cut the leaf loose.
  EXPECT_TRUE(XmlParentOf(leaf).IsEmpty());
  EXPECT_EQ(XmlReferenceCount(leaf), 1);
  EXPECT_STREQ(leaf.GetName(), "e");
}

TEST(XmlEdits, CreatedRootWithAttributeBecomesTheLastChild) {
  XmlNode report = Element("report");
  report.AddChild(Element("first"));
  XmlNode type = Element("type");
  const XmlAttribute stored = type.AddAttribute("value", "QLOGIC_NIC");
  EXPECT_STREQ(stored.name, "value");
  EXPECT_STREQ(stored.value, "QLOGIC_NIC");
  EXPECT_EQ(XmlAttributeCount(type), 1);
  EXPECT_EQ(XmlOrderCount(type), 0);
  EXPECT_EQ(EntryCount(type), 1);
  EXPECT_EQ(report.AddChild(type, -1).record(), type.record());
  type = XmlNode();
  EXPECT_EQ(XmlReferenceCount(report.GetChild(1)), 2);  // the parent link and the temporary
  EXPECT_EQ(Describe(report), "report{first type(value=\"QLOGIC_NIC\")}");
  EXPECT_EQ(Describe(XmlParentOf(report.GetChild(1))), Describe(report));
}

TEST(XmlEdits, AddsThatCannotApplyAddNothing) {
  XmlNode empty;
  EXPECT_EQ(empty.AddAttribute("a", "b").name, nullptr);
  XmlNode a = Element("a");
  EXPECT_EQ(a.AddAttribute(nullptr, "b").name, nullptr);
  EXPECT_EQ(a.AddAttribute("bare", nullptr).value, nullptr);
  AddText(a, nullptr, kXmlExactGrowth);
  AddText(empty, XmlCopyText("freed"), kXmlExactGrowth);
  AddClear(a, XmlCopyText(""), nullptr, nullptr, kXmlExactGrowth);
  AddClear(a, XmlCopyText("c"), nullptr, nullptr, kXmlExactGrowth);
  EXPECT_TRUE(AddChildElement(empty, XmlCopyText("x"), false, kXmlExactGrowth).IsEmpty());
  EXPECT_TRUE(AddChildElement(a, nullptr, false, kXmlExactGrowth).IsEmpty());
  EXPECT_EQ(a.AddChild(empty).record(), nullptr);
  EXPECT_EQ(empty.AddChild(a).record(), a.record());
  EXPECT_EQ(Describe(a), "a(bare){[<![CDATA[|c|]]>]}");
  EXPECT_FALSE(IsDeclaration(a));
  EXPECT_TRUE(IsDeclaration(XmlNode::CreateRoot("xml", true)));
}

TEST(XmlEdits, MovingAChildRenumbersItsOldParentsOrder) {
  XmlNode from = Parse("<f>t1<a/>t2<b/><c/>t3</f>");
  XmlNode to = Element("to");
  to.AddChild(from.GetChild(1));  // b
  EXPECT_EQ(Describe(from), "f{\"t1\" a \"t2\" c \"t3\"}");
  EXPECT_STREQ(from.GetChild(1).GetName(), "c");
  EXPECT_EQ(XmlParentOf(to.GetChild(0)).record(), to.record());
  to.AddChild(from.GetChild(0));
  to.AddChild(from.GetChild(0));
  EXPECT_EQ(from.ChildCount(), 0);
  EXPECT_EQ(Describe(from), "f{\"t1\" \"t2\" \"t3\"}");
  EXPECT_EQ(Describe(to), "to{b a c}");
  to.AddChild(to.GetChild(0));  // re-appending within the same parent moves it last
  EXPECT_EQ(Describe(to), "to{a c b}");
}

TEST(XmlEdits, InsertsBeforeTheChildAtAPosition) {
  XmlNode a = Parse("<a>t<x/>u<y/></a>");
  a.AddChild(Element("p"), 0);
  a.AddChild(Element("q"), 2);
  a.AddChild(Element("z"), 99);
  EXPECT_EQ(Describe(a), "a{\"t\" p x \"u\" q y z}");
  for (int i = 0; i < a.ChildCount(); ++i)
    EXPECT_EQ(XmlParentOf(a.GetChild(i)).record(), a.record());
}

TEST(XmlEdits, AnAnonymousRootGivesAwayItsChildren) {
  XmlNode target = Parse("<t><k/></t>");
  const XmlNode anonymous = Parse("<a/>text<b/>");
  ASSERT_EQ(anonymous.GetName(), nullptr);
  target.AddChild(anonymous, 0);
  EXPECT_EQ(Describe(target), "t{a b k}");
  EXPECT_EQ(Describe(anonymous), "#root{\"text\"}");
}

TEST(XmlEdits, RefusesToMakeANodeItsOwnDescendant) {
  XmlNode a = Parse("<a><b><c/></b></a>");
  XmlNode c = a.GetChild(0).GetChild(0);
  a.AddChild(a);
  c.AddChild(a);
  c.AddChild(a.GetChild(0));
  EXPECT_EQ(Describe(a), "a{b{c}}");
  XmlNode anonymous = Parse("<x/><y/>");
  anonymous.GetChild(0).AddChild(anonymous);
  EXPECT_EQ(Describe(anonymous), "#root{x y}");
}

TEST(XmlEdits, ParserGrowthKeepsEveryEntryAcrossStepsAndTrimming) {
  XmlNode a = Element("a");
  std::string expected = "a(";
  std::string content;
  for (int i = 0; i < 160; ++i) {
    const std::string n = std::to_string(i);
    AddAttributeTaken(a, XmlCopyText(("k" + n).c_str()), XmlCopyText(n.c_str()), kXmlParserGrowth);
    AddChildElement(a, XmlCopyText(("e" + n).c_str()), false, kXmlParserGrowth);
    AddText(a, XmlCopyText(("t" + n).c_str()), kXmlParserGrowth);
    AddClear(a, XmlCopyText(("c" + n).c_str()), XmlCommentTag().open, XmlCommentTag().close,
             kXmlParserGrowth);
    expected += (i ? " k" : "k") + n + "=\"" + n + "\"";
    content += (i ? " e" : "e") + n + " \"t" + n + "\" [<!--|c" + n + "|-->]";
  }
  expected += "){" + content + "}";
  EXPECT_EQ(Describe(a), expected);
  TrimStorage(a);
  EXPECT_EQ(Describe(a), expected);
  EXPECT_EQ(EntryCount(a), 640);
}

}  // namespace
