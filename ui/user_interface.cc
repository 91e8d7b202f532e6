#include "ui/user_interface.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/ascii.h"
#include "base/product.h"
#include "base/utf8.h"
#include "ui/log_file.h"

namespace {

UserInterface* installedUserInterface = nullptr;

// Formats into a string sized to the text, so that no message, however long,
// is cut or overruns a buffer.
std::string FormatText(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0)
    return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string FormatLine(const char* format, ...) ZENTAVOR_PRINTF(1, 2);
std::string FormatLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  return text;
}

void PutText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

constexpr const char kLogCannotBeOpened[] =
    "Warning: Cannot open the log file %s (error %lu); this run is not being logged.\n";

constexpr const char kConsoleLost[] =
    "Warning: The console can no longer be written to; the run goes on, and the log keeps "
    "what it says.\n";

// The answer code for one typed line (its newline already removed, not empty).
std::int32_t JudgeAnswer(const char* line) {
  switch (LowerAscii(line[0])) {
    case 'c':
      return EqualsIgnoringCase(line, "c") ? ANSWER_SKIP : ANSWER_NO;
    case 'q':
      return EqualsIgnoringCase(line, "q") || EqualsIgnoringCase(line, "quit") ? ANSWER_QUIT
                                                                               : ANSWER_NO;
    case 'y':
      return EqualsIgnoringCase(line, "y") || EqualsIgnoringCase(line, "yes") ? ANSWER_YES
                                                                              : ANSWER_NO;
    default:  // 'n' and everything unrecognised
      return ANSWER_NO;
  }
}

}  // namespace

UserInterface::UserInterface(const char* logPath, int width, int height)
    : console_(std::make_unique<ConsoleWindow>(kTitle, width, height)) {
  // A path that does not fit is refused rather than cut: a cut path would
  // quietly send the log to some other file. The empty path then fails to open
  // and is reported like any other log that cannot be opened.
  const std::size_t length = logPath ? std::strlen(logPath) : 0;
  const bool fits = length > 0 && FitsPathBuffer(std::string_view(logPath, length));
  if (fits)
    std::memcpy(logPath_, logPath, length);
  logPath_[fits ? length : 0] = '\0';
}

UserInterface::~UserInterface() {
  if (log_)
    std::fclose(log_);
  console_.reset();
}

void UserInterface::Configure(bool silent, bool debug, bool assumeDefault) {
  silent_ = silent;
  debug_ = debug;
  assumeDefault_ = assumeDefault;
}

void UserInterface::SetInput(std::FILE* input) {
  input_ = input;
}

void UserInterface::SetInterruptProbe(bool (*arrived)(), bool (*brokeOffRead)()) {
  interruptArrived_ = arrived;
  interruptBrokeOffRead_ = brokeOffRead;
}

bool UserInterface::OpenLog() {
  if (log_)
    return true;
  unsigned long error = 0;
  log_ = OpenLogForAppend(logPath_, &error);
  if (log_)
    return true;
  // A run that flashes must not go unrecorded without a word: whoever reads
  // standard error (a console, a deployment tool) learns it once.
  if (!logFailureReported_) {
    logFailureReported_ = true;
    SayOnStandardError(FormatLine(kLogCannotBeOpened, logPath_, error));
  }
  // The debug channel writes to the very stream that failed to open, so the
  // report goes to standard error instead, under the debug channel's own rules.
  if (debug_ && !silent_)
    SayOnStandardError(
        FormatLine("UserInterface::Write(): fopen() %s failed %lu\n", logPath_, error));
  return false;
}

void UserInterface::WriteText(const std::string& text) {
  if (OpenLog())
    PutText(log_, text);
}

void UserInterface::PrintText(const std::string& text) {
  if (silent_ || PutConsoleText(stdout, text) || consoleLossReported_)
    return;
  // The reader of the console has gone (a pipe closed early, a dropped
  // session): the run goes on to its verdict, and the log keeps every line.
  consoleLossReported_ = true;
  WriteText(kConsoleLost);
}

void UserInterface::RestoreConsole() {
  console_->Restore();
}

void UserInterface::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  WriteText(text);
}

void UserInterface::Print(const char* format, ...) {
  if (silent_)
    return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  PrintText(text);
}

void UserInterface::Debug(const char* format, ...) {
  if (silent_ || !debug_ || !log_)
    return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  PutText(log_, text);
}

void UserInterface::PrintAndWrite(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  PrintText(text);
  WriteText(text);
}

std::int32_t UserInterface::Ask(const std::string& prompt, std::int32_t silentAnswer,
                                std::int32_t forcedAnswer, std::int32_t emptyLineAnswer,
                                const char* defaultText) {
  if (silent_)
    return (RunFlags & RUN_FORCE) ? forcedAnswer : silentAnswer;
  if (assumeDefault_)
    return silentAnswer;

  const std::string question = prompt + " y/n/q/c (" + (defaultText ? defaultText : "") + "):";
  PrintText(question);
  WriteText(question);

  // 79 characters at most: the rest of a longer line answers the next question.
  // An interrupt breaks the wait off (the read fails): the question then ends
  // the run as q would, and its line ends unanswered.
  char line[80];
  if (Interrupted() || !std::fgets(line, sizeof line, input_)) {
    if (Interrupted() || (interruptBrokeOffRead_ != nullptr && interruptBrokeOffRead_())) {
      PrintAndWrite("\n");
      return ANSWER_QUIT;
    }
    PrintAndWrite("Unknown input problem!\nQuit...\n");
    return ANSWER_NO;
  }
  std::size_t length = std::strlen(line);
  WriteText(std::string(line, length));
  if (length > 0 && line[length - 1] == '\n')
    line[--length] = '\0';
  // Lines typed on Windows terminals, or written there, end in CR LF: the CR
  // is part of the line end, not of the answer. All of them go, so that both
  // builds read "y\r\r\n" alike (the Windows runtime hands it over as "y\r\n").
  while (length > 0 && line[length - 1] == '\r')
    line[--length] = '\0';
  if (length == 0)
    return emptyLineAnswer;
  return JudgeAnswer(line);
}

void NotifyOnce(OnceNotice& notice, UserInterface& ui, const char* format, ...) {
  if (notice.shown)
    return;
  notice.shown = true;
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  switch (notice.target) {
    case 2:
      ui.PrintAndWrite("%s", text.c_str());
      break;
    case 0:
      ui.Print("%s", text.c_str());
      break;
    default:
      ui.Write("%s", text.c_str());
      break;
  }
}

void SayOnStandardError(const std::string& text) {
  PutConsoleText(stderr, text);
}

void InstallUserInterface(UserInterface* ui) {
  installedUserInterface = ui;
}

UserInterface& TheUserInterface() {
  if (!installedUserInterface) {
    SayOnStandardError("Internal error: the user interface is used before start-up created it.\n");
    std::abort();
  }
  return *installedUserInterface;
}

bool HasUserInterface() {
  return installedUserInterface != nullptr;
}

void RestoreConsoleOfUserInterface() {
  if (UserInterface* ui = installedUserInterface)
    ui->RestoreConsole();
}
