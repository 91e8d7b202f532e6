#include "xml/xml_parser.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "files/code_page.h"
#include "files/named_file.h"
#include "files/wide_text.h"

namespace {

struct ErrorText {
  const char* name;
  const char* message;
};

const ErrorText kErrorTexts[] = {
    {"NoError", "No error"},
    {"UnmatchedEndTagWarning", "Warning: Unmatched end tag"},
    {"NoXmlTagWarning", "Warning: No XML tag found"},
    {"NoXmlData", "Error: No XML data"},
    {"MissingStartTagName", "Error: Missing start tag name"},
    {"MissingEndTagName", "Error: Missing end tag name"},
    {"UnmatchedEndTag", "Error: Unmatched end tag"},
    {"UnmatchedClearTagEnd", "Error: Unmatched clear tag end"},
    {"UnexpectedToken", "Error: Unexpected token found"},
    {"NoElementsFound", "Error: No elements found"},
    {"FileNotFound", "Error: File not found"},
    {"FirstTagNotFound", "Error: First Tag not found"},
    {"UnknownCharacterEntity", "Error: Unknown character entity"},
    {"CharacterCodeAbove255",
     "Error: Character code above 255 is forbidden in MultiByte char mode."},
    {"WideMultiByteConversion", "Error: unable to convert between WideChar and MultiByte chars"},
    {"CannotOpenForWriting", "Error: unable to open file for writing"},
    {"CannotWriteIntoFile", "Error: cannot write into file"},
    {"NestingTooDeep", "Error: Elements nested too deep"},
};
constexpr int kErrorCount = sizeof(kErrorTexts) / sizeof(kErrorTexts[0]);
const ErrorText kUnknownError{"UnknownError", "Error: Unknown error code"};

const ErrorText& ErrorTextOf(XmlError error) {
  const int code = static_cast<int>(error);
  return (code >= 0 && code < kErrorCount) ? kErrorTexts[code] : kUnknownError;
}

// Entities, in the order the writer tries them; the parser matches them ignoring case.
struct Entity {
  const char* text;
  std::size_t length;
  char character;
};
const Entity kEntities[] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
};

// What the scanning loops need to know of a byte, so that their inner loops are
// one table lookup per byte. A lead byte of a multi-byte character is never
// "plain": the loops step over its character by width.
struct ByteTables {
  bool space[256] = {};
  bool lead[256] = {};
  bool textPlain[256] = {};     // continues a text token
  bool quotePlain[256] = {};    // continues a quoted token
  bool markerPlain[256] = {};   // skipped while looking for a close marker
  bool entityPlain[256] = {};   // copied as it is while decoding entities
  bool contentPlain[256] = {};  // skipped in element content
  constexpr ByteTables() {
    for (int c = 0; c < 256; ++c) {
      lead[c] = c >= 0xC2 && c <= 0xF4;
      space[c] = c == ' ' || c == '\t' || c == '\r' || c == '\n';
      const bool plain = c != 0 && !lead[c];
      textPlain[c] = plain && !space[c] && c != '<' && c != '>' && c != '=' && c != '/';
      quotePlain[c] = plain && c != '\'' && c != '"' && c != '<';
      markerPlain[c] = plain;
      entityPlain[c] = plain && c != '&';
      contentPlain[c] = plain && c != '<';
    }
  }
};
constexpr ByteTables kBytes;

unsigned char Byte(const char* p) {
  return static_cast<unsigned char>(*p);
}

bool IsSpace(char c) {
  return kBytes.space[static_cast<unsigned char>(c)];
}

const char* StepChar(const char* p) {
  return kBytes.lead[Byte(p)] ? XmlNextChar(p) : p + 1;
}

// Runs a text token from `p` to its end; returns the end (not consumed).
const char* ScanText(const char* p) {
  for (;;) {
    while (kBytes.textPlain[Byte(p)])
      ++p;
    if (kBytes.lead[Byte(p)]) {
      p = XmlNextChar(p);
    } else if (*p == '/' && p[1] != '>') {
      ++p;
    } else {
      return p;
    }
  }
}

// Whether any of the eight bytes of `word` is zero, equal to `special`, or 0x80
// and above: the bytes that a scan has to look at one by one.
bool WordNeedsLook(std::uint64_t word, unsigned char special) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  const std::uint64_t matched = word ^ (kOnes * special);
  const std::uint64_t zero = (word - kOnes) & ~word;
  const std::uint64_t hit = (matched - kOnes) & ~matched;
  return ((zero | hit | word) & kHighs) != 0;
}

// Skips the bytes from `p` that `plain` accepts, never past `end`; eight at a time
// while a word holds nothing to look at. `special` is the one ASCII byte besides
// zero that `plain` refuses.
const char* SkipBytes(const char* p, const char* end, const bool (&plain)[256],
                      unsigned char special) {
  for (;;) {
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if (WordNeedsLook(word, special))
        break;
      p += 8;
    }
    const char* stop = end - p >= 8 ? p + 8 : end;
    while (p < stop && plain[Byte(p)])
      ++p;
    if (p < stop || p == end)
      return p;
  }
}

// The next "<" or zero at a character boundary from `p`; `end` is the text's
// terminating zero.
const char* SkipToMarkup(const char* p, const char* end) {
  for (;;) {
    p = SkipBytes(p, end, kBytes.contentPlain, '<');
    if (!kBytes.lead[Byte(p)])
      return p;
    p = XmlNextChar(p);
  }
}

// From just after an opening quote: the matching quote, or the zero or "<" that
// comes first.
const char* ScanQuoted(const char* p, char quote) {
  for (;;) {
    while (kBytes.quotePlain[Byte(p)])
      ++p;
    if (kBytes.lead[Byte(p)]) {
      p = XmlNextChar(p);
    } else if ((*p == '\'' || *p == '"') && *p != quote) {
      ++p;
    } else {
      return p;
    }
  }
}

const XmlClearTag* ClearTagAt(const char* p) {
  if (p[1] != '!' && p[1] != 'P')
    return nullptr;
  for (const XmlClearTag& row : kXmlClearTags) {
    const std::size_t length = std::strlen(row.open);
    if (std::strncmp(p, row.open, length) == 0)
      return &row;
  }
  return nullptr;
}

// First place at or after `p`, stepping by character, where `marker` starts.
const char* FindMarker(const char* p, const char* marker) {
  const std::size_t length = std::strlen(marker);
  for (;;) {
    while (kBytes.markerPlain[Byte(p)] && *p != marker[0])
      ++p;
    if (*p == 0)
      return nullptr;
    if (*p == marker[0] && std::strncmp(p, marker, length) == 0)
      return p;
    p = StepChar(p);
  }
}

}  // namespace

const char* XmlErrorName(XmlError error) {
  return ErrorTextOf(error).name;
}

const char* XmlErrorMessage(XmlError error) {
  return ErrorTextOf(error).message;
}

XmlTokenInfo NextXmlToken(ParseState& state) {
  const char* p = state.source + state.position;
  while (IsSpace(*p))
    ++p;
  XmlTokenInfo token{XmlToken::Text, p, 0, nullptr};
  const char* next = p + 1;
  const char* textFrom = nullptr;  // set when a text token runs from `p`
  switch (*p) {
    case 0:
      token.kind = XmlToken::EndOfText;
      next = p;
      break;
    case '\'':
    case '"': {
      const char* q = ScanQuoted(p + 1, *p);
      if (*q == *p) {
        token.kind = XmlToken::Quoted;
        next = q + 1;
      } else {
        textFrom = p + 1;
      }
      break;
    }
    case '/':
      if (p[1] == '>') {
        token.kind = XmlToken::ShortClose;
        next = p + 2;
      } else {
        textFrom = p + 1;
      }
      break;
    case '<':
      if ((token.clear = ClearTagAt(p)) != nullptr) {
        token.kind = XmlToken::ClearStart;
        next = p + std::strlen(token.clear->open);
      } else if (p[1] == '/') {
        token.kind = XmlToken::EndTagStart;
        next = p + 2;
      } else if (p[1] == '?') {
        token.kind = XmlToken::DeclarationStart;
        next = p + 2;
      } else {
        token.kind = XmlToken::TagStart;
      }
      break;
    case '=':
      token.kind = XmlToken::Equals;
      break;
    case '>':
      token.kind = XmlToken::TagClose;
      break;
    default:
      textFrom = StepChar(p);
      break;
  }
  if (textFrom != nullptr) {
    const char* end = ScanText(textFrom);
    next = IsSpace(*end) ? end + 1 : end;
    token.length = static_cast<std::size_t>(end - p);
  } else {
    token.length = static_cast<std::size_t>(next - p);
  }
  state.position = next - state.source;
  return token;
}

namespace {

// The end of the bytes from `p` that decoding copies unchanged, one byte each.
const char* SkipPlain(const char* p, const char* end) {
  return SkipBytes(p, end, kBytes.entityPlain, '&');
}

// The entity at `p` (which holds "&") that fits in `left` bytes, or none. The
// entity names are lower-case letters, so setting bit 5 compares them without case.
const Entity* EntityAt(const char* p, std::size_t left) {
  for (const Entity& entity : kEntities) {
    if (entity.length > left)
      continue;
    std::size_t i = 1;
    while (i + 1 < entity.length && (p[i] | 0x20) == entity.text[i])
      ++i;
    if (i + 1 == entity.length && p[i] == ';')
      return &entity;
  }
  return nullptr;
}

// A character reference or entity in a run: its length (0 when the text at "&"
// is neither) and, for an entity, the table row.
struct Reference {
  std::size_t length;
  const Entity* entity;
};

Reference ReferenceAt(const char* p, std::size_t left) {
  if (left >= 3 && p[1] == '#') {
    std::size_t i = 2;
    if (p[i] == 'x' || p[i] == 'X')
      ++i;
    while (i < left && p[i] != 0 && p[i] != ';')
      ++i;
    return {(i < left && p[i] == ';') ? i + 1 : 0, nullptr};
  }
  const Entity* entity = EntityAt(p, left);
  return {entity == nullptr ? 0 : entity->length, entity};
}

// The byte a reference at `p` stands for, or the error.
XmlError DecodeReference(const char* p, const Reference& reference, char* out) {
  if (reference.entity != nullptr) {
    *out = reference.entity->character;
    return XmlError::NoError;
  }
  const std::size_t length = reference.length;
  std::size_t i = 2;
  const bool hex = p[i] == 'x' || p[i] == 'X';
  if (hex)
    ++i;
  const std::size_t digitsEnd = length - 1;  // the ";"
  // "&#;" and "&#0;" would put a zero byte into the text and cut it short there.
  if (i == digitsEnd)
    return XmlError::UnknownCharacterEntity;
  unsigned value = 0;
  for (; i < digitsEnd; ++i) {
    const int digit = hex ? HexDigitValue(p[i]) : (p[i] >= '0' && p[i] <= '9' ? p[i] - '0' : -1);
    if (digit < 0)
      return XmlError::UnknownCharacterEntity;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (value > 255)
      value = 256;  // stays above the limit without overflowing
  }
  if (value > 255)
    return XmlError::CharacterCodeAbove255;
  if (value == 0)
    return XmlError::UnknownCharacterEntity;
  *out = static_cast<char>(value);
  return XmlError::NoError;
}

}  // namespace

char* XmlUnescape(const char* text, std::size_t length, ParseState& state) {
  const void* zero = std::memchr(text, 0, length);
  const char* end = zero != nullptr ? static_cast<const char*>(zero) : text + length;
  const std::size_t runLength = static_cast<std::size_t>(end - text);
  if (std::memchr(text, '&', runLength) == nullptr)
    return XmlCopyText(text, runLength);

  // First pass: validate and count. A character never reaches past the run.
  std::size_t outLength = 0;
  for (const char* p = text; p < end;) {
    const char* plainEnd = SkipPlain(p, end);
    outLength += static_cast<std::size_t>(plainEnd - p);
    p = plainEnd;
    if (p == end)
      break;
    if (*p == '&') {
      const std::size_t reference = ReferenceAt(p, static_cast<std::size_t>(end - p)).length;
      if (reference == 0) {
        state.error = XmlError::UnknownCharacterEntity;
        return nullptr;
      }
      p += reference;
      outLength += 1;
    } else {
      const char* next = XmlNextChar(p, end);
      outLength += static_cast<std::size_t>(next - p);
      p = next;
    }
  }

  // Second pass: build the text.
  char* out = static_cast<char*>(XmlAllocate(outLength + 1));
  char* o = out;
  for (const char* p = text; p < end;) {
    const char* plainEnd = SkipPlain(p, end);
    std::memcpy(o, p, static_cast<std::size_t>(plainEnd - p));
    o += plainEnd - p;
    p = plainEnd;
    if (p == end)
      break;
    if (*p == '&') {
      const Reference reference = ReferenceAt(p, static_cast<std::size_t>(end - p));
      const XmlError error = DecodeReference(p, reference, o++);
      if (error != XmlError::NoError) {
        std::free(out);
        state.error = error;
        return nullptr;
      }
      p += reference.length;
    } else {
      const char* next = XmlNextChar(p, end);
      while (p < next)
        *o++ = *p++;
    }
  }
  *o = 0;
  return out;
}

void XmlLineAndColumn(const char* source, std::ptrdiff_t index, XmlResult* result) {
  long long line = 1;
  long long column = 1;
  const char* end = source + index;
  for (const char* p = source; p < end && *p != 0; p = StepChar(p)) {
    if (*p == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  result->line = static_cast<std::int32_t>(line > INT32_MAX ? INT32_MAX : line);
  result->column = static_cast<std::int32_t>(column > INT32_MAX ? INT32_MAX : column);
}

namespace {

enum class ElementEnd { Finished, Stop };
enum class TagState { Outside, ExpectName, HaveName, HaveEquals };

class ElementParser {
 public:
  explicit ElementParser(ParseState& state)
      : s_(state), settings_(TheXmlSettings()), end_(state.source + std::strlen(state.source)) {}

  // pending: text already read after the element's name that the start tag
  // goes on from (the "?" of "<?name?>"), or none.
  ElementEnd Parse(const XmlNode& node, int depth, const char* pending = nullptr,
                   std::size_t pendingLength = 0);

 private:
  const char* Cursor() const { return s_.source + s_.position; }
  void StartTextRun() { s_.textStart = Cursor(); }
  bool Fail(XmlError error) {
    s_.error = error;
    return false;
  }
  void Warn() {
    s_.error = XmlError::UnmatchedEndTagWarning;
    s_.mark = s_.position;
  }

  bool CloseTextRun(const XmlNode& node, const char* end);
  bool ReadClearSection(const XmlNode& node, const XmlClearTag& row);
  bool EndTagMatches(const XmlNodeRecord* element, const char* name) const;
  ElementEnd OpenChild(const XmlNode& node, const XmlTokenInfo& token, int depth);
  ElementEnd ReadEndTag(const XmlNode& node);
  bool CloseStartTag(const XmlNode& node, const XmlTokenInfo& token, const char* pending,
                     std::size_t pendingLength);
  bool ReadAttributeValue(const XmlNode& node, const XmlTokenInfo& token, const char* pending,
                          std::size_t pendingLength);

  ParseState& s_;
  const XmlSettings& settings_;
  const char* const end_;  // the text's terminating zero
};

bool ElementParser::CloseTextRun(const XmlNode& node, const char* end) {
  const char* begin = s_.textStart;
  if (begin == nullptr)
    return true;
  s_.textStart = nullptr;
  if (settings_.trimWhitespace) {
    while (begin < end && IsSpace(*begin))
      ++begin;
    while (end > begin && IsSpace(end[-1]))
      --end;
  }
  if (begin == end)
    return true;
  char* text = XmlUnescape(begin, static_cast<std::size_t>(end - begin), s_);
  if (text == nullptr)
    return false;
  const XmlNodeRecord* r = node.record();
  const int entries = r->childCount + r->textCount + r->clearCount;
  if (settings_.mergeTextAroundComments && r->textCount > 0 && r->clearCount > 0 && entries >= 2 &&
      XmlOrderKind(r->order[entries - 1]) == XmlEntryKind::Clear &&
      r->clears[XmlOrderIndex(r->order[entries - 1])].openTag == XmlCommentTag().open &&
      XmlOrderKind(r->order[entries - 2]) == XmlEntryKind::Text) {
    JoinTextAcrossLastClear(node, text);
  } else {
    AddText(node, text, kXmlParserGrowth);
  }
  return true;
}

bool ElementParser::ReadClearSection(const XmlNode& node, const XmlClearTag& row) {
  const char* content = Cursor();
  const char* close = row.close;
  const char* found = nullptr;
  if (&row == &XmlDoctypeTag()) {
    const char* p = content;
    while (*p != 0 && *p != '<' && *p != '>')
      p = StepChar(p);
    if (*p == '<') {
      close = kXmlDoctypeSubsetClose;
      found = FindMarker(content, close);
    } else if (*p == '>') {
      found = p;
    }
  } else {
    found = FindMarker(content, close);
  }
  if (found == nullptr)
    return Fail(XmlError::UnmatchedClearTagEnd);
  s_.position = (found + std::strlen(close)) - s_.source;
  if (found > content) {
    AddClear(node, XmlCopyText(content, static_cast<std::size_t>(found - content)), row.open, close,
             kXmlParserGrowth);
  }
  return true;
}

bool ElementParser::EndTagMatches(const XmlNodeRecord* element, const char* name) const {
  if (element->name == nullptr)
    return false;
  const std::size_t length = std::strlen(element->name);
  // The name may be longer than the token (the token stops earlier): compare
  // byte by byte and stop at the first difference or the text's end.
  for (std::size_t i = 0; i < length; ++i) {
    if (name[i] == 0 || XmlLowerAscii(name[i]) != XmlLowerAscii(element->name[i]))
      return false;
  }
  const char after = name[length];
  return IsSpace(after) || after == '/' || after == '<' || after == '=' || after == '>';
}

ElementEnd ElementParser::OpenChild(const XmlNode& node, const XmlTokenInfo& token, int depth) {
  if (!CloseTextRun(node, token.start))
    return ElementEnd::Stop;
  const XmlTokenInfo name = NextXmlToken(s_);
  if (name.kind != XmlToken::Text) {
    Fail(XmlError::MissingStartTagName);
    return ElementEnd::Stop;
  }
  if (depth >= kXmlMaxDepth) {
    Fail(XmlError::NestingTooDeep);
    return ElementEnd::Stop;
  }
  const bool declaration = token.kind == XmlToken::DeclarationStart;
  // In "<?name?>" the name token runs on into the "?" that closes the
  // instruction; that "?" is read as it is after "<?name ?>".
  const bool closedAtName = declaration && name.length > 1 && name.start[name.length - 1] == '?' &&
                            name.start[name.length] == '>';
  const std::size_t nameLength = closedAtName ? name.length - 1 : name.length;
  const XmlNode child =
      AddChildElement(node, XmlCopyText(name.start, nameLength), declaration, kXmlParserGrowth);
  const ElementEnd end =
      closedAtName ? Parse(child, depth + 1, name.start + nameLength, 1) : Parse(child, depth + 1);
  return end == ElementEnd::Stop ? ElementEnd::Stop : ElementEnd::Finished;
}

ElementEnd ElementParser::ReadEndTag(const XmlNode& node) {
  const XmlTokenInfo name = NextXmlToken(s_);
  if (name.kind != XmlToken::Text || NextXmlToken(s_).kind != XmlToken::TagClose) {
    Fail(XmlError::MissingEndTagName);
    return ElementEnd::Stop;
  }
  StartTextRun();
  if (!EndTagMatches(node.record(), name.start)) {
    Warn();
    s_.pendingEndTag = name.start;
    s_.pendingEndTagLength = name.length;
  }
  TrimStorage(node);
  return ElementEnd::Finished;
}

// Ends a start tag at ">" or "/>" after a name; true when the element is complete.
bool ElementParser::CloseStartTag(const XmlNode& node, const XmlTokenInfo& token,
                                  const char* pending, std::size_t pendingLength) {
  StartTextRun();
  const XmlNodeRecord* r = node.record();
  bool shortClose = token.kind == XmlToken::ShortClose;
  if (r->isDeclaration && pendingLength > 0 && pending[pendingLength - 1] == '?') {
    --pendingLength;
    if (r->parent != nullptr && r->parent->parent != nullptr)
      shortClose = true;
  }
  if (pendingLength > 0) {
    AddAttributeTaken(node, XmlCopyText(pending, pendingLength), nullptr, kXmlParserGrowth);
  }
  if (shortClose)
    TrimStorage(node);
  return shortClose;
}

bool ElementParser::ReadAttributeValue(const XmlNode& node, const XmlTokenInfo& token,
                                       const char* pending, std::size_t pendingLength) {
  const char* value = token.start;
  std::size_t length = token.length;
  if (node.record()->isDeclaration && length > 0 && value[length - 1] == '?')
    --length;
  if (token.kind == XmlToken::Quoted) {
    ++value;
    length -= 2;
  }
  // The name is copied first: should memory run out while the value is decoded,
  // the copy is not lost.
  std::unique_ptr<char, decltype(&std::free)> name(XmlCopyText(pending, pendingLength), &std::free);
  char* decoded = XmlUnescape(value, length, s_);
  if (decoded == nullptr)
    return false;
  AddAttributeTaken(node, name.release(), decoded, kXmlParserGrowth);
  return true;
}

ElementEnd ElementParser::Parse(const XmlNode& node, int depth, const char* pending,
                                std::size_t pendingLength) {
  TagState state = s_.first             ? TagState::Outside
                   : pending != nullptr ? TagState::HaveName
                                        : TagState::ExpectName;
  s_.first = false;
  const XmlNodeRecord* r = node.record();
  for (;;) {
    // In content only markup and the end of the text matter, and every token
    // steps by whole characters, so going straight to the next "<" or zero lands
    // where reading token after token would.
    if (state == TagState::Outside)
      s_.position = SkipToMarkup(Cursor(), end_) - s_.source;
    const XmlTokenInfo token = NextXmlToken(s_);
    if (token.kind == XmlToken::EndOfText) {
      if (!r->isDeclaration && r->parent != nullptr)
        Warn();
      CloseTextRun(node, Cursor());
      TrimStorage(node);
      return ElementEnd::Stop;
    }
    switch (state) {
      case TagState::Outside:
        switch (token.kind) {
          case XmlToken::TagStart:
          case XmlToken::DeclarationStart:
            if (OpenChild(node, token, depth) == ElementEnd::Stop)
              return ElementEnd::Stop;
            if (s_.pendingEndTagLength > 0) {
              if (r->name == nullptr) {
                Fail(XmlError::UnmatchedEndTag);
                return ElementEnd::Stop;
              }
              if (EndTagMatches(r, s_.pendingEndTag))
                s_.pendingEndTagLength = 0;
              TrimStorage(node);
              return ElementEnd::Finished;
            }
            break;
          case XmlToken::EndTagStart:
            if (!CloseTextRun(node, token.start))
              return ElementEnd::Stop;
            return ReadEndTag(node);
          case XmlToken::ClearStart:
            if (!CloseTextRun(node, token.start) || !ReadClearSection(node, *token.clear)) {
              return ElementEnd::Stop;
            }
            StartTextRun();
            break;
          default:
            break;  // part of the text run
        }
        break;
      case TagState::ExpectName:
        if (token.kind == XmlToken::Text) {
          pending = token.start;
          pendingLength = token.length;
          state = TagState::HaveName;
        } else if (token.kind == XmlToken::TagClose) {
          StartTextRun();
          state = TagState::Outside;
        } else if (token.kind == XmlToken::ShortClose) {
          StartTextRun();
          TrimStorage(node);
          return ElementEnd::Finished;
        } else {
          Fail(XmlError::UnexpectedToken);
          return ElementEnd::Stop;
        }
        break;
      case TagState::HaveName:
        if (token.kind == XmlToken::Text) {
          AddAttributeTaken(node, XmlCopyText(pending, pendingLength), nullptr, kXmlParserGrowth);
          pending = token.start;
          pendingLength = token.length;
        } else if (token.kind == XmlToken::TagClose || token.kind == XmlToken::ShortClose) {
          if (CloseStartTag(node, token, pending, pendingLength))
            return ElementEnd::Finished;
          state = TagState::Outside;
        } else if (token.kind == XmlToken::Equals) {
          state = TagState::HaveEquals;
        } else {
          Fail(XmlError::UnexpectedToken);
          return ElementEnd::Stop;
        }
        break;
      case TagState::HaveEquals:
        if (token.kind != XmlToken::Text && token.kind != XmlToken::Quoted) {
          Fail(XmlError::UnexpectedToken);
          return ElementEnd::Stop;
        }
        if (!ReadAttributeValue(node, token, pending, pendingLength))
          return ElementEnd::Stop;
        state = TagState::ExpectName;
        break;
    }
  }
}

void SetResult(XmlResult* result, XmlError error) {
  if (result == nullptr)
    return;
  result->error = error;
  result->line = 0;
  result->column = 0;
}

}  // namespace

XmlNode XmlNode::ParseString(const char* text, const char* firstTag, XmlResult* result) {
  if (text == nullptr) {
    SetResult(result, XmlError::NoElementsFound);
    return XmlNode();
  }
  const XmlNode root = CreateRoot(nullptr, false);
  ParseState state;
  state.source = text;
  state.textStart = text;
  ElementParser(state).Parse(root, 0);

  XmlError code = state.error;
  if (root.ChildCount() == 0)
    code = XmlError::NoXmlTagWarning;
  XmlNode candidate = (root.ChildCount() == 1 && EntryCount(root) == 1) ? root.GetChild(0) : root;
  if (static_cast<int>(code) >= static_cast<int>(XmlError::NoXmlData)) {
    candidate = XmlNode();
  } else if (firstTag != nullptr && firstTag[0] != 0 &&
             (candidate.GetName() == nullptr ||
              !XmlNamesEqualIgnoringCase(candidate.GetName(), firstTag))) {
    candidate = candidate.GetChildByName(firstTag);
    if (candidate.IsEmpty()) {
      SetResult(result, XmlError::FirstTagNotFound);
      return XmlNode();
    }
  }
  SetResult(result, code);
  if (result != nullptr && code != XmlError::NoError) {
    XmlLineAndColumn(text, code == XmlError::UnmatchedEndTagWarning ? state.mark : state.position,
                     result);
  }
  return candidate;
}

namespace {

// Owns the loaded file; freed on every path.
struct FileBuffer {
  unsigned char* data = nullptr;
  std::size_t size = 0;
  ~FileBuffer() { std::free(data); }
};

// Reads the whole file into a buffer with four zero bytes after the data, so
// that 8-bit and 16-bit text alike are terminated.
XmlError LoadFile(const char* path, FileBuffer& buffer) {
  std::FILE* file = OpenNamedFileForReading(path);
  if (file == nullptr)
    return XmlError::FileNotFound;
  long long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) {
#ifdef _WIN32
    length = _ftelli64(file);
#else
    length = ftello(file);
#endif
  }
  if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return XmlError::FileNotFound;
  }
  if (length == 0) {
    std::fclose(file);
    return XmlError::NoXmlData;
  }
  try {
    buffer.data = static_cast<unsigned char*>(XmlAllocate(static_cast<std::size_t>(length) + 4));
  } catch (...) {
    std::fclose(file);
    throw;
  }
  buffer.size = std::fread(buffer.data, 1, static_cast<std::size_t>(length), file);
  std::memset(buffer.data + buffer.size, 0, 4);
  std::fclose(file);
  return buffer.size == 0 ? XmlError::NoXmlData : XmlError::NoError;
}

bool StartsWith(const FileBuffer& buffer, unsigned char a, unsigned char b) {
  return buffer.size >= 2 && buffer.data[0] == a && buffer.data[1] == b;
}

// The loaded text gives way to its UTF-8 form (a zero-terminated heap text);
// false when there is none.
bool ReplaceBuffer(FileBuffer& buffer, char* text) {
  if (text == nullptr)
    return false;
  std::free(buffer.data);
  buffer.data = reinterpret_cast<unsigned char*>(text);
  buffer.size = std::strlen(text);
  return true;
}

// Replaces a 16-bit text in the buffer by its UTF-8 form; false when it cannot be
// converted.
bool ConvertWideBuffer(FileBuffer& buffer, WideTextOrder order) {
  // FF FE and FE FF are the byte-order marks; EF FF is skipped as well, as files
  // written with it have always been read.
  const std::size_t offset = (StartsWith(buffer, 0xFF, 0xFE) || StartsWith(buffer, 0xFE, 0xFF) ||
                              StartsWith(buffer, 0xEF, 0xFF))
                                 ? 2
                                 : 0;
  const std::size_t available = (buffer.size + 4 - offset) / 2;
  char16_t* units = static_cast<char16_t*>(XmlAllocate(available * sizeof(char16_t)));
  std::size_t count = 0;
  for (; count < available; ++count) {
    const unsigned char* pair = buffer.data + offset + 2 * count;
    const unsigned lo = order == WideTextOrder::LittleEndian ? pair[0] : pair[1];
    const unsigned hi = order == WideTextOrder::LittleEndian ? pair[1] : pair[0];
    const char16_t unit = static_cast<char16_t>(lo | (hi << 8));
    if (unit == 0)
      break;
    units[count] = unit;
  }
  char* text = ConvertWideTextToUtf8(units, count);
  std::free(units);
  return ReplaceBuffer(buffer, text);
}

bool IsXmlBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The encoding name of the XML declaration that opens the text; false when
// the text opens with none or the declaration names none.
bool DeclaredEncoding(const FileBuffer& buffer, const char** name, std::size_t* length) {
  const char* text = reinterpret_cast<const char*>(buffer.data);
  if (std::strncmp(text, "<?xml", 5) != 0 || !IsXmlBlank(static_cast<unsigned char>(text[5])))
    return false;
  const char* end = std::strstr(text, "?>");
  if (end == nullptr)
    return false;
  const std::string_view declaration(text, static_cast<std::size_t>(end - text));
  for (std::size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    std::size_t i = at + 8;
    while (i < declaration.size() && IsXmlBlank(static_cast<unsigned char>(declaration[i])))
      ++i;
    if (i >= declaration.size() || declaration[i] != '=')
      continue;
    ++i;
    while (i < declaration.size() && IsXmlBlank(static_cast<unsigned char>(declaration[i])))
      ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
      continue;
    const std::size_t close = declaration.find(declaration[i], i + 1);
    if (close == std::string_view::npos)
      return false;
    *name = text + i + 1;
    *length = close - i - 1;
    return true;
  }
  return false;
}

// 8-bit text that is not UTF-8 was saved in a code page: the one its
// declaration names when that is code page 1252, otherwise the ANSI code page,
// in which Windows has always read such bytes. UTF-8 is left exactly as it is,
// whatever the declaration says: an editor that saves UTF-8 keeps the old
// declaration more often than not. False when memory runs out.
bool ConvertCodePageBuffer(FileBuffer& buffer) {
  if (IsValidUtf8(std::string_view(reinterpret_cast<const char*>(buffer.data), buffer.size)))
    return true;
  const char* name = nullptr;
  std::size_t length = 0;
  const EightBitCodePage page =
      DeclaredEncoding(buffer, &name, &length) && NamesWindows1252(name, length)
          ? EightBitCodePage::kWindows1252
          : EightBitCodePage::kAnsi;
  // Text after a zero byte is not read, as it never was.
  const std::size_t size = std::strlen(reinterpret_cast<const char*>(buffer.data));
  return ReplaceBuffer(buffer, ConvertCodePageTextToUtf8(buffer.data, size, page));
}

}  // namespace

XmlNode XmlNode::ParseFile(const char* path, const char* firstTag, XmlResult* result) {
  SetResult(result, XmlError::NoError);
  FileBuffer buffer;
  const XmlError loaded = LoadFile(path, buffer);
  if (loaded != XmlError::NoError) {
    SetResult(result, loaded);
    return XmlNode();
  }
  std::size_t start = 0;
  const WideTextOrder order = TheXmlSettings().detectWideText
                                  ? DetectWideText(buffer.data, buffer.size)
                                  : WideTextOrder::None;
  if (order != WideTextOrder::None) {
    if (!ConvertWideBuffer(buffer, order)) {
      SetResult(result, XmlError::WideMultiByteConversion);
      return XmlNode();
    }
  } else if (buffer.size >= 3 && buffer.data[0] == 0xEF && buffer.data[1] == 0xBB &&
             buffer.data[2] == 0xBF) {
    start = 3;
  } else if (TheXmlSettings().detectWideText && !ConvertCodePageBuffer(buffer)) {
    SetResult(result, XmlError::WideMultiByteConversion);
    return XmlNode();
  }
  return ParseString(reinterpret_cast<const char*>(buffer.data) + start, firstTag, result);
}
