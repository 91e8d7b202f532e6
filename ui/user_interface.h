/// The one sink for everything the program says: console, log file or both,
/// and the y/n/q/c question. Exactly one instance exists per process; start-up
/// creates it and installs it with InstallUserInterface().
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/run_flags.h"
#include "ui/console_window.h"

#if defined(__GNUC__)
#define ZENTAVOR_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZENTAVOR_PRINTF(fmt, args)
#endif

// Answer codes of UserInterface::Ask.
enum AnswerCode : std::int32_t {
  ANSWER_YES = 0,
  ANSWER_NO = 1,
  ANSWER_QUIT = 2,
  ANSWER_SKIP = 3,
};

class UserInterface {
 public:
  // Copies logPath (at most 259 UTF-16 units; a longer one is refused, leaving the
  // log unopenable rather than cut to another file's name), titles the console
  // and sizes its window to width x height (see ConsoleWindow).
  UserInterface(const char* logPath, int width, int height);
  // Closes the log stream and restores the console.
  ~UserInterface();
  UserInterface(const UserInterface&) = delete;
  UserInterface& operator=(const UserInterface&) = delete;

  void Configure(bool silent, bool debug, bool assumeDefault);

  // Log only; opens the log for appending on first use.
  void Write(const char* format, ...) ZENTAVOR_PRINTF(2, 3);
  // Console only; nothing when silent.
  void Print(const char* format, ...) ZENTAVOR_PRINTF(2, 3);
  // Log only, in debug mode only, never when silent, never opens the log.
  void Debug(const char* format, ...) ZENTAVOR_PRINTF(2, 3);
  // Console, then log.
  void PrintAndWrite(const char* format, ...) ZENTAVOR_PRINTF(2, 3);

  // The y/n/q/c question; returns an AnswerCode.
  std::int32_t Ask(const std::string& prompt, std::int32_t silentAnswer, std::int32_t forcedAnswer,
                   std::int32_t emptyLineAnswer, const char* defaultText);

  bool silent() const { return silent_; }
  bool debug() const { return debug_; }
  bool assumeDefault() const { return assumeDefault_; }
  const char* logPath() const { return logPath_; }

  // Where Ask reads its answers: standard input unless a test hands it a file.
  void SetInput(std::FILE* input);
  // Ask stops waiting for an answer once an interrupt arrived, and answers q:
  // arrived() is asked before a question is read, brokeOffRead() after its
  // read failed. Without them it always waits.
  void SetInterruptProbe(bool (*arrived)(), bool (*brokeOffRead)());

  // Puts the console back as construction found it (ConsoleWindow::Restore).
  void RestoreConsole();

 private:
  // Opens the log for appending if it is not open yet; false when that fails
  // (reported, and tried again by the next write).
  // The first failure is said once on standard error, whatever the options, so
  // that a run is never left unlogged in silence.
  bool OpenLog();
  // Write and Print for text already formatted, so it is passed on verbatim.
  void WriteText(const std::string& text);
  void PrintText(const std::string& text);
  bool Interrupted() const { return interruptArrived_ != nullptr && interruptArrived_(); }

  char logPath_[kPathBufferBytes] = {};
  bool silent_ = false;
  bool debug_ = false;
  bool assumeDefault_ = false;
  std::FILE* log_ = nullptr;
  bool logFailureReported_ = false;
  bool consoleLossReported_ = false;
  std::unique_ptr<ConsoleWindow> console_;
  std::FILE* input_ = stdin;
  bool (*interruptArrived_)() = nullptr;
  bool (*interruptBrokeOffRead_)() = nullptr;
};

// One line for whoever reads standard error (a console, a deployment tool),
// whatever the options: flushed at once. Every line the program writes to
// standard error goes through here, with or without a user interface: on a
// Windows console through its Unicode interface, as standard output goes
// (PutConsoleText), so that a name reads as itself whatever the console's code
// page; elsewhere as the UTF-8 bytes.
void SayOnStandardError(const std::string& text);

// A message written at most once. target: 0 console only, 2 console and log,
// any other value log only.
struct OnceNotice {
  bool shown = false;
  std::int32_t target = 2;
};

void NotifyOnce(OnceNotice& notice, UserInterface& ui, const char* format, ...)
    ZENTAVOR_PRINTF(3, 4);

// The process-wide user interface. Start-up installs it; every other part of
// the program writes through TheUserInterface(). Calling it before start-up
// installed one is an internal error that ends the process.
void InstallUserInterface(UserInterface* ui);
UserInterface& TheUserInterface();
bool HasUserInterface();

// The console's title and window size are the administrator's: every path that
// ends the process puts them back. main holds a ConsoleRestorer, so a run that
// returns from RunZentavor by any road restores them; code that ends the
// process without returning through main (an interrupt handler that must end
// it at once, for instance) calls RestoreConsoleOfUserInterface() before it
// does. Safe to call more than once, from any thread, and before start-up.
void RestoreConsoleOfUserInterface();

class ConsoleRestorer {
 public:
  ConsoleRestorer() = default;
  ~ConsoleRestorer() { RestoreConsoleOfUserInterface(); }
  ConsoleRestorer(const ConsoleRestorer&) = delete;
  ConsoleRestorer& operator=(const ConsoleRestorer&) = delete;
};
