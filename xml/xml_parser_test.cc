#include "xml/xml_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "xml/xml_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace std::string_literals;

namespace {

bool AnsiCodePageIs1252() {
#ifdef _WIN32
  return GetACP() == 1252;
#else
  return true;
#endif
}

// Every token of a text as "kind:text", separated by blanks.
std::string Tokens(const char* text) {
  ParseState state;
  state.source = text;
  std::string out;
  for (;;) {
    const XmlTokenInfo token = NextXmlToken(state);
    if (!out.empty())
      out += ' ';
    out +=
        std::to_string(static_cast<int>(token.kind)) + ':' + std::string(token.start, token.length);
    if (token.kind == XmlToken::EndOfText)
      return out;
  }
}

std::string Unescape(const char* text, std::size_t length, XmlError* error) {
  ParseState state;
  state.source = text;
  char* out = XmlUnescape(text, length, state);
  *error = state.error;
  return TakeString(out);
}

TEST(XmlTokenizer, SplitsTagsAttributesAndValues) {
  // 2 TagStart, 0 Text, 5 Equals, 1 Quoted, 7 ShortClose, 9 EndOfText
  EXPECT_EQ(Tokens("<a x='1' y=2/>"), "2:< 0:a 0:x 5:= 1:'1' 0:y 5:= 0:2 7:/> 9:");
  EXPECT_EQ(Tokens("</a >"), "3:</ 0:a 4:> 9:");
  EXPECT_EQ(Tokens("<?xml v?>"), "6:<? 0:xml 0:v? 4:> 9:");
  EXPECT_EQ(Tokens(" \t\r\n"), "9:");
}

TEST(XmlTokenizer, TextRunsEndAtMarkupAndWhitespace) {
  EXPECT_EQ(Tokens("a/b c=d>e"), "0:a/b 0:c 5:= 0:d 4:> 0:e 9:");
  EXPECT_EQ(Tokens("a/>"), "0:a 7:/> 9:");
  EXPECT_EQ(Tokens("/x"), "0:/x 9:");
  EXPECT_EQ(Tokens("it's\"q"), "0:it's\"q 9:");
}

TEST(XmlTokenizer, UnclosedQuoteBecomesTextStartingAtTheQuote) {
  EXPECT_EQ(Tokens("'ab<c"), "0:'ab 2:< 0:c 9:");
  EXPECT_EQ(Tokens("\"ab cd"), "0:\"ab 0:cd 9:");
  EXPECT_EQ(Tokens("'a>b'"), "1:'a>b' 9:");
}

TEST(XmlTokenizer, ClearMarkersAreCaseSensitiveAndTriedBeforeTags) {
  EXPECT_EQ(Tokens("<![CDATA[x"), "8:<![CDATA[ 0:x 9:");
  EXPECT_EQ(Tokens("<!DOCTYPE"), "8:<!DOCTYPE 9:");
  EXPECT_EQ(Tokens("<!--"), "8:<!-- 9:");
  EXPECT_EQ(Tokens("<PRE>"), "8:<PRE> 9:");
  EXPECT_EQ(Tokens("<pre>"), "2:< 0:pre 4:> 9:");
  EXPECT_EQ(Tokens("<!doctype"), "2:< 0:!doctype 9:");
}

TEST(XmlTokenizer, LeadBytesTakeOnlyContinuationBytes) {
  // A whole character is read as one: E2 82 AC is the euro sign.
  EXPECT_EQ(Tokens("\xE2\x82\xAC<b>"), "0:\xE2\x82\xAC 2:< 0:b 4:> 9:");
  // A lead byte without all its continuation bytes (text saved in a one-byte
  // encoding) is a character of its own: the markup after it stays markup.
  EXPECT_EQ(Tokens("\xE0<b>"), "0:\xE0 2:< 0:b 4:> 9:");
  EXPECT_EQ(Tokens("\xE9\x80<b>"), "0:\xE9\x80 2:< 0:b 4:> 9:");
  EXPECT_EQ(Tokens("'\xC3'x'"), "1:'\xC3' 0:x' 9:");
  EXPECT_EQ(Tokens("\xF0\x9F\x98'"), "0:\xF0\x9F\x98' 9:");
}

TEST(XmlTokenizer, LeadByteBeforeTheEndNeverStepsPastIt) {
  for (int lead = 0xC2; lead <= 0xF4; ++lead) {
    for (const char* tail : {"", "a"}) {
      const std::string text = std::string(1, static_cast<char>(lead)) + tail;
      ParseState state;
      state.source = text.c_str();
      const XmlTokenInfo token = NextXmlToken(state);
      EXPECT_EQ(token.length, text.size()) << lead;
      EXPECT_EQ(state.position, static_cast<std::ptrdiff_t>(text.size())) << lead;
      EXPECT_EQ(NextXmlToken(state).kind, XmlToken::EndOfText);
    }
  }
}

TEST(XmlElementParser, BuildsNestedElementsAttributesAndText) {
  EXPECT_EQ(ParseAndDescribe("<a x='1' y=\"2\" z=3 w/>"), "a(x=\"1\" y=\"2\" z=\"3\" w) / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>t<b/>u<c k=v></c></a>"), "a{\"t\" b \"u\" c(k=\"v\")} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a x=\"\"/>"), "a(x=\"\") / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a x='1 > = 2'/>"), "a(x=\"1 > = 2\") / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<A></a>"), "A / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a x x/>"), "a(x x) / 0 0:0");
}

TEST(XmlElementParser, UnmatchedEndTagsAndEndOfText) {
  EXPECT_EQ(ParseAndDescribe("<a><b></a>"), "a{b} / 1 1:11");
  EXPECT_EQ(ParseAndDescribe("<a></b>"), "(empty) / 6 1:8");
  EXPECT_EQ(ParseAndDescribe("<a></a></b><c/>"), "a / 1 1:12");
  EXPECT_EQ(ParseAndDescribe("<a>"), "a / 1 1:4");
  EXPECT_EQ(ParseAndDescribe("<a><b>"), "a{b} / 1 1:7");
  // An end tag naming an ancestor closes everything up to it.
  EXPECT_EQ(ParseAndDescribe("<a><b><c></a><d/>"), "#root{a{b{c}} d} / 1 1:14");
  // Names match on whole words only.
  EXPECT_EQ(ParseAndDescribe("<ab></a></ab>"), "(empty) / 6 1:9");
  EXPECT_EQ(ParseAndDescribe("<a></ab>"), "(empty) / 6 1:9");
}

TEST(XmlElementParser, GrammarErrorsStopWithTheCursorPlace) {
  EXPECT_EQ(ParseAndDescribe("<a>\n  <b =1/>\n</a>"), "(empty) / 8 2:7");
  EXPECT_EQ(ParseAndDescribe("<a><></a>"), "(empty) / 4 1:6");
  EXPECT_EQ(ParseAndDescribe("<a></>"), "(empty) / 5 1:7");
  EXPECT_EQ(ParseAndDescribe("<a></a x>"), "(empty) / 5 1:9");
  EXPECT_EQ(ParseAndDescribe("<a></a"), "(empty) / 5 1:7");
  EXPECT_EQ(ParseAndDescribe("<a \"x\">"), "(empty) / 8 1:7");
  EXPECT_EQ(ParseAndDescribe("<a x \"1\">"), "(empty) / 8 1:9");
  EXPECT_EQ(ParseAndDescribe("<a x=>"), "(empty) / 8 1:7");
}

TEST(XmlElementParser, WithoutAnElementTheAnonymousRootIsAWarning) {
  EXPECT_EQ(ParseAndDescribe("<="), "#root / 2 1:3");
  EXPECT_EQ(ParseAndDescribe("<=", "a"), "(empty) / 11 0:0");
  EXPECT_EQ(ParseAndDescribe("word"), "#root{\"word\"} / 2 1:5");
  EXPECT_EQ(ParseAndDescribe("word", "a"), "(empty) / 11 0:0");
  EXPECT_EQ(ParseAndDescribe(""), "#root / 2 1:1");
  EXPECT_EQ(ParseAndDescribe(nullptr), "(empty) / 9 0:0");
  EXPECT_EQ(ParseAndDescribe("&bad;"), "#root / 2 1:6");
}

TEST(XmlElementParser, DeclarationsHoldTheDocumentAtTopLevelOnly) {
  const char* document = "<?xml version=\"1.0\"?>\n<root a=\"1\"><x/></root>";
  EXPECT_EQ(ParseAndDescribe(document), "?xml(version=\"1.0\"){root(a=\"1\"){x}} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe(document, "root"), "root(a=\"1\"){x} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r><?pi a=\"1\"?><c/></r>"), "r{?pi(a=\"1\") c} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r><?pi go?><c/></r>"), "r{?pi(go) c} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<?xml version=1.0?><r/>"), "?xml(version=\"1.0\"){r} / 0 0:0");
  // Without data the "?" that ends the instruction follows its name directly.
  EXPECT_EQ(ParseAndDescribe("<r><?pi?><c/></r>"), "r{?pi c} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r><a><?pi?></a><c/></r>"), "r{a{?pi} c} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<?pi?><r/>"), "?pi{r} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<?pi?><r/>", "r"), "r / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r><?"
                             "?></r>"),
            "r{?"
            "?} / 1 1:12");
}

TEST(XmlElementParser, TextInAOneByteEncodingHidesNoMarkup) {
  // E9 is "e" with an accent in ISO-8859-1 and Windows-1252.
  EXPECT_EQ(ParseAndDescribe("<r>\xE9</r>"), "r{\"\xE9\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r n=\"Caf\xE9\" v=\"1\"/>"), "r(n=\"Caf\xE9\" v=\"1\") / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<r>\xC3\xA9</r>"), "r{\"\xC3\xA9\"} / 0 0:0");
}

TEST(XmlElementParser, TextRunsAreTrimmedAndJoinedAcrossComments) {
  EXPECT_EQ(ParseAndDescribe("<a>  two words \r\n</a>"), "a{\"two words\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a> \n\t <b/> </a>"), "a{b} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>x<!-- c -->y</a>"), "a{\"xy\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>x <!--c--> y<!--d-->z</a>"), "a{\"xyz\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>x<!--c--></a>"), "a{\"x\" [<!--|c|-->]} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><!--c-->y</a>"), "a{[<!--|c|-->] \"y\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>x<![CDATA[c]]>y</a>"), "a{\"x\" [<![CDATA[|c|]]>] \"y\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>x<!---->y</a>"), "a{\"x\" \"y\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>it's a=b \"q\" /x > y</a>"),
            "a{\"it's a=b \"q\" /x > y\"} / 0 0:0");
}

TEST(XmlElementParser, SettingsTurnTrimmingAndJoiningOff) {
  SettingsRestorer restore;
  TheXmlSettings().trimWhitespace = false;
  EXPECT_EQ(ParseAndDescribe("<a> x <b/>\n</a>"), "a{\" x \" b \"\n\"} / 0 0:0");
  TheXmlSettings().trimWhitespace = true;
  TheXmlSettings().mergeTextAroundComments = false;
  EXPECT_EQ(ParseAndDescribe("<a>x<!--c-->y</a>"), "a{\"x\" [<!--|c|-->] \"y\"} / 0 0:0");
}

TEST(XmlClearSections, KeepTheirContentRaw) {
  EXPECT_EQ(ParseAndDescribe("<a><![CDATA[ <raw> &x; ]]></a>"),
            "a{[<![CDATA[| <raw> &x; |]]>]} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><!----></a>"), "a / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><PRE> x<y </PRE></a>"), "a{[<PRE>| x<y |</PRE>]} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<!DOCTYPE html><a/>"), "#root{[<!DOCTYPE| html|>] a} / 0 0:0");
  const char* subset = "<!DOCTYPE a [ <!ENTITY e 'v'> ]><a/>";
  EXPECT_EQ(ParseAndDescribe(subset), "#root{[<!DOCTYPE| a [ <!ENTITY e 'v'> |]>] a} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe(subset, "a"), "a / 0 0:0");
}

TEST(XmlClearSections, WithoutCloseMarkerStopTheParse) {
  EXPECT_EQ(ParseAndDescribe("<a><!-- x</a>"), "(empty) / 7 1:8");
  EXPECT_EQ(ParseAndDescribe("<a><![CDATA[x]></a>"), "(empty) / 7 1:13");
  EXPECT_EQ(ParseAndDescribe("<a><!DOCTYPE [<x></a>"), "(empty) / 7 1:13");
  EXPECT_EQ(ParseAndDescribe("<a><!DOCTYPE"), "(empty) / 7 1:13");
}

TEST(XmlEntities, DecodeInTextAndAttributeValues) {
  EXPECT_EQ(ParseAndDescribe("<a>&lt;&#65;&#x42;&AMP;</a>"), "a{\"<AB&\"} / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a v='&quot;&apos;&Gt;&#X3c;'/>"), "a(v=\"\"'><\") / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a>&#256;</a>"), "(empty) / 13 1:12");
  EXPECT_EQ(ParseAndDescribe("<a>&foo;</a>"), "(empty) / 12 1:11");
  EXPECT_EQ(ParseAndDescribe("<a>&#12a;</a>"), "(empty) / 12 1:12");
  EXPECT_EQ(ParseAndDescribe("<a>x & y</a>"), "(empty) / 12 1:11");
  EXPECT_EQ(ParseAndDescribe("<a v='x & y'/>"), "(empty) / 12 1:13");
}

TEST(XmlEntities, UnescapeHonoursTheRunLengthAndRefusesZeroBytes) {
  XmlError error;
  EXPECT_EQ(Unescape("a&amp;b", 7, &error), "a&b");
  EXPECT_EQ(error, XmlError::NoError);
  EXPECT_EQ(Unescape("a&amp;b", 4, &error), "(none)");  // "&am" is cut off
  EXPECT_EQ(error, XmlError::UnknownCharacterEntity);
  EXPECT_EQ(Unescape("&#233;", 6, &error), "\xE9");  // stored as one byte, unchanged
  EXPECT_EQ(Unescape("&#x;", 4, &error), "(none)");
  EXPECT_EQ(error, XmlError::UnknownCharacterEntity);
  EXPECT_EQ(Unescape("x&#0;y", 6, &error), "(none)");
  EXPECT_EQ(error, XmlError::UnknownCharacterEntity);
  EXPECT_EQ(Unescape("&#99999999999999999999;", 23, &error), "(none)");
  EXPECT_EQ(error, XmlError::CharacterCodeAbove255);
  EXPECT_EQ(Unescape("ab\0cd", 5, &error), "ab");
  // A lead byte whose character would cross the run's end is cut there.
  EXPECT_EQ(Unescape("x\xE2&amp;", 2, &error), "x\xE2");
  // A lead byte never takes an entity after it for part of its character.
  EXPECT_EQ(Unescape("\xE2&amp;", 6, &error), "\xE2&");
  EXPECT_EQ(Unescape("\xE2&a;&amp;", 9, &error), "(none)");
  EXPECT_EQ(error, XmlError::UnknownCharacterEntity);
}

TEST(XmlFirstTag, FindsTheExpectedElementAmongTopLevelChildren) {
  EXPECT_EQ(ParseAndDescribe("<Root/>", "root"), "Root / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<!--c--><a/><b/>", "b"), "b / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><b/></a>", "b"), "b / 0 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><b><c/></b></a>", "c"), "(empty) / 11 0:0");
  EXPECT_EQ(ParseAndDescribe("<a><b></a>", "a"), "a{b} / 1 1:11");
  EXPECT_EQ(ParseAndDescribe("<a/>", ""), "a / 0 0:0");
}

TEST(XmlLineAndColumn, CountsCharactersNotBytes) {
  XmlResult result;
  const char* text =
      "ab\r\n\xC3\xA9\xE2\x82\xAC"
      "x\ny";
  XmlLineAndColumn(text, 4, &result);  // just after LF
  EXPECT_EQ(Describe(result), "0 2:1");
  XmlLineAndColumn(text, 9, &result);  // after the two multi-byte characters
  EXPECT_EQ(Describe(result), "0 2:3");
  XmlLineAndColumn(text, 12, &result);
  EXPECT_EQ(Describe(result), "0 3:2");
  EXPECT_EQ(ParseAndDescribe("<a>\n\xC3\xA9\xC3\xA9 <b =/>"), "(empty) / 8 2:8");
}

TEST(XmlNesting, IsBoundedWithAnErrorOfItsOwn) {
  std::string deep;
  for (int i = 0; i < kXmlMaxDepth; ++i)
    deep += "<e>";
  XmlResult result;
  XmlNode node = XmlNode::ParseString(deep.c_str(), nullptr, &result);
  EXPECT_EQ(result.error, XmlError::UnmatchedEndTagWarning);
  EXPECT_FALSE(node.IsEmpty());
  deep += "<e>";
  node = XmlNode::ParseString(deep.c_str(), nullptr, &result);
  EXPECT_EQ(Describe(result), "17 1:3003");
  EXPECT_TRUE(node.IsEmpty());
  EXPECT_STREQ(XmlErrorName(XmlError::NestingTooDeep), "NestingTooDeep");
  EXPECT_STREQ(XmlErrorMessage(XmlError::NestingTooDeep), "Error: Elements nested too deep");
}

TEST(XmlErrors, NamesAndMessagesComeFromOneTable) {
  EXPECT_STREQ(XmlErrorName(XmlError::NoError), "NoError");
  EXPECT_STREQ(XmlErrorMessage(XmlError::CharacterCodeAbove255),
               "Error: Character code above 255 is forbidden in MultiByte char mode.");
  EXPECT_STREQ(XmlErrorName(XmlError::CannotWriteIntoFile), "CannotWriteIntoFile");
  EXPECT_STREQ(XmlErrorMessage(static_cast<XmlError>(99)), "Error: Unknown error code");
  EXPECT_STREQ(XmlErrorName(static_cast<XmlError>(-1)), "UnknownError");
}

class XmlParseFile : public ::testing::Test {
 protected:
  std::string Parse(const std::string& bytes, const char* firstTag = nullptr) {
    const std::string path = dir_.Path("in.xml");
    WriteBytes(path, bytes);
    XmlResult result{XmlError::NoXmlData, 5, 5};
    const XmlNode node = XmlNode::ParseFile(path.c_str(), firstTag, &result);
    return Describe(node) + " / " + Describe(result);
  }

  // UTF-16 code units of an ASCII or Latin-1 text, in the given byte order.
  static std::string Wide(const std::string& text, bool bigEndian) {
    std::string out;
    for (unsigned char c : text) {
      out += bigEndian ? '\0' : static_cast<char>(c);
      out += bigEndian ? static_cast<char>(c) : '\0';
    }
    return out;
  }

  ScratchDir dir_;
};

TEST_F(XmlParseFile, MissingAndEmptyFiles) {
  XmlResult result{XmlError::NoError, 5, 5};
  EXPECT_TRUE(XmlNode::ParseFile(dir_.Path("none.xml").c_str(), nullptr, &result).IsEmpty());
  EXPECT_EQ(Describe(result), "10 0:0");
  EXPECT_EQ(Parse(""), "(empty) / 3 0:0");
  EXPECT_TRUE(XmlNode::ParseFile(nullptr, nullptr, nullptr).IsEmpty());
}

TEST_F(XmlParseFile, ReadsUtf8WithAndWithoutMark) {
  const std::string document = "<?xml version=\"1.0\"?>\n<root a=\"1\"><x/></root>";
  EXPECT_EQ(Parse(document, "root"), "root(a=\"1\"){x} / 0 0:0");
  EXPECT_EQ(Parse("\xEF\xBB\xBF" + document, "root"), "root(a=\"1\"){x} / 0 0:0");
  EXPECT_EQ(Parse("\xEF\xBB\xBF<a>\n<b></a>"), "a{b} / 1 2:8");
}

TEST_F(XmlParseFile, Reads16BitTextAsItsUtf8Form) {
  const std::string document = "<r v=\"caf\xE9\">t</r>";  // Latin-1 e acute
  const std::string expected = "r(v=\"caf\xC3\xA9\"){\"t\"} / 0 0:0";
  EXPECT_EQ(Parse("\xFF\xFE" + Wide(document, false)), expected);
  EXPECT_EQ(Parse(Wide(document, false)), expected);
  EXPECT_EQ(Parse("\xFE\xFF" + Wide(document, true)), expected);
  EXPECT_EQ(Parse("\xFF\xFE" + Wide("<a>\n<b></a>", false)), "a{b} / 1 2:8");
}

TEST_F(XmlParseFile, Broken16BitTextIsAConversionError) {
  // An unpaired high surrogate before ">".
  EXPECT_EQ(Parse("\xFF\xFE<\0a\0\x00\xD8>\0"s), "(empty) / 14 0:0");
  EXPECT_EQ(Parse("\xFF\xFE"), "#root / 2 1:1");
  EXPECT_EQ(Parse("\xFF\xFE", "a"), "(empty) / 11 0:0");
}

TEST_F(XmlParseFile, EightBitTextThatIsNotUtf8IsReadInItsCodePage) {
  // "röm €" as code page 1252 spells it, and its UTF-8 form.
  const std::string element = "<r f=\"r\xF6m \x80\"/>";
  const std::string expected = "r(f=\"r\xC3\xB6m \xE2\x82\xAC\") / 0 0:0";
  EXPECT_EQ(Parse("<?xml version=\"1.0\" encoding=\"Windows-1252\"?>" + element, "r"), expected);
  EXPECT_EQ(Parse("<?xml version='1.0' encoding = 'ISO-8859-1' ?>\n" + element, "r"), expected);
  // Bytes that only look like UTF-8: an encoded surrogate, an overlong form.
  EXPECT_EQ(
      Parse("<?xml version=\"1.0\" encoding=\"cp1252\"?><r f=\"\xED\xA0\x80\xC0\xAF\"/>", "r"),
      "r(f=\"\xC3\xAD\xC2\xA0\xE2\x82\xAC\xC3\x80\xC2\xAF\") / 0 0:0");
  // Undeclared, or declared as what it is not: the ANSI code page, which the
  // POSIX build takes to be 1252.
  if (AnsiCodePageIs1252()) {
    EXPECT_EQ(Parse(element, "r"), expected);
    EXPECT_EQ(Parse("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + element, "r"), expected);
  }
  // UTF-8 keeps every byte whatever the declaration says, and so does text
  // behind a UTF-8 mark.
  EXPECT_EQ(Parse("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r f=\"r\xC3\xB6m\"/>", "r"),
            "r(f=\"r\xC3\xB6m\") / 0 0:0");
  EXPECT_EQ(Parse("\xEF\xBB\xBF" + element, "r"), "r(f=\"r\xF6m \x80\") / 0 0:0");
}

TEST_F(XmlParseFile, DetectionCanBeTurnedOff) {
  SettingsRestorer restore;
  TheXmlSettings().detectWideText = false;
  // Read as 8-bit text, the document ends at the first zero byte.
  EXPECT_EQ(Parse("\xFF\xFE" + Wide("<a/>", false)), "#root{\"\xFF\xFE\"} / 2 1:4");
}

}  // namespace
