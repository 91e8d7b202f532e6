#include <windows.h>
// psapi.h builds on the types of windows.h.
#include <psapi.h>

#include "app/run_flags.h"
#include "platform/process_list.h"

namespace {

// The base name of the process's first module, its executable; false when the
// process cannot be opened or read (other users' and protected processes).
bool ProcessBaseName(DWORD id, std::string* name) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!process)
    return false;
  HMODULE module = nullptr;
  DWORD needed = 0;
  char baseName[kPathBufferSize] = {};
  DWORD length = 0;
  if (EnumProcessModules(process, &module, sizeof module, &needed))
    length = GetModuleBaseNameA(process, module, baseName, sizeof baseName);
  CloseHandle(process);
  if (length == 0)
    return false;
  name->assign(baseName, length);
  return true;
}

}  // namespace

bool ListProcessBaseNames(std::vector<std::string>* names) {
  DWORD ids[1024];
  DWORD bytes = 0;
  if (!EnumProcesses(ids, sizeof ids, &bytes))
    return false;
  names->clear();
  const DWORD count = bytes / sizeof ids[0];
  for (DWORD i = 0; i < count; ++i) {
    std::string name;
    if (ids[i] != 0 && ProcessBaseName(ids[i], &name))
      names->push_back(name);
  }
  return true;
}
