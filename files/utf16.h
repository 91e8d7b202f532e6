/// UTF-8, the one encoding of every text inside the program, to and from the
/// UTF-16 of the Windows wide ("W") calls. Windows build only: every -win32
/// source converts through here at the system boundary, so no name or text is
/// ever read in the ANSI code page, which loses what lies outside it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The UTF-16 form of a UTF-8 text. Bytes that are not UTF-8 (rare since the XML
// library converts files saved in a code page; a file marked UTF-8 that is
// not, say) are read in the ANSI code page, as the byte-string calls always
// read them, so such a name still finds its file.
std::wstring WidenUtf8(std::string_view text);

// The UTF-8 form of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string NarrowToUtf8(std::wstring_view text);

// The arguments of wmain as UTF-8, the program name first. An argument that
// holds an unpaired surrogate names nothing that UTF-8 can spell: it is
// converted all the same (with U+FFFD), so that the log can show it, and its
// index goes into *unreadable (when given), so that it is never taken for a name.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv,
                                       std::vector<int>* unreadable = nullptr);

// A wide text that a Windows call writes into a buffer of the caller's size
// (a directory, a module path, an environment variable): the buffer grows
// until the text fits, so no length limit applies. call(buffer, size) returns
// the length written, or the size it needs (or fills) when the buffer is too
// small, or 0 on failure, which gives the empty text.
template <typename Call>
std::wstring ReadWideBuffer(Call call) {
  std::wstring text(260, L'\0');
  while (true) {
    const unsigned long length = call(text.data(), static_cast<unsigned long>(text.size()));
    if (length == 0)
      return std::wstring();
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(text.size() < length ? length + 1 : text.size() * 2);
  }
}
