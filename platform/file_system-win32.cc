// Every name crosses into Windows as UTF-16 through the wide calls: the ANSI
// calls would read it in the code page and reach a look-alike file, or none.
#include <sys/stat.h>
#include <windows.h>

#include "base/run_flags.h"
#include "files/utf16.h"
#include "platform/file_system.h"

char PathSeparator() {
  return '\\';
}

// _wstat is the runtime's file-status query, so directories count as stat
// counts them.
bool FileExists(const char* path) {
  struct _stat64 status;
  return _wstat64(WidenUtf8(path).c_str(), &status) == 0;
}

bool RemoveFile(const char* path, unsigned long* error) {
  if (DeleteFileW(WidenUtf8(path).c_str()) != 0)
    return true;
  if (error != nullptr)
    *error = GetLastError();
  return false;
}

bool MakeDirectory(const char* path) {
  return CreateDirectoryW(WidenUtf8(path).c_str(), nullptr) != 0;
}

std::string SystemDrive() {
  const std::wstring directory =
      ReadWideBuffer([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
  if (directory.size() < 2 || directory[1] != L':')
    return std::string();
  return NarrowToUtf8(directory.substr(0, 2));
}

std::string LogDirectory() {
  return SystemDrive() + "\\tavensystem\\log";
}

bool TempDirectory(std::string* directory) {
  wchar_t path[kPathBufferSize];
  const DWORD length = GetTempPathW(kPathBufferSize, path);
  if (length == 0 || length >= kPathBufferSize)
    return false;
  std::wstring result(path, length);
  while (!result.empty() && (result.back() == L'\\' || result.back() == L'/'))
    result.pop_back();
  *directory = NarrowToUtf8(result);
  return true;
}

std::string OwnExecutablePath() {
  return NarrowToUtf8(ReadWideBuffer(
      [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); }));
}
