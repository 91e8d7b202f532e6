#include "app/update_driver.h"

#include <string>
#include <vector>

#include "app/result_file.h"
#include "app/startup.h"
#include "app/vendor_module.h"
#include "base/run_flags.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "inventory/vendor_command.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"
#include "update/firmware.h"

namespace {

constexpr const char kNoSupportedAdapters[] =
    "No supported network adapters for firmware upgrade.\n";

std::vector<Firmware*> FirmwareTable() {
  std::vector<Firmware*> table;
  for (int slot = 0; slot < FirmwareCount(); ++slot)
    table.push_back(FirmwareAt(slot));
  return table;
}

// Either check may hold the run back; the second is asked only after the first.
bool PreUpdateChecksPass() {
  if (PreUpdateCheck1() == 0 && PreUpdateCheck2() == 0)
    return true;
  NoteOutcome(Outcome::kFailed);
  return false;
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
  NoteOutcome(Outcome::kFailed);
  return false;
}

// why: what the result file gives as the reason, unless an earlier error line
// of the run already gave one.
std::int32_t ReportNotGenerated(UserInterface& ui, const char* path, const std::string& why) {
  ui.PrintAndWrite("\nFailed to generate NIC discovery report to %s.\n", path);
  NoteStop(StopKind::kFailed,
           std::string("Failed to generate NIC discovery report to ") + path + " (" + why + ")",
           false);
  NoteOutcome(Outcome::kFailed);
  return 0;
}

// A cancelled update ends with exit code 3. A check (-n) that an interrupt
// cut short has no recommendation to give and ends as failed.
std::int32_t CancelledOutcome(UserInterface& ui) {
  if ((RunFlags & RUN_CHECK_ONLY) != 0) {
    NoteOutcome(Outcome::kFailed);
    return 0;
  }
  ui.PrintAndWrite("\nFirmware upgrade cancelled by User \n");
  NoteOutcome(Outcome::kCancelled);
  return 3;
}

// Discovery fell short: the package serves no port, it failed, or an
// interrupt kept it from starting (the update is then cancelled before it began).
std::int32_t DiscoveryFellShort(UserInterface& ui) {
  if (InterruptStoppedTheRun())
    return CancelledOutcome(ui);
  NoteOutcome(ShortfallOutcome());
  return 0;  // discovery has said why
}

// A replay reports what the utility said; what the ports hold afterwards (known
// when the run looked, for the result file) tells whether it was so.
Outcome ReplayOutcome() {
  bool marked = false;
  bool missed = false;
  bool held = false;
  for (const PortFacts& port : TheRunFacts().ports) {
    if (!port.markedForFlash)
      continue;
    marked = true;
    (HoldsPackageVersion(port.nic) ? held : missed) = true;
  }
  if (!marked || !missed)
    return Outcome::kReplayed;
  return held ? Outcome::kUpdatedWithErrors : Outcome::kFailed;
}

}  // namespace

std::int32_t UpdateRun(std::uint32_t, UserInterface& ui) {
  if ((RunFlags & RUN_CHECK_ONLY) == 0 && !MayWriteFirmware(ui))
    return 0;
  const std::int32_t portCount = DiscoverNics();
  if (portCount < 0)
    return DiscoveryFellShort(ui);
  if (portCount == 0) {
    ui.PrintAndWrite("%s", kNoSupportedAdapters);
    NoteOutcome(Outcome::kNoSupportedPort);
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
      each->Update();
      // An interrupt kept a flash from starting: no further port is flashed.
      if ((RunFlags & RUN_CANCELLED) != 0)
        return EndUpdateLoop();
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
  // A single failed flash outweighs every success.
  if ((RunFlags & RUN_UPDATE_FAILED) != 0) {
    ui.PrintAndWrite("\nNIC firmware update completed with errors. \n");
    NoteOutcome((RunFlags & RUN_UPDATED) != 0 ? Outcome::kUpdatedWithErrors : Outcome::kFailed);
    return 0;
  }
  // An interrupted run still reports the ports it flashed.
  if ((RunFlags & RUN_CANCELLED) != 0 && (RunFlags & RUN_UPDATED) == 0)
    return CancelledOutcome(ui);
  if ((RunFlags & RUN_CHECK_ONLY) != 0) {
    if ((RunFlags & RUN_UPDATE_AVAILABLE) != 0) {
      ui.PrintAndWrite("\nNIC firmware update is recommended.\n");
      NoteOutcome(Outcome::kUpdateRecommended);
      return 4;
    }
    ui.PrintAndWrite("\nNIC firmware update is not recommended.\n");
    const bool newer = (RunFlags & RUN_OLDER_AVAILABLE) != 0;
    NoteOutcome(newer ? Outcome::kSomeNewer : Outcome::kAllCurrent);
    return newer ? 6 : 5;
  }
  if ((RunFlags & RUN_UPDATED) != 0) {
    ui.PrintAndWrite("\nNIC firmware update complete.\n");
    NoteOutcome((RunFlags & RUN_READ_REPORT) != 0 ? ReplayOutcome() : Outcome::kUpdated);
    return 2;
  }
  ui.PrintAndWrite("\nNo firmware is selected for update.\n");
  NoteOutcome(Outcome::kNothingSelected);
  return 3;
}

std::int32_t ReportRun(UserInterface& ui) {
  // The utility writes the report afresh; an old one must not pass for it,
  // and a run that fails must not leave one behind.
  const char* path = ReportPath();
  if (RemoveEarlierFile(path) != EarlierFile::kCleared)
    return ReportNotGenerated(ui, path, "an earlier file there could not be removed");
  const std::int32_t portCount = DiscoverNics();
  if (portCount < 0) {
    if (InterruptStoppedTheRun())
      return ReportNotGenerated(ui, path, "interrupted");
    NoteOutcome(ShortfallOutcome());
    return 0;
  }
  if (portCount == 0) {
    NoteOutcome(Outcome::kNoSupportedPort);
    return 3;
  }
  if (!PreUpdateChecksPass())
    return 0;
  // An interrupt that came while the utility wrote the report let it finish:
  // the report is judged as any other.
  if (const std::int32_t result = GenerateDiscoveryReport(); result != 0) {
    const std::string why = InterruptStoppedTheRun()
                                ? std::string("interrupted")
                                : "the vendor utility's exit code: " + std::to_string(result);
    return ReportNotGenerated(ui, path, why);
  }
  ui.PrintAndWrite("\nSuccessfully generated NIC discovery report to %s.\n", path);
  NoteOutcome(Outcome::kReportWritten);
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
    NoteOutcome(Outcome::kFailed);
    return 0;
  }
  const std::int32_t portCount = PrepareReplay(path);
  if (portCount <= 0) {
    ui.PrintAndWrite("%s", kNoSupportedAdapters);
    NoteStop(StopKind::kFailed,
             "No supported network adapters for firmware upgrade: the firmware image '" +
                 FirmwareImageFile + "' is missing",
             false);
    NoteOutcome(Outcome::kFailed);
    return 3;
  }
  // 5: the utility applied the whole report itself, so no port is flashed here.
  const std::int32_t replayed = ReplayDiscoveryReport(portCount);
  if (InterruptStoppedTheRun()) {
    RunFlags |= RUN_CANCELLED;
    return Verdict();
  }
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
    NoteOutcome(Outcome::kFailed);
    return 0;
  }
  if (replayed == 0)
    UpdateLoop(portCount);
  return Verdict();
}
