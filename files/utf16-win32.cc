#include <windows.h>

#include <climits>

#include "files/utf16.h"

namespace {

std::wstring Widen(UINT codePage, DWORD flags, std::string_view text) {
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (units <= 0)
    return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), units);
  return wide;
}

}  // namespace

std::wstring WidenUtf8(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX)
    return std::wstring();
  std::wstring wide = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, text);
  return wide.empty() ? Widen(CP_ACP, 0, text) : wide;
}

std::string NarrowToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX)
    return std::string();
  const int size = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0)
    return std::string();
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv, std::vector<int>* unreadable) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(NarrowToUtf8(argument));
    // Only text with an unpaired surrogate fails the strict conversion.
    if (unreadable != nullptr && !argument.empty() && argument.size() <= INT_MAX &&
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argument.data(),
                            static_cast<int>(argument.size()), nullptr, 0, nullptr, nullptr) == 0)
      unreadable->push_back(i);
  }
  return arguments;
}
