#include "app/update_driver.h"

#include <string>
#include <vector>

#include "app/result_file.h"
#include "app/startup.h"
#include "app/vendor_module.h"
#include "base/run_flags.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "ui/user_interface.h"
#include "update/firmware.h"

namespace {

constexpr const char kNoSupportedAdapters[] =
    "No supported network adapters for firmware upgrade.\n";
constexpr const char kInterrupted[] =
    "Interrupt received: a command already running was allowed to finish; nothing further is "
    "started.\n";

OnceNotice interruptNotice{false, 2};

std::vector<Firmware*> FirmwareTable() {
  std::vector<Firmware*> table;
  for (int slot = 0; slot < FirmwareCount(); ++slot)
    table.push_back(FirmwareAt(slot));
  return table;
}

// Either check may hold the run back; the second is asked only after the first.
bool PreUpdateChecksPass() {
  return PreUpdateCheck1() == 0 && PreUpdateCheck2() == 0;
}

// Without the single-instance lock another run may be flashing the same
// ports: such a run looks and reports, but flashes nothing.
bool MayWriteFirmware(UserInterface& ui) {
  const std::string& problem = InstanceLockProblem();
  if (problem.empty())
    return true;
  const std::string refusal = "Error: no firmware is written without " + problem + ".\n";
  ui.PrintAndWrite("%s", refusal.c_str());
  NoteStop(StopKind::kFailed, refusal, !ui.silent());
  return false;
}

// why: what the result file gives as the reason.
std::int32_t ReportNotGenerated(UserInterface& ui, const char* path, const std::string& why) {
  ui.PrintAndWrite("\nFailed to generate NIC discovery report to %s.\n", path);
  NoteStop(StopKind::kFailed,
           std::string("Failed to generate NIC discovery report to ") + path + " (" + why + ")",
           false);
  return 0;
}

// A cancelled update ends with exit code 3. A check (-n) that was interrupted
// has no recommendation to give and ends as failed.
std::int32_t CancelledOutcome(UserInterface& ui) {
  if ((RunFlags & RUN_CHECK_ONLY) != 0)
    return 0;
  ui.PrintAndWrite("\nFirmware upgrade cancelled by User \n");
  return 3;
}

}  // namespace

std::int32_t UpdateRun(std::uint32_t, UserInterface& ui) {
  if ((RunFlags & RUN_CHECK_ONLY) == 0 && !MayWriteFirmware(ui))
    return 0;
  const std::int32_t portCount = DiscoverNics();
  if (portCount < 0)
    return 0;  // discovery has said why
  if (portCount == 0) {
    ui.PrintAndWrite("%s", kNoSupportedAdapters);
    return 3;
  }
  if (!PreUpdateChecksPass())
    return 0;
  // Every question is answered before the first port is flashed.
  if (const std::int32_t stop = SelectionLoop(portCount); stop != 0)
    return stop;
  UpdateLoop(portCount);
  return Verdict();
}

std::int32_t SelectionLoop(std::int32_t portCount) {
  return SelectionLoop(portCount, FirmwareTable());
}

std::int32_t SelectionLoop(std::int32_t portCount, std::span<Firmware* const> firmware) {
  UserInterface& ui = TheUserInterface();
  for (std::int32_t i = 0; i < portCount; ++i) {
    const auto index = static_cast<std::uint32_t>(i);
    SetCurrentNic(index);
    if (!IsNicEligible(index))
      continue;
    for (Firmware* each : firmware) {
      // An interrupt ends the questions as the answer q does.
      if (StopForInterrupt())
        RunFlags |= RUN_CANCELLED;
      if ((RunFlags & (RUN_SKIP_DEVICE | RUN_CANCELLED)) == 0)
        each->Select();
    }
    // Skipping is an answer for this port only.
    if ((RunFlags & RUN_SKIP_DEVICE) != 0) {
      RunFlags &= ~RUN_SKIP_DEVICE;
    } else if ((RunFlags & RUN_CANCELLED) != 0) {
      StopForInterrupt();  // a question that an interrupt broke off says why
      return CancelledOutcome(ui);
    }
  }
  return 0;
}

std::int32_t UpdateLoop(std::int32_t portCount) {
  return UpdateLoop(portCount, FirmwareTable());
}

std::int32_t UpdateLoop(std::int32_t portCount, std::span<Firmware* const> firmware) {
  for (std::int32_t i = 0; i < portCount; ++i) {
    const auto index = static_cast<std::uint32_t>(i);
    SetCurrentNic(index);
    if (!IsNicEligible(index))
      continue;
    for (Firmware* each : firmware) {
      // No flash starts after an interrupt; the one it came during has ended.
      if (StopForInterrupt()) {
        RunFlags |= RUN_CANCELLED;
        return EndUpdateLoop();
      }
      each->Update();
    }
    if (const std::int32_t stop = AfterNicUpdate(index); stop != 0)
      return stop;
    if (NicNeedsFinish(index))
      FinishNic(index);
  }
  return EndUpdateLoop();
}

std::int32_t Verdict() {
  if (const std::int32_t exitCode = BeforeVerdict(); exitCode != 0)
    return exitCode;
  UserInterface& ui = TheUserInterface();
  if (StopForInterrupt())
    RunFlags |= RUN_CANCELLED;
  // A single failed flash outweighs every success.
  if ((RunFlags & RUN_UPDATE_FAILED) != 0) {
    ui.PrintAndWrite("\nNIC firmware update completed with errors. \n");
    return 0;
  }
  // An interrupted run still reports the ports it flashed.
  if ((RunFlags & RUN_CANCELLED) != 0 && (RunFlags & RUN_UPDATED) == 0)
    return CancelledOutcome(ui);
  if ((RunFlags & RUN_CHECK_ONLY) != 0) {
    if ((RunFlags & RUN_UPDATE_AVAILABLE) != 0) {
      ui.PrintAndWrite("\nNIC firmware update is recommended.\n");
      return 4;
    }
    ui.PrintAndWrite("\nNIC firmware update is not recommended.\n");
    return (RunFlags & RUN_OLDER_AVAILABLE) != 0 ? 6 : 5;
  }
  if ((RunFlags & RUN_UPDATED) != 0) {
    ui.PrintAndWrite("\nNIC firmware update complete.\n");
    return 2;
  }
  ui.PrintAndWrite("\nNo firmware is selected for update.\n");
  return 3;
}

std::int32_t ReportRun(UserInterface& ui) {
  // The utility writes the report afresh; an old one must not pass for it,
  // and a run that fails must not leave one behind.
  const char* path = ReportPath();
  if (!RemoveEarlierReport(path))
    return ReportNotGenerated(ui, path, "an earlier file there could not be removed");
  const std::int32_t portCount = DiscoverNics();
  if (portCount < 0)
    return 0;
  if (portCount == 0)
    return 3;
  if (!PreUpdateChecksPass())
    return 0;
  // An interrupted run has failed, even when the command it came during ended well.
  if (StopForInterrupt())
    return ReportNotGenerated(ui, path, "interrupted");
  if (const std::int32_t result = GenerateDiscoveryReport(); result != 0)
    return ReportNotGenerated(ui, path, "the vendor utility's result: " + std::to_string(result));
  if (StopForInterrupt())
    return ReportNotGenerated(ui, path, "interrupted");
  ui.PrintAndWrite("\nSuccessfully generated NIC discovery report to %s.\n", path);
  return 1;
}

std::int32_t ReplayRun(UserInterface& ui) {
  if (!MayWriteFirmware(ui))
    return 0;
  const char* path = ReportPath();
  if (!FileExists(path)) {
    const std::string missing = std::string("Error: Discovery file ") + path + " not found!.\n";
    ui.Write("%s", missing.c_str());
    NoteStop(StopKind::kFailed, missing, false);
    return 0;
  }
  const std::int32_t portCount = PrepareReplay(path);
  if (portCount <= 0) {
    ui.PrintAndWrite("%s", kNoSupportedAdapters);
    NoteStop(StopKind::kFailed,
             "No supported network adapters for firmware upgrade: the firmware image '" +
                 FirmwareImageFile + "' is missing",
             false);
    return 3;
  }
  if (StopForInterrupt()) {
    RunFlags |= RUN_CANCELLED;
    return Verdict();
  }
  // 5: the utility applied the whole report itself, so no port is flashed here.
  const std::int32_t replayed = ReplayDiscoveryReport(portCount);
  // The utility applies the whole report and answers with one exit code: only a
  // discovery afterwards tells which ports now hold the package's firmware.
  if (ResultFileRequested())
    LearnReplayedPorts(path);
  if (replayed != 0 && replayed != 5) {
    ui.PrintAndWrite("Error: Failed to process discovery file %s.\n", path);
    NoteStop(StopKind::kFailed,
             std::string("Error: Failed to process discovery file ") + path +
                 ". (the vendor utility's result: " + std::to_string(replayed) + ")",
             false);
    return 0;
  }
  if (replayed == 0)
    UpdateLoop(portCount);
  return Verdict();
}

bool StopForInterrupt() {
  if (!InterruptArrived())
    return false;
  UserInterface& ui = TheUserInterface();
  NotifyOnce(interruptNotice, ui, "%s", kInterrupted);
  NoteInterrupt(kInterrupted, !ui.silent());
  return true;
}
