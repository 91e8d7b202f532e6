// Windows reaches one file by many names: letter case, 8.3 short names,
// trailing dots and blanks that the name rules drop, the \\?\ prefix, and the
// stream suffix (NICFWData.xml::$DATA is the file's own data). Every name is
// widened through the program's UTF-8 seam, never through the narrow
// std::filesystem constructor, which would read it in the ANSI code page.
#include <windows.h>

#include <optional>
#include <utility>

#include "files/same_file.h"
#include "files/utf16.h"

namespace {

struct Identity {
  DWORD volume = 0;
  DWORD high = 0;
  DWORD low = 0;
};

std::optional<Identity> IdentityOf(const std::wstring& path) {
  // No access is asked for: the query succeeds whoever holds the file, and a
  // directory opens with backup semantics.
  const HANDLE file =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information = {};
  const bool read = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  if (!read)
    return std::nullopt;
  return Identity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                  information.nFileIndexLow};
}

void DropLongPathPrefix(std::wstring* path) {
  if (path->rfind(L"\\\\?\\UNC\\", 0) == 0)
    path->replace(0, 8, L"\\\\");
  else if (path->rfind(L"\\\\?\\", 0) == 0)
    path->erase(0, 4);
}

// The name rules drop trailing dots and blanks from every part, and what
// follows a colon in the last part names a stream of the file, not another one.
std::wstring WithoutDecorations(const std::wstring& path) {
  std::wstring result;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L'\\', start);
    const bool last = end == std::wstring::npos;
    if (last)
      end = path.size();
    std::wstring part = path.substr(start, end - start);
    // "C:" stays whole: the drive's colon is no stream.
    const bool drive = start == 0 && part.size() == 2 && part[1] == L':';
    if (last && !drive) {
      const std::size_t colon = part.find(L':');
      if (colon != std::wstring::npos)
        part.erase(colon);
    }
    while (!part.empty() && !drive && (part.back() == L'.' || part.back() == L' ') &&
           part != L"." && part != L"..")
      part.pop_back();
    result += part;
    if (last)
      break;
    result += L'\\';
    start = end + 1;
  }
  return result;
}

std::wstring LongForm(const std::wstring& path) {
  std::wstring whole = ReadWideBuffer([&path](wchar_t* buffer, DWORD size) {
    return GetLongPathNameW(path.c_str(), buffer, size);
  });
  if (!whole.empty())
    return whole;
  // A file that does not exist yet: its folder may still carry a short name.
  const std::size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos || separator == 0)
    return path;
  const std::wstring folder = path.substr(0, separator);
  const std::wstring longFolder = ReadWideBuffer([&folder](wchar_t* buffer, DWORD size) {
    return GetLongPathNameW(folder.c_str(), buffer, size);
  });
  return longFolder.empty() ? path : longFolder + path.substr(separator);
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full = ReadWideBuffer([&path](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
  if (full.empty())
    full = path;
  DropLongPathPrefix(&full);
  return LongForm(WithoutDecorations(full));
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool SameIdentity(const Identity& a, const Identity& b) {
  return a.volume == b.volume && a.high == b.high && a.low == b.low;
}

// The folder part and the last name of a full path.
std::pair<std::wstring, std::wstring> SplitFolder(const std::wstring& full) {
  const std::size_t separator = full.find_last_of(L'\\');
  if (separator == std::wstring::npos)
    return {std::wstring(), full};
  return {full.substr(0, separator == 2 ? 3 : separator), full.substr(separator + 1)};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty())
    return false;
  const std::wstring left = WidenUtf8(a);
  const std::wstring right = WidenUtf8(b);
  const std::optional<Identity> leftIdentity = IdentityOf(left);
  const std::optional<Identity> rightIdentity = IdentityOf(right);
  if (leftIdentity && rightIdentity)
    return SameIdentity(*leftIdentity, *rightIdentity);
  // A file that does not exist yet is named by its folder, which may be
  // reached by more than one path (a mapped drive, a junction), and its name.
  const std::wstring leftFull = FullPath(left);
  const std::wstring rightFull = FullPath(right);
  const auto [leftFolder, leftName] = SplitFolder(leftFull);
  const auto [rightFolder, rightName] = SplitFolder(rightFull);
  const std::optional<Identity> leftFolderIdentity = IdentityOf(leftFolder);
  const std::optional<Identity> rightFolderIdentity = IdentityOf(rightFolder);
  if (leftFolderIdentity && rightFolderIdentity)
    return SameIdentity(*leftFolderIdentity, *rightFolderIdentity) && SameName(leftName, rightName);
  return SameName(leftFull, rightFull);
}
