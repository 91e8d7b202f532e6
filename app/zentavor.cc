#include "app/zentavor.h"

#include <array>
#include <cstdio>
#include <exception>

#include "app/command_line.h"
#include "app/result_file.h"
#include "app/startup.h"
#include "app/update_driver.h"
#include "app/vendor_module.h"
#include "base/run_flags.h"
#include "inventory/run_record.h"
#include "inventory/vendor_command.h"
#include "platform/interrupt.h"
#include "platform/own_version.h"
#include "platform/standard_streams.h"
#include "ui/user_interface.h"

namespace {

constexpr const char kUnexpectedError[] =
    "An unexpected error has occurred.  Firmware update will not be completed.\n";

std::int32_t ReportMode(std::uint32_t, UserInterface& ui) {
  return ReportRun(ui);
}
std::int32_t ReplayMode(std::uint32_t, UserInterface& ui) {
  return ReplayRun(ui);
}

// The order is the precedence: the options that may be combined (-u with -ql,
// -ql with -v) run the earlier mode. An interrupt keeps every mode from
// starting a further command of the utility; each then ends with the verdict
// that what it did supports.
constexpr std::array<RunModeEntry, 6> kRunModes = {{
    {RUN_SHOW_INSTALLED, RunMode::kShowInstalled, ShowInstalledFirmware},
    {RUN_WRITE_REPORT, RunMode::kWriteReport, ReportMode},
    {RUN_READ_REPORT, RunMode::kReadReport, ReplayMode},
    {RUN_VERSION_FILE, RunMode::kVersionFile, WriteVersionReport},
    {RUN_VERIFY_FILE, RunMode::kVerifyFile, VerifyOnly},
    {0, RunMode::kUpdate, UpdateRun},
}};

constexpr const char kConsoleClosing[] =
    "Interrupt received: the console is closing or the session is ending, and the run ends "
    "here.\n";

// Called by the system, on a thread of its own, just before it ends the process.
void SayTheConsoleIsClosing() {
  if (HasUserInterface())
    TheUserInterface().Write("%s", kConsoleClosing);
}

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <std::size_t N>
const char* NameAt(const char* const (&names)[N], int index) {
  return (index >= 0 && static_cast<std::size_t>(index) < N) ? names[index] : "???";
}

}  // namespace

const RunModeEntry& SelectRunMode(std::uint32_t runFlags) {
  for (const RunModeEntry& entry : kRunModes) {
    if ((runFlags & entry.bit) != 0)
      return entry;
  }
  return kRunModes.back();
}

std::int32_t RunGuarded(ModeHandler handler, std::uint32_t runFlags, UserInterface& ui) {
  try {
    return handler(runFlags, ui);
  } catch (const std::exception& e) {
    ui.PrintAndWrite("%s%s", kUnexpectedError, e.what());
    NoteStop(StopKind::kFailed, std::string(kUnexpectedError) + e.what(), !ui.silent());
  } catch (...) {
    ui.PrintAndWrite("%s", kUnexpectedError);
    NoteStop(StopKind::kFailed, kUnexpectedError, !ui.silent());
  }
  NoteOutcome(Outcome::kFailed);
  return 0;
}

std::string FormatTimeStamp(const std::tm& time) {
  // Formatted by hand rather than with asctime(), which is undefined for years
  // past 9999 and not reentrant, and rather than strftime(), whose %e the
  // Windows runtime lacks.
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d\n", NameAt(kWeekdays, time.tm_wday),
                NameAt(kMonths, time.tm_mon), time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                time.tm_year + 1900);
  return text;
}

void WriteTimeStamp(UserInterface& ui, const char* label) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  const std::string text = local != nullptr ? FormatTimeStamp(*local) : "(time unknown)\n";
  ui.Write("%s: %s\n", label, text.c_str());
}

void WriteCommandLineEcho(UserInterface& ui, int argc, char** argv) {
  std::string echo = "Command line supplied:\n\t";
  for (int i = 0; i < argc; ++i) {
    echo += argv[i];
    echo += ' ';
  }
  echo += '\n';
  ui.Write("%s", echo.c_str());
}

// A run that stopped at start-up: kept out by another run or a vendor tool,
// or unable to go on.
Outcome StartupOutcome() {
  const StopKind stop = TheRunFacts().stop;
  return stop == StopKind::kBusy || stop == StopKind::kAnotherRun ? Outcome::kBusy
                                                                  : Outcome::kFailed;
}

int RunZentavor(int argc, char** argv) {
  // Before any file is opened: a closed standard stream must not make the
  // lock or the log the console.
  PrepareStandardStreams();
  CatchInterrupts(SayTheConsoleIsClosing);
  // Read before start-up: the version line needs nothing, help needs no
  // package, and a run kept out at start-up still writes its result file.
  const EarlyOptions early = ScanEarlyOptions(argc, argv);
  // The option paths are judged once, before anything is removed or written.
  const bool pathsSafe = CheckOptionPaths(early);
  BeginRunResult(argc, argv, early, pathsSafe);
  if (early.version) {
    char version[64] = {};
    GetOwnFileVersion(version, sizeof version);
    std::printf("%s %s\n", kTitle, version);
    NoteOutcome(Outcome::kVersionShown);
    FinishRunResult(RunStage::kVersion, 0);
    return 0;
  }
  if (!Startup(early.help)) {
    NoteOutcome(StartupOutcome());
    FinishRunResult(RunStage::kStartup, 0);
    return 0;
  }

  // Parsing stops at the first bad argument, and the checks only make sense
  // for a command line that was read to the end.
  const bool valid = ParseCommandLine(argc, argv) && CheckOptionCompatibility() && pathsSafe;

  UserInterface& ui = TheUserInterface();
  ui.SetInterruptProbe(InterruptArrived, InterruptBrokeOffRead);
  ui.Configure((RunFlags & RUN_SILENT) != 0, (RunFlags & RUN_DEBUG) != 0,
               (RunFlags & RUN_ASSUME_DEFAULT) != 0);
  WriteBanner();
  WriteCommandLineEcho(ui, argc, argv);
  WriteTimeStamp(ui, "Upgrade began");

  if (!valid) {
    ShowUsage(argc > 0 ? argv[0] : nullptr);
    NoteOutcome(early.help ? Outcome::kHelpShown : Outcome::kRefused);
    FinishRunResult(early.help ? RunStage::kHelp : RunStage::kOptionsRefused, 0);
    return 0;
  }
  // The lock is held: what earlier runs left at the output paths goes now.
  if (!ClearStaleOutputs()) {
    FinishRunResult(RunStage::kStartup, 0);
    return 0;
  }

  const RunModeEntry& mode = SelectRunMode(RunFlags);
  std::int32_t exitCode = RunGuarded(mode.handler, RunFlags, ui);
  // An interrupt that came while the last command ran stopped nothing, but
  // whoever pressed Ctrl-C is told what became of it.
  AcknowledgeInterrupt();

  WriteTimeStamp(ui, "Upgrade completed");
  const std::int32_t finish = FinishRun(RunFlags, ui);
  if (finish != 0)
    exitCode = finish;
  ui.Write("Exiting with code %d\n", exitCode);
  FinishRunResult(RunStage::kMode, exitCode);
  return exitCode;
}
