#include <windows.h>

#include <string>

#include "files/utf16.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "ui/user_interface.h"

namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// "C:\..." or "\\server\...": a PATH entry that names the same directory
// whatever the current directory is.
bool IsAbsoluteDirectory(const std::wstring& directory) {
  return (directory.size() >= 3 && directory[1] == L':' && IsSeparator(directory[2])) ||
         (directory.size() >= 2 && IsSeparator(directory[0]) && IsSeparator(directory[1]));
}

std::wstring DirectoryOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// The absolute entries of PATH, in order, without the quotes an entry may carry.
std::vector<std::wstring> AbsolutePathEntries() {
  const std::wstring path = ReadWideBuffer(
      [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
  std::vector<std::wstring> entries;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos)
      end = path.size();
    std::wstring entry = path.substr(start, end - start);
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
      entry = entry.substr(1, entry.size() - 2);
    if (IsAbsoluteDirectory(entry))
      entries.push_back(entry);
    start = end + 1;
  }
  return entries;
}

// Where the system's own program search looks, less the current directory: the
// firmware package folder, which others may be able to write.
std::vector<std::wstring> SearchDirectories() {
  std::vector<std::wstring> directories = {
      DirectoryOf(WidenUtf8(OwnExecutablePath())),
      ReadWideBuffer([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); }),
      ReadWideBuffer(
          [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); }),
  };
  for (std::wstring& entry : AbsolutePathEntries())
    directories.push_back(std::move(entry));
  return directories;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The full path of the program a command line names, as the system would find
// it but never in the current directory; ".exe" is added to a name without an
// extension. A name with a directory part is taken as it stands. Empty when
// there is no such program.
std::wstring FindProgram(const std::wstring& name) {
  const std::size_t base = name.find_last_of(L"\\/:");
  const bool hasExtension =
      name.find(L'.', base == std::wstring::npos ? 0 : base) != std::wstring::npos;
  const std::wstring file = hasExtension ? name : name + L".exe";
  if (base != std::wstring::npos)
    return file;
  for (const std::wstring& directory : SearchDirectories()) {
    if (directory.empty())
      continue;
    const std::wstring candidate =
        IsSeparator(directory.back()) ? directory + file : directory + L"\\" + file;
    if (IsFile(candidate))
      return candidate;
  }
  return std::wstring();
}

// WaitForSingleObject without a time limit, waking once a second to call tick.
DWORD WaitTicking(HANDLE process, const WaitTick& tick) {
  if (!tick)
    return WaitForSingleObject(process, INFINITE);
  const ULONGLONG start = GetTickCount64();
  for (unsigned next = 1;; ++next) {
    const ULONGLONG due = start + 1000ULL * next;
    const ULONGLONG now = GetTickCount64();
    const DWORD waited =
        WaitForSingleObject(process, due > now ? static_cast<DWORD>(due - now) : 0);
    if (waited != WAIT_TIMEOUT)
      return waited;
    tick(next);
  }
}

// The system's text for an error, without its line end; "%1" in it names the
// program.
std::string SystemMessage(DWORD error, const std::string& program) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? NarrowToUtf8(std::wstring(text, length)) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (const std::size_t insert = message.find("%1"); insert != std::string::npos)
    message.replace(insert, 2, program);
  return message;
}

// Why a program that is there did not start: errors that say the file is no
// program this system runs (no right to run it, not a program, one for another
// machine) read as "is not executable"; others by their number as before.
std::string StartFailureOf(const std::string& program, DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_EXE_MARKED_INVALID: {
      const std::string text = SystemMessage(error, program);
      return program + " could not be started: it is not executable (error " +
             std::to_string(error) + (text.empty() ? "" : ": " + text) + ")";
    }
    default:
      return program + " could not be started (error " + std::to_string(error) + ")";
  }
}

}  // namespace

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode) {
  return RunCommand(commandLine, exitCode, WaitTick());
}

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode, const WaitTick& tick) {
  TheUserInterface().Write("%s\n", commandLine.c_str());
  *exitCode = kCannotStartExitCode;

  const std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty())
    return false;
  const std::wstring program = FindProgram(WidenUtf8(words[0]));
  if (program.empty()) {
    NoteStartFailure(words[0] +
                     " could not be started: it is neither beside the program, nor in the system "
                     "or Windows directory, nor in an absolute directory of PATH");
    return false;
  }
  // The child reads the very text the log shows. CreateProcessW may write into
  // its command line, so it gets its own copy.
  std::wstring mutableLine = WidenUtf8(commandLine);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    NoteStartFailure(StartFailureOf(NarrowToUtf8(program), error));
    return false;
  }

  DWORD code = 0;
  // A child whose end or exit code cannot be read has no result to judge it
  // by; it must not pass for a success, so it counts as one that could not run.
  const bool judged = WaitTicking(process.hProcess, tick) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (!judged)
    return false;
  *exitCode = code;
  return true;
}
