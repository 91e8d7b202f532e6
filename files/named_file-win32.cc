#include <sys/stat.h>
#include <windows.h>

#include <cwchar>

#include "files/named_file.h"
#include "files/utf16.h"

std::FILE* OpenNamedFile(const char* path, const char* mode) {
  if (path == nullptr)
    return nullptr;
  return _wfopen(WidenUtf8(path).c_str(), WidenUtf8(mode).c_str());
}

// The runtime refuses to open a directory, and no file name in a package folder
// can name a pipe or a device.
std::FILE* OpenNamedFileForReading(const char* path) {
  return OpenNamedFile(path, "rb");
}

bool RemoveNamedFile(const char* path) {
  return _wremove(WidenUtf8(path).c_str()) == 0;
}

bool IsRegularNamedFile(const char* path) {
  struct _stat64 status;
  return _wstat64(WidenUtf8(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

NamedFileStanding StandingOfNamedFile(const char* path) {
  if (path == nullptr)
    return NamedFileStanding::kAbsent;
  const std::wstring name = WidenUtf8(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Device names (NUL, COM1) have no attributes on some systems: they open.
    const HANDLE device = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
      return NamedFileStanding::kAbsent;
    CloseHandle(device);
    return NamedFileStanding::kSomethingElse;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
    return NamedFileStanding::kSomethingElse;
  // A disk file, not a console, a pipe or a device that answers to a file name.
  const HANDLE file =
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return NamedFileStanding::kRegularFile;  // held without sharing: still a file
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  return type == FILE_TYPE_DISK ? NamedFileStanding::kRegularFile
                                : NamedFileStanding::kSomethingElse;
}
