/// Starting a command line as a child process without a window, waiting for
/// it and judging it by its exit code; plus the Windows command-line word rules
/// that the POSIX port follows, so both builds pass the same arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Exit code reported when the child cannot be started at all.
inline constexpr std::uint32_t kCannotStartExitCode = 98;

// Writes the command line to the log, starts it (no shell, no window, the
// child's standard streams detached from our console), waits without a time
// limit and stores the child's exit code. Returns false, with *exitCode = 98,
// when the child cannot be started. On POSIX a child ended by a signal counts
// as exit code 128 + the signal number.
bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode);

// Called about once a second while a child runs, with the whole seconds since
// it was started.
using WaitTick = std::function<void(unsigned elapsedSeconds)>;

// RunCommand, calling tick while the child runs (an empty tick: never).
bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode, const WaitTick& tick);

// Why the last child that could not be started did not start, naming the
// program and where it was looked for; empty while every child started.
std::string LastStartFailure();
// For the platform's runners: records that reason.
void NoteStartFailure(const std::string& reason);

// Splits a command line into words as the Windows C runtime does: runs of
// blanks and tabs separate words, double quotes group, backslashes escape
// quotes by the usual 2n / 2n+1 rule.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Quotes one value for a command line by the same rules, but only when it needs
// it: a value without blanks, tabs or double quotes (the empty value included)
// is returned unchanged. SplitCommandLine(QuoteArgument(v)) gives back v for
// every non-empty v.
std::string QuoteArgument(const std::string& value);
