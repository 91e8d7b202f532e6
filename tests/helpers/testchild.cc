// A child program for the tests of the process runner and the start-up checks:
//   testchild exit <code>          exits with <code>
//   testchild print <text> <code>  writes <text> to standard output and error, exits with <code>
//   testchild sleep <seconds>      sleeps, then exits 0 (stands in for a rival flash tool)
//   testchild signal <number>      raises the signal (POSIX) or exits 128 + number (Windows)
//   testchild args <file>          writes every argument after <file> to <file>, one per line
//   testchild hold-name <name> <seconds>
//                                  Windows: holds an event called <name>, so that no mutex of
//                                  that name can be made, says "holding", sleeps; POSIX: exits 99
//   testchild hold <file> <seconds>
//                                  Windows: opens <file> letting others read but not write,
//                                  says "held" on standard output, holds it, then exits 0
//   testchild console <report> <program> [arguments...]
//                                  Windows, in a real console: gives it a title, a tall
//                                  buffer and a small window, runs the program in it, and
//                                  writes to <report> (UTF-8) the console's title and sizes
//                                  before and after, then the text on its screen
//   testchild spawn <program> [arguments...]
//                                  Windows: runs the program with the arguments as UTF-16, where
//                                  "{U+XXXX}" in an argument stands for that one code unit (an
//                                  unpaired surrogate, say), and exits with its exit code
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>

namespace {

std::string Utf8(const wchar_t* text, int length) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes > 0 ? bytes : 0, '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

int Hold(const char* path, double seconds) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 2;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds * 1000));
  CloseHandle(file);
  return 0;
}

// An event of the given name keeps any mutex of that name from being made.
int HoldName(const char* name, double seconds) {
  if (CreateEventA(nullptr, TRUE, FALSE, name) == nullptr)
    return 2;
  std::puts("holding");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds * 1000));
  return 0;
}

std::string ConsoleState(HANDLE output) {
  wchar_t title[1024] = {};
  const DWORD length = GetConsoleTitleW(title, 1024);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(output, &info);
  char sizes[128];
  std::snprintf(sizes, sizeof sizes, " buffer=%dx%d window=%dx%d\n", info.dwSize.X, info.dwSize.Y,
                info.srWindow.Right - info.srWindow.Left + 1,
                info.srWindow.Bottom - info.srWindow.Top + 1);
  return "title=" + Utf8(title, static_cast<int>(length)) + sizes;
}

std::string ScreenText(HANDLE output) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(output, &info);
  std::string text;
  std::wstring line(info.dwSize.X, L' ');
  for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(output, line.data(), info.dwSize.X, {0, row}, &read);
    std::wstring trimmed = line.substr(0, read);
    trimmed.erase(trimmed.find_last_not_of(L' ') + 1);
    text += Utf8(trimmed.c_str(), static_cast<int>(trimmed.size())) + "\n";
  }
  return text;
}

// An argument as the wide text it stands for: read in the ANSI code page, as
// main received it, with "{U+XXXX}" (four hexadecimal digits) as that one
// UTF-16 code unit, which no code page can spell when it is half a pair.
std::wstring WithCodeUnits(const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  wide.resize(
      static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), length)));
  for (std::size_t at = wide.find(L"{U+"); at != std::wstring::npos;
       at = wide.find(L"{U+", at + 1)) {
    const std::wstring digits = wide.substr(at + 3, 4);
    if (digits.size() == 4 &&
        digits.find_first_not_of(L"0123456789ABCDEFabcdef") == std::wstring::npos &&
        wide.compare(at + 7, 1, L"}") == 0)
      wide.replace(at, 8, 1, static_cast<wchar_t>(std::wcstoul(digits.c_str(), nullptr, 16)));
  }
  return wide;
}

constexpr DWORD kNotStarted = 0xFFFFFFFF;

// Runs argv[first] with the arguments after it (each quoted), in this
// process's console and with its standard handles; its exit code, or
// kNotStarted.
DWORD RunAndWait(int argc, char** argv, int first) {
  std::wstring command = L"\"" + WithCodeUnits(argv[first]) + L"\"";
  for (int i = first + 1; i < argc; ++i)
    command += L" \"" + WithCodeUnits(argv[i]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process))
    return kNotStarted;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

int Console(int argc, char** argv) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(output, &info))
    return 3;
  SetConsoleTitleW(L"Administrator: \u0141\u00f3d\u017a");
  // The window first: a buffer is never narrower than its window.
  const SMALL_RECT window = {0, 0, 79, 24};
  SetConsoleWindowInfo(output, TRUE, &window);
  SetConsoleScreenBufferSize(output, {80, 300});
  std::string report = "before " + ConsoleState(output);
  const DWORD code = RunAndWait(argc, argv, 3);
  if (code == kNotStarted)
    return 4;
  report += "after " + ConsoleState(output) + ScreenText(output);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out)
    return 2;
  std::fwrite(report.data(), 1, report.size(), out);
  std::fclose(out);
  return static_cast<int>(code);
}

int Spawn(int argc, char** argv) {
  const DWORD code = RunAndWait(argc, argv, 2);
  return code == kNotStarted ? 4 : static_cast<int>(code);
}

}  // namespace
#endif

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0)
    return std::atoi(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "print") == 0) {
    std::fprintf(stdout, "%s\n", argv[2]);
    std::fprintf(stderr, "%s\n", argv[2]);
    return std::atoi(argv[3]);
  }
  if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
    std::this_thread::sleep_for(
        std::chrono::milliseconds(static_cast<long>(std::atof(argv[2]) * 1000)));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "signal") == 0) {
#ifdef _WIN32
    return 128 + std::atoi(argv[2]);
#else
    std::raise(std::atoi(argv[2]));
    return 1;
#endif
  }
  if (argc >= 3 && std::strcmp(argv[1], "args") == 0) {
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out)
      return 2;
    for (int i = 3; i < argc; ++i)
      std::fprintf(out, "%s\n", argv[i]);
    std::fclose(out);
    return 0;
  }
#ifdef _WIN32
  if (argc >= 4 && std::strcmp(argv[1], "hold") == 0)
    return Hold(argv[2], std::atof(argv[3]));
  if (argc >= 4 && std::strcmp(argv[1], "console") == 0)
    return Console(argc, argv);
  if (argc >= 3 && std::strcmp(argv[1], "spawn") == 0)
    return Spawn(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "hold-name") == 0)
    return HoldName(argv[2], std::atof(argv[3]));
#endif
  std::fprintf(stderr, "testchild: unknown command\n");
  return 99;
}
