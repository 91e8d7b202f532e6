/// Windows build only: a DLL taken from the system directory by its full path.
/// A DLL that Windows does not always load from its own directory (its "known
/// DLLs"), linked in by name, would be looked for beside the program first,
/// and the program may run from a firmware package folder that others can
/// write. Loaded by its full path, it can only be the system's.
#pragma once

#include <windows.h>

class SystemLibrary {
 public:
  // name: the DLL's file name, e.g. L"version.dll".
  explicit SystemLibrary(const wchar_t* name);
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool loaded() const { return library_ != nullptr; }

  // An exported function of the DLL; null when it or the DLL is missing.
  template <typename Call>
  Call Find(const char* name) const {
    if (library_ == nullptr)
      return nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
  }

 private:
  HMODULE library_ = nullptr;
};
