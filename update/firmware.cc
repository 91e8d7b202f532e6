#include "update/firmware.h"

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "inventory/vendor_command.h"
#include "platform/vendor_utility.h"
#include "ui/progress_line.h"

namespace {

constexpr const char kPatienceNotice[] =
    "The Firmware upgrade will take several minutes. Please be patient.\n";
constexpr const char kSameVersionWarning[] =
    "*** WARNING *** - Installed firmware is the same version as selected firmware\n";
constexpr const char kMoreRecentWarning[] =
    "*** WARNING *** - Installed firmware is more recent than selected firmware\n";

// Where the package's image stands against the port's installed firmware.
enum class Availability { kNewer, kSame, kOlder };

// A version text read only in part says less than what is installed, so it must
// never make the port look older than the package: the port is taken as holding
// newer firmware, which only -g or -f flash.
Availability CompareWithInstalled(NicRecord& nic) {
  const VersionReading reading = ReadingOf(nic.installedText.c_str());
  if (reading != VersionReading::kWhole) {
    TheUserInterface().Write(
        "Warning!!! - Installed firmware version '%s' of MAC %s is read only in part (as %s: %s); "
        "it counts as more recent than the package's %s.\n",
        nic.installedText.c_str(), nic.macAddress.c_str(), nic.installedVersion.Text(),
        ReadingReason(reading), nic.availableVersion.Text());
    return Availability::kOlder;
  }
  // The installed version stays on the left: a two-part installed version
  // (never filled by discovery) ignores the image's build number.
  if (nic.installedVersion < nic.availableVersion)
    return Availability::kNewer;
  if (nic.installedVersion == nic.availableVersion)
    return Availability::kSame;
  return Availability::kOlder;
}

std::uint32_t CheckOnlyBit(Availability availability) {
  switch (availability) {
    case Availability::kNewer:
      return RUN_UPDATE_AVAILABLE;
    case Availability::kSame:
      return RUN_SAME_VERSION;
    case Availability::kOlder:
      break;
  }
  return RUN_OLDER_AVAILABLE;
}

// What the question offers for one port: the warning shown first (if any) and
// whether the default answer lets the update go ahead.
struct UpdateDefault {
  const char* warning;
  bool allowed;
};

UpdateDefault DecideDefault(Availability availability, std::uint32_t runFlags) {
  switch (availability) {
    case Availability::kNewer:
      return {nullptr, true};
    case Availability::kSame:
      return {kSameVersionWarning, (runFlags & (RUN_REWRITE | RUN_FORCE)) != 0};
    case Availability::kOlder:
      break;
  }
  return {kMoreRecentWarning, (runFlags & (RUN_DOWNGRADE | RUN_FORCE)) != 0};
}

}  // namespace

void QLogicFirmware::Select() {
  NicRecord& nic = CurrentNic();
  // A port that -port did not choose is passed over as if it were not offered.
  if ((nic.flags & NIC_SUPPORTED) == 0 || !PortIsChosen(nic))
    return;
  TheUserInterface().PrintAndWrite("Found %s MAC: %-17s (v%s)\n", nic.productName.c_str(),
                                   nic.macAddress.c_str(), InstalledVersionText(nic));
  PortDecision decision = PortDecision::kDeclined;
  switch (Confirm()) {
    case ANSWER_YES:
      nic.flags |= NIC_SELECTED;
      decision = PortDecision::kSelected;
      break;
    case ANSWER_QUIT:
      nic.flags = 0;
      RunFlags |= RUN_CANCELLED;
      decision = PortDecision::kQuit;
      break;
    case ANSWER_SKIP:
      nic.flags &= ~NIC_SELECTED;
      RunFlags |= RUN_SKIP_DEVICE;
      decision = PortDecision::kSkipped;
      break;
    default:
      nic.flags = 0;
      break;
  }
  // A check-only run decides nothing: it only compares.
  if ((RunFlags & RUN_CHECK_ONLY) == 0)
    NoteDecision(CurrentNicIndex, decision);
}

std::ostream& QLogicFirmware::WritePrompt(std::ostream& out) {
  NicRecord& nic = CurrentNic();
  out << "Update firmware on '" << nic.interfaceName << "' (" << nic.pciLocation << ") : \n"
      << "From ROM " << InstalledVersionText(nic) << " to " << nic.availableVersion.Text() << "? ";
  return out;
}

std::int32_t QLogicFirmware::Confirm() {
  std::ostringstream prompt;
  WritePrompt(prompt);
  const Availability availability = CompareWithInstalled(CurrentNic());

  if ((RunFlags & RUN_CHECK_ONLY) != 0) {
    RunFlags |= CheckOnlyBit(availability);
    return ANSWER_NO;
  }

  UserInterface& ui = TheUserInterface();
  const UpdateDefault decision = DecideDefault(availability, RunFlags);
  if (decision.warning != nullptr)
    ui.PrintAndWrite("%s", decision.warning);
  const std::int32_t defaultAnswer = decision.allowed ? ANSWER_YES : ANSWER_NO;
  return ui.Ask(prompt.str(), defaultAnswer, ANSWER_YES, defaultAnswer,
                decision.allowed ? "y" : "n");
}

void QLogicFirmware::Update() {
  NicRecord& nic = CurrentNic();
  if ((nic.flags & NIC_SELECTED) == 0)
    return;
  // The vendor utility itself marks the port to be left alone: it is not
  // flashed, whatever was answered.
  if (nic.action == "skip") {
    NoteDecision(CurrentNicIndex, PortDecision::kSkipped);
    return;
  }
  // No flash starts after an interrupt; the one it came during has ended.
  if (StopForInterrupt()) {
    RunFlags |= RUN_CANCELLED;
    return;
  }

  UserInterface& ui = TheUserInterface();
  NotifyOnce(patienceNotice_, ui, "%s", kPatienceNotice);
  ui.PrintAndWrite("Selecting %s MAC: %-12s \n", nic.productName.c_str(), nic.macAddress.c_str());

  const std::string command = FlashCommand(nic.pciLocation, FirmwareImageFile);
  std::uint32_t exitCode = 0;
  bool started = false;
  {
    ProgressLine progress(!ui.silent() && StandardOutputIsTerminal(),
                          nic.pciLocation + " (MAC " + nic.macAddress + ")", nic.duration);
    const VendorCommandResult ran = RunVendorCommand(
        command, &exitCode, [&progress](unsigned seconds) { progress.Show(seconds); });
    if (ran == VendorCommandResult::kInterrupted) {
      RunFlags |= RUN_CANCELLED;
      return;
    }
    started = ran == VendorCommandResult::kRan;
  }
  NoteFlash(CurrentNicIndex, started, exitCode);
  if (started && exitCode == 0) {
    RunFlags |= RUN_UPDATED;
    ui.PrintAndWrite("MAC %s upgrade SUCCESS!\n", nic.macAddress.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } else {
    RunFlags |= RUN_UPDATE_FAILED;
    const std::string failure = "Command to upgrade firmware failed with internal error code " +
                                std::to_string(static_cast<int>(exitCode)) +
                                "\n\tCommand: " + command + "\n";
    ui.PrintAndWrite("%s", failure.c_str());
    NoteStop(StopKind::kFailed, failure, !ui.silent());
  }
}
