#include "update/reports.h"

#include <string>

#include "base/run_flags.h"
#include "inventory/discovery.h"
#include "inventory/image_check.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/vendor_utility.h"
#include "ui/user_interface.h"

namespace {

// The utility's exit code, or 1 when it could not be started at all.
std::int32_t RunVendorCommand(const std::string& command) {
  std::uint32_t exitCode = 0;
  if (!RunCommand(command, &exitCode))
    return 1;
  return static_cast<std::int32_t>(exitCode);
}

}  // namespace

const char* ReportPath() {
  return ReportPathBuffer;
}

bool RemoveEarlierReport(const char* path) {
  // Removed first, then looked for: a link is removed itself, even one whose
  // target is gone, so the utility never writes through it.
  if (RemoveFile(path) || !FileExists(path))
    return true;
  TheUserInterface().Write("Error: Could not remove the file %s left by an earlier run.\n", path);
  return false;
}

std::int32_t GenerateDiscoveryReport() {
  const std::int32_t exitCode =
      RunVendorCommand(DiscoveryReportCommand(FirmwareImageFile, ReportPath()));
  if (exitCode != 0)
    return exitCode;
  // Administrators act on the report itself, and any earlier one was removed
  // before the utility ran: without the file the run has not succeeded.
  if (!FileExists(ReportPath())) {
    TheUserInterface().Write("Error: The vendor utility ended without writing %s.\n", ReportPath());
    return 1;
  }
  return 0;
}

std::int32_t PrepareReplay(const char*) {
  return LoadPackageAndFindImage() ? 1 : 0;
}

std::int32_t ReplayDiscoveryReport(std::int32_t) {
  // Held until the replay has ended.
  const ImageHold image = CheckImageBeforeWrite();
  if (!image.go())
    return kReplayRefused;
  const std::int32_t exitCode = RunVendorCommand(ReplayCommand(FirmwareImageFile, ReportPath()));
  if (exitCode != 0)
    return exitCode;
  RunFlags |= RUN_UPDATED;
  return 5;
}

std::int32_t WriteVersionReport(std::uint32_t, UserInterface&) {
  UserInterface& ui = TheUserInterface();
  const char* path = ReportPath();
  const bool cleared = RemoveEarlierReport(path);

  RunDiscovery();  // only the inventory it leaves behind matters here
  if (SupportedNicCount == 0 || NicList.Empty()) {
    ui.PrintAndWrite("No supported network adapters for firmware upgrade.\n");
    return 4;
  }
  if (cleared && FileExists(path)) {
    ui.PrintAndWrite("Created file %s with only firmware version details.\n", path);
    return 0;
  }
  const std::string failed =
      std::string("Failed to create file ") + path + " with only firmware version details!\n";
  ui.PrintAndWrite("%s", failed.c_str());
  NoteStop(StopKind::kFailed, failed, !ui.silent());
  return 1;
}
