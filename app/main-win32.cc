// The Windows entry point: the arguments arrive as the C runtime splits the
// wide command line, and become the UTF-8 text the rest of the program reads.
// The ANSI arguments of main would have passed every character outside the
// code page through a best-fit mapping (Ł as L, a fullwidth quote as a real
// one) or as "?".
#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/zentavor.h"
#include "files/utf16.h"
#include "ui/user_interface.h"

namespace {

// DLLs come from the system directory only, never from the firmware package
// folder the program runs in. The call is looked up at run time: it is missing
// from systems without the update that brought it, which keep the old search.
void LoadLibrariesFromTheSystemDirectoryOnly() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set = kernel ? reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
                                GetProcAddress(kernel, "SetDefaultDllDirectories")))
                          : nullptr;
  if (set)
    set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  LoadLibrariesFromTheSystemDirectoryOnly();
  std::vector<int> unreadable;
  std::vector<std::string> arguments = Utf8Arguments(argc, argv, &unreadable);
  for (const int index : unreadable)
    MarkArgumentUnreadable(index);
  std::vector<char*> pointers;
  for (std::string& argument : arguments)
    pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const ConsoleRestorer restorer;
  return RunZentavor(argc, pointers.data());
}
