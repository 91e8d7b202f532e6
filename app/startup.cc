#include "app/startup.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/instance_check.h"
#include "app/vendor_module.h"
#include "base/run_flags.h"
#include "base/utf8.h"
#include "inventory/run_record.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/own_version.h"
#include "platform/process_list.h"
#include "ui/log_file.h"
#include "ui/user_interface.h"

namespace {

constexpr int kConsoleWidth = 121;
constexpr int kConsoleHeight = 65;

constexpr const char kStartupFailed[] = "Error initializing FW upgrade software.\n";
constexpr const char kRivalRunning[] =
    "Error: Either another NetXen tool is already running, or your last session did not close "
    "gracefully. Required to clear the settings!\n";
constexpr const char kAnotherRunHoldsTheLock[] =
    "Error: Another Zentavor run is going on (it holds %s). Start this one again when it has "
    "ended.\n";
// Never the vendor's own lock file, which belongs to its tools.
constexpr const char kInstanceLockName[] = "zentavor.lock";

constexpr const char kBannerRule[] =
    "-----------------------------------------------------------------------------";
static_assert(sizeof(kBannerRule) - 1 == 77, "the banner rule is 77 hyphens");

constexpr const char kNoticeLine[] =
    "Online boot-ROM firmware update for P3P-series adapters. Keep the server powered until "
    "it ends.";

char LogPathBuffer[kPathBufferBytes] = {};
std::string InstanceLockProblemText;

std::string Join(const std::string& directory, const char* name) {
  return directory + PathSeparator() + name;
}

std::string ParentOf(const std::string& directory) {
  const std::size_t separator = directory.rfind(PathSeparator());
  return separator == std::string::npos ? std::string() : directory.substr(0, separator);
}

// Creates the log directory and its parent (failures ignored: they may exist
// already, and a log that cannot be opened is reported by the user interface)
// and touches the log file once in append mode, so that it exists without ever
// being truncated.
void PrepareLogFile() {
  const std::string directory = LogDirectory();
  const std::string path = LogFileOfThisMachine();
  // A path that the user interface would have to cut would log into a
  // different file than the one named here; refuse it instead.
  if (!FitsPathBuffer(path)) {
    throw std::length_error("log path too long: " + path);
  }
  MakeDirectory(ParentOf(directory).c_str());
  MakeDirectory(directory.c_str());
  std::memcpy(LogPathBuffer, path.c_str(), path.size() + 1);
  unsigned long error = 0;
  if (std::FILE* touch = OpenLogForAppend(LogPathBuffer, &error))
    std::fclose(touch);
}

// One run at a time: two runs flashing the same port together could leave a
// half-written ROM. The lock is the operating system's, so it goes with its
// process however that ends and no crashed run can leave it behind. It is taken
// once the log can say why a run stops, and before the vendor's lock file is
// looked at, so that a run kept out never clears the vendor lock of the run
// that is flashing. A lock that cannot be made at all (a directory that cannot
// be written, something planted where the lock file goes) does not stop the
// run, which may still look and report, but it writes no firmware: standard
// error says so at once, whatever the options, and so does the log.
// A help request is told when another run holds the lock, and stops nothing:
// the usage text changes nothing, so it is shown whoever holds the lock.
InstanceLockState TakeInstanceLock(UserInterface& ui, bool helpRequested) {
  static InstanceLock lock;  // held until the process ends
  const InstanceLockState state = lock.Acquire(InstanceLockDirectory(), kInstanceLockName);
  switch (state) {
    case InstanceLockState::kHeld:
      return state;
    case InstanceLockState::kHeldElsewhere:
      if (helpRequested)
        return state;
      // Not the vendor's message: that one sends the administrator after the
      // vendor's lock file, which has nothing to do with it.
      ui.Write(kAnotherRunHoldsTheLock, lock.where().c_str());
      NoteStop(StopKind::kAnotherRun,
               "Another Zentavor run is going on: it holds the single-instance lock.", false);
      return state;
    case InstanceLockState::kUnavailable:
      break;
  }
  InstanceLockProblemText =
      "the single-instance lock " + lock.where() + " (error " + std::to_string(lock.error()) + ")";
  const std::string warning = "Warning: could not take " + InstanceLockProblemText +
                              "; a run started meanwhile would not be kept out, so this run "
                              "writes no firmware.\n";
  SayOnStandardError(warning);
  ui.Write("%s", warning.c_str());
  return state;
}

void ReportStartupFailure() {
  NoteStop(StopKind::kFailed, kStartupFailed, true);
  if (HasUserInterface()) {
    TheUserInterface().PrintAndWrite("%s", kStartupFailed);
  } else {
    // Without a user interface there is no log yet; the console is the only
    // place left, and a run must never end without saying why.
    SayOnStandardError(kStartupFailed);
  }
}

}  // namespace

const char* LogFilePath() {
  return LogPathBuffer;
}

std::string LogFileOfThisMachine() {
  return Join(LogDirectory(), kLogFileName);
}

std::string InstanceLockFile() {
  const std::string directory = InstanceLockDirectory();
  return directory.empty() ? std::string() : Join(directory, kInstanceLockName);
}

const std::string& InstanceLockProblem() {
  return InstanceLockProblemText;
}

bool Startup(bool helpRequested) {
  try {
    PrepareLogFile();
    // The one user interface of the process; it lives until the process ends,
    // and main's ConsoleRestorer puts the console back however the run ends.
    auto* ui = new UserInterface(LogPathBuffer, kConsoleWidth, kConsoleHeight);
    InstallUserInterface(ui);
    // While another run holds the lock, help is shown and the vendor's lock
    // file is left to that run; anything else stops here.
    if (TakeInstanceLock(*ui, helpRequested) == InstanceLockState::kHeldElsewhere)
      return helpRequested;
    return InitializeModule(RunFlags | (helpRequested ? RUN_HELP_REQUESTED : 0), *ui);
  } catch (...) {
    ReportStartupFailure();
    return false;
  }
}

bool VerifyInstance(ProcessLister list) {
  UserInterface& ui = TheUserInterface();
  ui.Write("Checking for any other instance of NetXen tool!\n");

  std::string temp;
  if (!TempDirectory(&temp)) {
    ui.Write("VerifyInstance: No temp directory identified or GetTempPath failed!\n");
    return true;
  }
  const std::string lock = Join(temp, kLockFileName);
  if (!FileExists(lock.c_str()))
    return true;

  std::vector<std::string> names;
  if (!(list != nullptr ? list : ListProcessBaseNames)(&names)) {
    ui.Write("VerifyInstance: Failed to get process details!\n");
    return true;
  }
  for (const std::string& name : names) {
    if (IsRivalProcessName(name)) {
      ui.Write("%s", kRivalRunning);
      NoteStop(StopKind::kBusy, kRivalRunning, false);
      return false;
    }
  }

  if (!FileExists(lock.c_str()))
    return true;
  if (RemoveFile(lock.c_str())) {
    ui.Write("Warning: last session did not close gracefully.  Clearing lock.\n");
    return true;
  }
  constexpr const char kCannotClear[] =
      "Error: last session did not close gracefully.  Unable to clear lock.\n";
  ui.Write("%s", kCannotClear);
  NoteStop(StopKind::kFailed, kCannotClear, false);
  return false;
}

void WriteBanner() {
  UserInterface& ui = TheUserInterface();
  char version[256] = {};
  GetOwnFileVersion(version, sizeof version);
  ui.PrintAndWrite("%s\n", kBannerRule);
  ui.PrintAndWrite("%s (%s)\n", kTitle, version);
  ui.PrintAndWrite("%s\n", kNoticeLine);
  ui.PrintAndWrite("%s\n\n", kBannerRule);
}
