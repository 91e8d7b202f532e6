#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/file_system.h"
#include "platform/own_version.h"
#include "xml/utf16.h"

namespace {

// The fixed file information of the executable's version resource; false when
// it carries none.
bool ReadFixedFileInfo(VS_FIXEDFILEINFO* info) {
  // The wide calls: in a folder whose name lies outside the ANSI code page the
  // ANSI path names no file, and the version would read 0.0.0.0.
  const std::wstring path = WidenUtf8(OwnExecutablePath());
  if (path.empty())
    return false;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0)
    return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
    return false;
  void* block = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &block, &length) || length < sizeof *info)
    return false;
  *info = *static_cast<const VS_FIXEDFILEINFO*>(block);
  return true;
}

}  // namespace

void GetOwnFileVersion(char* buffer, std::size_t size) {
  if (size == 0)
    return;
  VS_FIXEDFILEINFO info = {};
  if (!ReadFixedFileInfo(&info)) {
    std::snprintf(buffer, size, "0.0.0.0");
    return;
  }
  std::snprintf(buffer, size, "%d.%d.%d.%d", HIWORD(info.dwFileVersionMS),
                LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
                LOWORD(info.dwFileVersionLS));
}
