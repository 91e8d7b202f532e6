#include <windows.h>

#include <algorithm>
#include <string>

#include "files/named_file.h"
#include "files/utf16.h"
#include "platform/atomic_file.h"

namespace {

std::wstring DirectoryOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos)
    return L".";
  return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

bool WriteAll(HANDLE file, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
    if (!WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content,
                         unsigned long* error) {
  // GetTempFileName makes a name no one else holds, beside the target so that
  // the move stays within one volume.
  // The wide calls, so that a name outside the ANSI code page is the one written.
  const std::wstring target = WidenUtf8(path);
  // Only nothing or a regular file is replaced: a device name, a directory or
  // a link planted at the name is left as it is.
  if (StandingOfNamedFile(path.c_str()) == NamedFileStanding::kSomethingElse) {
    *error = ERROR_ACCESS_DENIED;
    return false;
  }
  wchar_t temporary[MAX_PATH] = {};
  if (GetTempFileNameW(DirectoryOf(target).c_str(), L"zen", 0, temporary) == 0) {
    *error = GetLastError();
    return false;
  }
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool done = file != INVALID_HANDLE_VALUE && WriteAll(file, content) && FlushFileBuffers(file);
  DWORD failure = GetLastError();
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  if (done) {
    done =
        MoveFileExW(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    failure = GetLastError();
  }
  if (done)
    return true;
  *error = failure;
  DeleteFileW(temporary);
  return false;
}
