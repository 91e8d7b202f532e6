#include <windows.h>
// tlhelp32.h builds on the types of windows.h.
#include <tlhelp32.h>

#include "platform/process_list.h"
#include "files/utf16.h"

namespace {

// Closes the snapshot on every path.
struct Snapshot {
  HANDLE handle;
  ~Snapshot() {
    if (handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
  }
};

}  // namespace

// A snapshot names every process's executable without opening any of them, so
// a vendor flash tool running as SYSTEM or as a protected service is seen as
// well as one of our own, and there is no identifier buffer that a busy server
// could overflow.
bool ListProcessBaseNames(std::vector<std::string>* names) {
  const Snapshot snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
  if (snapshot.handle == INVALID_HANDLE_VALUE)
    return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!Process32FirstW(snapshot.handle, &entry))
    return false;
  names->clear();
  do {
    if (entry.th32ProcessID != 0 && entry.szExeFile[0] != L'\0')
      names->push_back(NarrowToUtf8(entry.szExeFile));
  } while (Process32NextW(snapshot.handle, &entry));
  return true;
}
