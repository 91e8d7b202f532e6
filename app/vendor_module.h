/// The hook set of the built-in device family (the P3P adapters): the plain
/// functions through which the entry point and the update driver reach
/// device-specific code. Hooks that the family implements elsewhere are
/// declared with their module and gathered here.
#pragma once

#include <cstdint>

#include "inventory/discovery.h"     // DiscoverNics, CheckDependencies
#include "update/installed_table.h"  // ShowInstalledFirmware
#include "update/reports.h"          // ReportPath, GenerateDiscoveryReport, PrepareReplay,
                                     // ReplayDiscoveryReport, WriteVersionReport

class Firmware;
class UserInterface;

bool InitializeModule(std::uint32_t runFlags, UserInterface& ui);
std::int32_t VerifyOnly(std::uint32_t runFlags, UserInterface& ui);
std::int32_t FinishRun(std::uint32_t runFlags, UserInterface& ui);
std::int32_t PreUpdateCheck1();
std::int32_t PreUpdateCheck2();
std::int32_t SetCurrentNic(std::uint32_t index);
bool IsNicEligible(std::uint32_t index);
std::int32_t AfterNicUpdate(std::uint32_t index);
bool NicNeedsFinish(std::uint32_t index);
void FinishNic(std::uint32_t index);
std::int32_t EndUpdateLoop();
std::int32_t BeforeVerdict();

// The firmware table: up to two Firmware objects, filled by InitializeModule.
inline constexpr int kFirmwareSlots = 2;
Firmware* FirmwareAt(int slot);
int FirmwareCount();
