/// The program's run from start-up to exit code, callable from tests.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class UserInterface;

// Start-up, options, banner, one run mode under an exception guard, the closing
// log lines; returns the process exit code. argv's strings may be rewritten.
// Interrupts are caught for the whole run, so that an interrupted run ends
// here as well, with its closing lines.
int RunZentavor(int argc, char** argv);

// A run mode's handler: takes RunFlags and the user interface, returns the exit code.
using ModeHandler = std::int32_t (*)(std::uint32_t runFlags, UserInterface& ui);

enum class RunMode {
  kShowInstalled,
  kWriteReport,
  kReadReport,
  kVersionFile,
  kVerifyFile,
  kUpdate
};

struct RunModeEntry {
  std::uint32_t bit;  // 0 for the update run, which is chosen when no other bit is set
  RunMode mode;
  ModeHandler handler;
};

// The one mode that runs: the first entry whose bit is set in runFlags.
const RunModeEntry& SelectRunMode(std::uint32_t runFlags);

// Calls handler; an exception escaping it becomes the "unexpected error"
// message on console and log and exit code 0.
std::int32_t RunGuarded(ModeHandler handler, std::uint32_t runFlags, UserInterface& ui);

// "Www Mmm dd hh:mm:ss yyyy\n", the day padded with a blank.
std::string FormatTimeStamp(const std::tm& time);

// "<label>: <local time>\n" to the log only.
void WriteTimeStamp(UserInterface& ui, const char* label);

// "Command line supplied:\n\t" and every argument followed by a blank, to the log only.
void WriteCommandLineEcho(UserInterface& ui, int argc, char** argv);
