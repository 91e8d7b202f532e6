#include "xml/xml_writer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/named_file.h"
#include "xml/xml_node.h"

namespace {

// The entity of a special character, or none. Only single-byte characters are
// looked at: bytes inside a multi-byte character are copied as they are.
const char* EntityOf(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    default:
      return nullptr;
  }
}

struct EntityLengths {
  unsigned char length[256] = {};
  constexpr EntityLengths() {
    for (int c = 0; c < 256; ++c)
      length[c] = 1;
    length[static_cast<unsigned char>('&')] = 5;
    length[static_cast<unsigned char>('<')] = 4;
    length[static_cast<unsigned char>('>')] = 4;
    length[static_cast<unsigned char>('"')] = 6;
    length[static_cast<unsigned char>('\'')] = 6;
  }
};
constexpr EntityLengths kEscapedLength;

// Writes the escaped form and its terminating zero; returns the zero's place.
char* EscapeInto(char* out, const char* source) {
  for (const char* p = source; *p != 0;) {
    const char* entity = static_cast<unsigned char>(*p) < 0x80 ? EntityOf(*p) : nullptr;
    if (entity != nullptr) {
      const std::size_t length = std::strlen(entity);
      std::memcpy(out, entity, length);
      out += length;
      ++p;
    } else {
      const char* next = XmlNextChar(p);
      while (p < next)
        *out++ = *p++;
    }
  }
  *out = 0;
  return out;
}

// The counting pass: only adds up lengths.
class LengthSink {
 public:
  void Put(const char* text, std::size_t length) {
    (void)text;
    size_ += length;
  }
  void Put(const char* text) { size_ += std::strlen(text); }
  void Put(char c) {
    (void)c;
    ++size_;
  }
  void Tabs(int count) { size_ += static_cast<std::size_t>(count); }
  void Escaped(const char* text) { size_ += XmlEscapedSize(text); }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_ = 0;
};

// The writing pass: the buffer was sized by the counting pass.
class BufferSink {
 public:
  explicit BufferSink(char* buffer) : out_(buffer) {}
  void Put(const char* text, std::size_t length) {
    std::memcpy(out_, text, length);
    out_ += length;
  }
  void Put(const char* text) { Put(text, std::strlen(text)); }
  void Put(char c) { *out_++ = c; }
  void Tabs(int count) {
    std::memset(out_, '\t', static_cast<std::size_t>(count));
    out_ += count;
  }
  void Escaped(const char* text) { out_ = EscapeInto(out_, text); }
  char* end() const { return out_; }

 private:
  char* out_;
};

template <typename Sink>
void WriteStartTag(Sink& out, const XmlNodeRecord* r, int level, int indent, bool hasEntries) {
  out.Tabs(indent);
  out.Put('<');
  if (r->isDeclaration)
    out.Put('?');
  out.Put(r->name);
  for (int i = 0; i < r->attributeCount; ++i) {
    const XmlAttribute& attribute = r->attributes[i];
    if (attribute.name[0] == 0)
      continue;
    out.Put(' ');
    out.Put(attribute.name);
    if (attribute.value != nullptr) {
      out.Put("=\"", 2);
      out.Escaped(attribute.value);
      out.Put('"');
    }
  }
  if (r->isDeclaration) {
    out.Put("?>", 2);
    if (level != -1)
      out.Put('\n');
  } else if (hasEntries) {
    out.Put('>');
    if (level >= 0)
      out.Put('\n');
  } else {
    out.Put("/>", 2);
    if (level != -1)
      out.Put('\n');
  }
}

// Serialises one element at format level `level` (-1 unformatted, else the depth).
// `depth` is where the parser meets the element when it reads the text back;
// false when that is deeper than it accepts, so that nothing is written that its
// own parser would refuse.
template <typename Sink>
bool WriteElement(Sink& out, const XmlNodeRecord* r, int level, int depth) {
  if (depth > kXmlMaxDepth)
    return false;
  const int entries = r->childCount + r->textCount + r->clearCount;
  const int indent = level > 0 ? level : 0;
  if (level >= 0 && entries == 1 && r->textCount == 1 && !r->isDeclaration)
    level = -2;
  if (r->name != nullptr) {
    WriteStartTag(out, r, level, indent, entries > 0);
    if (entries == 0 && !r->isDeclaration)
      return true;
  }
  const int childLevel = level == -1                                ? -1
                         : (r->isDeclaration || r->name == nullptr) ? level
                                                                    : level + 1;
  int childDepth = depth + 1;
  for (int i = 0; i < entries; ++i) {
    const std::int32_t entry = r->order[i];
    const int index = XmlOrderIndex(entry);
    switch (XmlOrderKind(entry)) {
      case XmlEntryKind::Element: {
        const XmlNodeRecord* child = r->children[index];
        if (!WriteElement(out, child, childLevel, childDepth))
          return false;
        // At the top of a document the parser takes in everything after a
        // declaration as the declaration's content, one level deeper.
        if (r->name == nullptr && child->isDeclaration)
          childDepth = depth + 2;
        break;
      }
      case XmlEntryKind::Text: {
        const char* text = r->texts[index];
        if (text[0] == 0)
          break;
        if (level >= 0)
          out.Tabs(level + 1);
        out.Escaped(text);
        if (level >= 0)
          out.Put('\n');
        break;
      }
      case XmlEntryKind::Clear: {
        const XmlClear& clear = r->clears[index];
        if (level != -1)
          out.Tabs(level + 1);
        out.Put(clear.openTag);
        out.Put(clear.content);
        out.Put(clear.closeTag);
        if (level != -1)
          out.Put('\n');
        break;
      }
      default:
        break;
    }
  }
  if (r->name != nullptr && !r->isDeclaration && entries > 0) {
    if (level >= 0)
      out.Tabs(level);
    out.Put("</", 2);
    out.Put(r->name);
    out.Put('>');
    if (level != -1)
      out.Put('\n');
  }
  return true;
}

// Where the parser meets the node written first when it reads the text back: a
// named node is an element of the document, an anonymous root holds the
// document's elements; a header declaration in front of the text holds them all.
int ReadBackDepth(const XmlNodeRecord* r, bool header) {
  return (r->name != nullptr ? 1 : 0) + (header ? 1 : 0);
}

// The tree under r as a new heap text of the given format level; none when it is
// nested too deep for its own parser, or longer than an int can report.
char* Serialise(const XmlNodeRecord* r, int level, int depth, int* length) {
  LengthSink counter;
  if (!WriteElement(counter, r, level, depth) || counter.size() > INT_MAX)
    return nullptr;
  char* text = static_cast<char*>(XmlAllocate(counter.size() + 1));
  BufferSink writer(text);
  WriteElement(writer, r, level, depth);
  *writer.end() = 0;
  if (length != nullptr)
    *length = static_cast<int>(counter.size());
  return text;
}

int FormatLevel(bool formatted) {
  return (formatted && TheXmlSettings().trimWhitespace) ? 0 : -1;
}

// Removes a file that could not be written completely, so that its existence
// keeps meaning that it was written.
XmlError FailWrite(std::FILE* file, const char* path, bool removable) {
  std::fclose(file);
  if (removable)
    RemoveNamedFile(path);
  return XmlError::CannotWriteIntoFile;
}

}  // namespace

std::size_t XmlEscapedSize(const char* source) {
  std::size_t size = 0;
  for (const char* p = source; *p != 0;) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      size += kEscapedLength.length[c];
      ++p;
    } else {
      const char* next = XmlNextChar(p);
      size += static_cast<std::size_t>(next - p);
      p = next;
    }
  }
  return size;
}

int XmlEscapedLength(const char* source) {
  const std::size_t size = XmlEscapedSize(source);
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

char* XmlEscape(char* destination, const char* source) {
  EscapeInto(destination, source);
  return destination;
}

char* XmlNode::CreateString(bool formatted, int* length) const {
  if (length != nullptr)
    *length = 0;
  if (record_ == nullptr)
    return nullptr;
  return Serialise(record_, FormatLevel(formatted), ReadBackDepth(record_, false), length);
}

XmlError XmlNode::WriteToFile(const char* path, const char* encodingName, bool formatted) const {
  (void)encodingName;  // the library writes UTF-8 only, and says so in the header
  if (record_ == nullptr)
    return XmlError::NoError;
  std::FILE* file = OpenNamedFile(path, "wb");
  if (file == nullptr)
    return XmlError::CannotOpenForWriting;
  // Only a regular file was created or replaced by the writer and may be removed
  // again. A device named as the path (such as /dev/full) is written to but
  // never deleted, whoever runs the program.
  const bool removable = IsRegularNamedFile(path);
  const bool header =
      !(record_->isDeclaration || (record_->name == nullptr && record_->childCount > 0 &&
                                   record_->children[0]->isDeclaration));
  if (std::fwrite(kXmlUtf8Mark, 1, sizeof(kXmlUtf8Mark), file) != sizeof(kXmlUtf8Mark)) {
    return FailWrite(file, path, removable);
  }
  if (header && std::fprintf(file, kXmlHeaderTemplate, kXmlEncodingName) < 0) {
    return FailWrite(file, path, removable);
  }
  int length = 0;
  char* text = nullptr;
  try {
    text = Serialise(record_, FormatLevel(formatted), ReadBackDepth(record_, header), &length);
  } catch (...) {
    FailWrite(file, path, removable);
    throw;
  }
  const bool written = text != nullptr && length > 0 &&
                       std::fwrite(text, 1, static_cast<std::size_t>(length), file) ==
                           static_cast<std::size_t>(length);
  std::free(text);
  if (!written)
    return FailWrite(file, path, removable);
  if (std::fclose(file) != 0) {
    if (removable)
      RemoveNamedFile(path);
    return XmlError::CannotWriteIntoFile;
  }
  return XmlError::NoError;
}
