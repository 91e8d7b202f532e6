#include "inventory/discovery.h"

#include "inventory/discovery_file.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "inventory/vendor_command.h"
#include "platform/file_system.h"
#include "platform/vendor_utility.h"
#include "ui/user_interface.h"

namespace {

// The discovery file is only valid for the run that produced it; a copy left by
// an earlier run must never be read as fresh output.
void RemoveDiscoveryFile() {
  RemoveFile(kDiscoveryFileName);
}

}  // namespace

std::int32_t RunDiscovery() {
  if (DiscoveryDone)
    return 0;
  UserInterface& ui = TheUserInterface();
  ui.Write("Started device discovery!\n");

  LoadPackageAndFindImage();  // discovery goes on without the image
  const std::string command = DiscoveryCommand(FirmwareImageFile);
  RemoveDiscoveryFile();

  std::uint32_t exitCode = 0;
  const VendorCommandResult ran = RunVendorCommand(command, &exitCode);
  if (ran == VendorCommandResult::kInterrupted)
    return kDiscoveryInterrupted;
  const bool succeeded = ran == VendorCommandResult::kRan && exitCode == 0 &&
                         FileExists(kDiscoveryFileName) &&
                         IngestDiscoveryFile(kDiscoveryFileName) == 0;
  if (succeeded) {
    DiscoveryDone = true;
    ui.Write("Device discovery completed successfully!\n");
  } else {
    NoteDiscoveryFailed(static_cast<std::int32_t>(exitCode), !FileExists(kDiscoveryFileName));
    if (!FileExists(kDiscoveryFileName))
      ui.Write("Could not generate discovery file.\n");
    ui.Write("Device discovery failed with error code %d\n", static_cast<int>(exitCode));
  }
  if (FileExists(kDiscoveryFileName))
    RemoveDiscoveryFile();
  return static_cast<std::int32_t>(exitCode);
}

std::int32_t DiscoverNics() {
  if (CheckDependencies() != 0) {
    TheUserInterface().Write(
        "Dependencies Failed -- Driver and firmware set are not allowed for update.\n");
    return -1;
  }
  // A run whose utility exited 0 but whose file was refused also returns 0; its
  // ports (those appended before the refusal) must not go on to be flashed.
  if (RunDiscovery() == 0 && DiscoveryDone && !NicList.Empty()) {
    return static_cast<std::int32_t>(SupportedNicCount);
  }
  return -1;
}

std::int32_t CheckDependencies() {
  return 0;
}
