#include <string>

#include "files/utf16.h"
#include "platform/system_library.h"

SystemLibrary::SystemLibrary(const wchar_t* name) {
  const std::wstring directory =
      ReadWideBuffer([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
  if (!directory.empty())
    library_ = LoadLibraryW((directory + L"\\" + name).c_str());
}

SystemLibrary::~SystemLibrary() {
  if (library_ != nullptr)
    FreeLibrary(library_);
}
