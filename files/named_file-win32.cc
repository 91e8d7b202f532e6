#include <sys/stat.h>

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
