#include <windows.h>

#include "base/run_flags.h"
#include "platform/file_system.h"

char PathSeparator() {
  return '\\';
}

bool RemoveFile(const char* path) {
  return DeleteFileA(path) != 0;
}

bool MakeDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) != 0;
}

std::string SystemDrive() {
  char directory[kPathBufferSize];
  const UINT length = GetSystemDirectoryA(directory, sizeof directory);
  if (length == 0 || length >= sizeof directory || directory[1] != ':')
    return std::string();
  return std::string(directory, 2);
}

std::string LogDirectory() {
  return SystemDrive() + "\\tavensystem\\log";
}

bool TempDirectory(std::string* directory) {
  char path[kPathBufferSize];
  const DWORD length = GetTempPathA(sizeof path, path);
  if (length == 0 || length >= sizeof path)
    return false;
  std::string result(path, length);
  while (!result.empty() && (result.back() == '\\' || result.back() == '/'))
    result.pop_back();
  *directory = result;
  return true;
}

std::string OwnExecutablePath() {
  std::string path(MAX_PATH, '\0');
  while (true) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::string();
    // A full buffer means the name may have been cut: try again with more room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}
