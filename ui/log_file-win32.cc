#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "ui/log_file.h"
#include "files/utf16.h"

namespace {

// A reader that holds the log without letting others write (a scan, a viewer)
// usually lets go within moments; a run waits that long, not longer.
constexpr int kSharingRetries = 5;
constexpr DWORD kSharingRetryMilliseconds = 20;

// The runtime's error number for the failures an open meets, as fopen would
// have set it, so that the report reads the same whichever call failed.
unsigned long RuntimeErrorNumber(DWORD reason) {
  switch (reason) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EINVAL;
  }
}

}  // namespace

// Opened with read and write sharing, so that readers of the log (a tail tool,
// a second run's viewer) never keep the run from writing, and through the wide
// call, so that the path means the same file whatever the code page.
std::FILE* OpenLogForAppend(const char* path, unsigned long* error) {
  const std::wstring name = WidenUtf8(path);
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    file = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      break;
    const DWORD reason = GetLastError();
    if (reason != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) {
      *error = RuntimeErrorNumber(reason);
      return nullptr;
    }
    Sleep(kSharingRetryMilliseconds);
  }
  // Text mode, as fopen(path, "a") gives: lines end in CR LF.
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_TEXT);
  if (descriptor < 0) {
    *error = static_cast<unsigned long>(errno);
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* log = _fdopen(descriptor, "a");
  if (!log) {
    *error = static_cast<unsigned long>(errno);
    _close(descriptor);
  }
  return log;
}
