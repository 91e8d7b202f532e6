// The P3P device family's hooks: its start-up, its firmware table, and the
// hooks it leaves trivial because the family needs no step there.
#include <array>

#include "app/startup.h"
#include "app/vendor_module.h"
#include "inventory/package.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"
#include "update/firmware.h"

namespace {

// Filled once at start-up; the objects live until the process ends.
std::array<Firmware*, kFirmwareSlots> FirmwareTable = {};
int FirmwareTableCount = 0;

}  // namespace

bool InitializeModule(std::uint32_t, UserInterface& ui) {
  if (!FileExists(kPackageDescriptorName)) {
    ui.PrintAndWrite("Supporting file %s is missing. Cannot proceed.\n", kPackageDescriptorName);
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
  return CheckDependencies();
}
std::int32_t FinishRun(std::uint32_t, UserInterface&) {
  return 0;
}
std::int32_t PreUpdateCheck1() {
  return 0;
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
