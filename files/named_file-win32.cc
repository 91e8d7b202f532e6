#include <fcntl.h>
#include <io.h>
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

std::FILE* OpenNamedFileHeld(const char* path, std::string* why) {
  const std::wstring name = path == nullptr ? std::wstring() : WidenUtf8(path);
  // Read sharing only: no FILE_SHARE_WRITE, no FILE_SHARE_DELETE.
  const HANDLE handle = name.empty()
                            ? INVALID_HANDLE_VALUE
                            : CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = name.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    const DWORD attributes =
        name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      *why = "not a regular file";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
             error == ERROR_INVALID_NAME)
      *why = "no such file";
    else if (error == ERROR_ACCESS_DENIED)
      *why = "access denied";
    else if (error == ERROR_SHARING_VIOLATION)
      *why = "in use by another program";
    else
      *why = "error " + std::to_string(error);
    return nullptr;
  }
  // A device (NUL, CON) or a pipe that bears the name is no file to read.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    *why = "not a regular file";
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    *why = "cannot be opened by the C runtime";
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, "rb");
  if (file == nullptr) {
    _close(descriptor);
    *why = "cannot be opened by the C runtime";
  }
  return file;
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
