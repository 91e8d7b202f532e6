// The P3P device family's hooks: its start-up, its firmware table, and the
// hooks it leaves trivial because the family needs no step there.
#include <array>
#include <string>

#include "app/startup.h"
#include "app/vendor_module.h"
#include "base/run_flags.h"
#include "inventory/package.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"
#include "update/firmware.h"

namespace {

// Filled once at start-up; the objects live until the process ends.
std::array<Firmware*, kFirmwareSlots> FirmwareTable = {};
int FirmwareTableCount = 0;

}  // namespace

bool InitializeModule(std::uint32_t runFlags, UserInterface& ui) {
  // The usage text needs no package: help is shown wherever it is asked for.
  if ((runFlags & RUN_HELP_REQUESTED) == 0 && !FileExists(kPackageDescriptorName)) {
    const std::string missing =
        std::string("Supporting file ") + kPackageDescriptorName + " is missing. Cannot proceed.\n";
    ui.PrintAndWrite("%s", missing.c_str());
    NoteStop(StopKind::kFailed, missing, true);
    return false;
  }
  if (FirmwareTable[0] == nullptr)
    FirmwareTable[0] = new QLogicFirmware;
  FirmwareTable[1] = nullptr;
  FirmwareTableCount = 1;
  return VerifyInstance();
}

Firmware* FirmwareAt(int slot) {
  return (slot >= 0 && slot < FirmwareTableCount) ? FirmwareTable[slot] : nullptr;
}

int FirmwareCount() {
  return FirmwareTableCount;
}

std::int32_t VerifyOnly(std::uint32_t, UserInterface&) {
  const std::int32_t result = CheckDependencies();
  NoteOutcome(result == 0 ? Outcome::kDependenciesChecked : Outcome::kFailed);
  return result;
}
std::int32_t FinishRun(std::uint32_t, UserInterface&) {
  return 0;
}
// -port values that name no served port stop the run before anything is asked.
std::int32_t PreUpdateCheck1() {
  return CheckPortFilterValues().empty() ? 0 : 1;
}
std::int32_t PreUpdateCheck2() {
  return 0;
}
bool IsNicEligible(std::uint32_t) {
  return true;
}
std::int32_t AfterNicUpdate(std::uint32_t) {
  return 0;
}
bool NicNeedsFinish(std::uint32_t) {
  return false;
}
void FinishNic(std::uint32_t) {}
std::int32_t EndUpdateLoop() {
  return 0;
}
std::int32_t BeforeVerdict() {
  return 0;
}
