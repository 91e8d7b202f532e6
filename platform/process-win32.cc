#include <windows.h>

#include <string>

#include "platform/process.h"
#include "ui/user_interface.h"

namespace {

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

}  // namespace

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode) {
  return RunCommand(commandLine, exitCode, WaitTick());
}

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode, const WaitTick& tick) {
  TheUserInterface().Write("%s\n", commandLine.c_str());
  *exitCode = kCannotStartExitCode;

  // CreateProcessA may write into the command line, so it gets its own copy,
  // sized to the text rather than to a fixed buffer.
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    NoteStartFailure((words.empty() ? commandLine : words.front()) +
                     " could not be started (error " + std::to_string(error) +
                     "): looked for beside the program, in the current directory, the system "
                     "directories and PATH");
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
