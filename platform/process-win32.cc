#include <windows.h>

#include "platform/process.h"
#include "ui/user_interface.h"

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode) {
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
                      nullptr, nullptr, &startup, &process))
    return false;

  DWORD code = 0;
  // A child whose end or exit code cannot be read has no result to judge it
  // by; it must not pass for a success, so it counts as one that could not run.
  const bool judged = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (!judged)
    return false;
  *exitCode = code;
  return true;
}
