#include <windows.h>

#include <cstdio>
#include <vector>

#include "files/utf16.h"
#include "platform/file_system.h"
#include "platform/own_version.h"
#include "platform/system_library.h"

namespace {

// The version-resource calls, from the version.dll of the system directory.
struct VersionCalls {
  using InfoSize = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using Info = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using Query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

  SystemLibrary library{L"version.dll"};
  InfoSize getInfoSize = library.Find<InfoSize>("GetFileVersionInfoSizeW");
  Info getInfo = library.Find<Info>("GetFileVersionInfoW");
  Query query = library.Find<Query>("VerQueryValueW");

  bool usable() const { return getInfoSize && getInfo && query; }
};

// The fixed file information of the executable's version resource; false when
// it carries none.
bool ReadFixedFileInfo(VS_FIXEDFILEINFO* info) {
  const VersionCalls calls;
  // The wide calls: in a folder whose name lies outside the ANSI code page the
  // ANSI path names no file, and the version would read 0.0.0.0.
  const std::wstring path = WidenUtf8(OwnExecutablePath());
  if (!calls.usable() || path.empty())
    return false;
  DWORD ignored = 0;
  const DWORD size = calls.getInfoSize(path.c_str(), &ignored);
  if (size == 0)
    return false;
  std::vector<char> data(size);
  if (!calls.getInfo(path.c_str(), 0, size, data.data()))
    return false;
  void* block = nullptr;
  UINT length = 0;
  if (!calls.query(data.data(), L"\\", &block, &length) || length < sizeof *info)
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
