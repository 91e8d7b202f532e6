#include <windows.h>
// psapi.h builds on the types of windows.h.
#include <psapi.h>

#include <vector>

#include "base/run_flags.h"
#include "platform/process_list.h"

namespace {

// Far beyond any real system; only a misbehaving listing would reach it.
constexpr std::size_t kMaxProcessIds = std::size_t{1} << 20;

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
  // EnumProcesses cannot say how many identifiers there are: a full buffer may
  // have been cut short, so grow it until the list fits. A busy server may run
  // more than a thousand processes, and a rival missed here would have its lock
  // cleared while it flashes.
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  while (true) {
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof ids[0]);
    if (!EnumProcesses(ids.data(), capacity, &bytes))
      return false;
    if (bytes < capacity || ids.size() >= kMaxProcessIds)
      break;
    ids.resize(ids.size() * 2);
  }
  names->clear();
  const DWORD count = bytes / sizeof ids[0];
  for (DWORD i = 0; i < count; ++i) {
    std::string name;
    if (ids[i] != 0 && ProcessBaseName(ids[i], &name))
      names->push_back(name);
  }
  return true;
}
