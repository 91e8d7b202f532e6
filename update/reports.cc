#include "update/reports.h"

#include <string>

#include "base/run_flags.h"
#include "files/named_file.h"
#include "inventory/discovery.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "inventory/vendor_command.h"
#include "platform/file_system.h"
#include "platform/vendor_utility.h"
#include "ui/user_interface.h"

namespace {

// The utility's exit code, or 1 when it could not be started at all (an
// interrupt that kept it from starting included).
std::int32_t VendorExitCode(const std::string& command) {
  std::uint32_t exitCode = 0;
  if (RunVendorCommand(command, &exitCode) != VendorCommandResult::kRan)
    return 1;
  return static_cast<std::int32_t>(exitCode);
}

}  // namespace

const char* ReportPath() {
  return ReportPathBuffer;
}

EarlierFile RemoveEarlierFile(const char* path) {
  std::string line;
  EarlierFile found = EarlierFile::kCleared;
  unsigned long error = 0;
  switch (StandingOfNamedFile(path)) {
    case NamedFileStanding::kAbsent:
      return EarlierFile::kCleared;
    case NamedFileStanding::kSomethingElse:
      // A device, a pipe, a folder or a link: none is ours to remove or to
      // have written through, whoever runs the program.
      line = std::string("Error: ") + path +
             " is not a regular file; it is left as it is, and nothing is written there.\n";
      found = EarlierFile::kNotARegularFile;
      break;
    case NamedFileStanding::kRegularFile:
      if (RemoveFile(path, &error) || !FileExists(path))
        return EarlierFile::kCleared;
      line = std::string("Error: Could not remove the file ") + path +
             " left by an earlier run (error " + std::to_string(error) + ").\n";
      found = EarlierFile::kCannotBeRemoved;
      break;
  }
  TheUserInterface().Write("%s", line.c_str());
  SayOnStandardError(line);
  NoteStop(StopKind::kFailed, line, true);
  return found;
}

std::int32_t GenerateDiscoveryReport() {
  const std::int32_t exitCode =
      VendorExitCode(DiscoveryReportCommand(FirmwareImageFile, ReportPath()));
  if (exitCode != 0)
    return exitCode;
  // Administrators act on the report itself, and any earlier one was removed
  // before the utility ran: without the file the run has not succeeded.
  if (!FileExists(ReportPath())) {
    TheUserInterface().Write("Error: The vendor utility ended without writing %s.\n", ReportPath());
    NoteStop(StopKind::kFailed,
             std::string("Error: The vendor utility ended without writing ") + ReportPath() +
                 " (its exit code: 0).",
             false);
    return 1;
  }
  return 0;
}

std::int32_t PrepareReplay(const char*) {
  return LoadPackageAndFindImage() ? 1 : 0;
}

std::int32_t ReplayDiscoveryReport(std::int32_t) {
  const std::int32_t exitCode = VendorExitCode(ReplayCommand(FirmwareImageFile, ReportPath()));
  TheRunFacts().replayExitCode = exitCode;
  if (exitCode != 0)
    return exitCode;
  RunFlags |= RUN_UPDATED;
  return 5;
}

std::int32_t WriteVersionReport(std::uint32_t, UserInterface&) {
  UserInterface& ui = TheUserInterface();
  const char* path = ReportPath();
  // The run removed any earlier file at the path before this mode began, or
  // did not begin it; something other than a file there is left as it is.
  const bool cleared = StandingOfNamedFile(path) != NamedFileStanding::kSomethingElse;

  // An interrupt that kept discovery from starting leaves no ports to judge:
  // the file is what the verdict stands on, and there is none.
  const bool discovered = RunDiscovery() != kDiscoveryInterrupted;
  if (discovered && (SupportedNicCount == 0 || NicList.Empty())) {
    ui.PrintAndWrite("No supported network adapters for firmware upgrade.\n");
    NoteOutcome(ShortfallOutcome());
    return 4;
  }
  if (discovered && cleared && IsRegularNamedFile(path)) {
    ui.PrintAndWrite("Created file %s with only firmware version details.\n", path);
    NoteOutcome(Outcome::kVersionFileWritten);
    return 0;
  }
  const std::string failed =
      std::string("Failed to create file ") + path + " with only firmware version details!\n";
  ui.PrintAndWrite("%s", failed.c_str());
  NoteStop(StopKind::kFailed, failed, !ui.silent());
  NoteOutcome(Outcome::kFailed);
  return 1;
}
