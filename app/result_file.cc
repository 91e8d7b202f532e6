#include "app/result_file.h"

#include <cstdio>
#include <vector>

#include "app/startup.h"
#include "base/ascii.h"
#include "base/product.h"
#include "base/run_flags.h"
#include "inventory/discovery.h"
#include "inventory/package.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/own_version.h"
#include "platform/process.h"
#include "ui/user_interface.h"
#include "update/reports.h"
#include "xml/xml.h"

namespace {

using json = nlohmann::ordered_json;

// Raised whenever the document changes in a way a reader must know about.
constexpr int kFormatVersion = 1;

struct RunStart {
  std::time_t time = 0;
  std::vector<std::string> arguments;
  std::string resultFile;
  std::string versionFile;
};

RunStart Start;

const char* ModeName(RunStage stage, RunMode mode, std::uint32_t runFlags) {
  switch (stage) {
    case RunStage::kVersion:
      return "version";
    case RunStage::kHelp:
      return "help";
    case RunStage::kStartup:
    case RunStage::kOptionsRefused:
      return nullptr;
    case RunStage::kMode:
      break;
  }
  switch (mode) {
    case RunMode::kShowInstalled:
      return "show-installed";
    case RunMode::kWriteReport:
      return "write-report";
    case RunMode::kReadReport:
      return "replay";
    case RunMode::kVersionFile:
      return "version-report";
    case RunMode::kVerifyFile:
      return "version-file";
    case RunMode::kUpdate:
      break;
  }
  return (runFlags & RUN_CHECK_ONLY) != 0 ? "check" : "update";
}

// The reason of a run that fell short, and whether the console already shows it.
std::pair<std::string, bool> Reason(Outcome outcome, std::int32_t exitCode) {
  const RunFacts& facts = TheRunFacts();
  const bool console = HasUserInterface() && !TheUserInterface().silent();
  if (IsSuccess(outcome))
    return {std::string(), true};
  if (outcome == Outcome::kCancelled)
    return {"Firmware upgrade cancelled by User", console};
  if (outcome == Outcome::kInterrupted)
    return {facts.interrupt, facts.interruptShown};
  if (outcome == Outcome::kRefused)
    return {"The options were refused: see the usage text.", console};
  std::string reason = facts.reason;
  if (reason.empty())
    reason = "The run ended with exit code " + std::to_string(exitCode) + " without doing its job.";
  // A utility that never ran must not read as a server without adapters.
  if (const std::string failure = LastStartFailure(); !failure.empty())
    return {reason + "; " + failure, false};
  return {reason, !facts.reason.empty() && facts.reasonShown};
}

json Nullable(const std::string& text) {
  return text.empty() ? json(nullptr) : json(text);
}

const char* DecisionWord(const PortFacts& port, std::uint32_t runFlags) {
  if ((port.nic.flags & NIC_SUPPORTED) == 0)
    return "not-served";
  switch (port.decision) {
    case PortDecision::kSelected:
      return "selected";
    case PortDecision::kDeclined:
      return "declined";
    case PortDecision::kSkipped:
      return "skipped";
    case PortDecision::kQuit:
      return "quit";
    case PortDecision::kFiltered:
    case PortDecision::kNone:
      break;
  }
  if (!PortIsChosen(port.nic))
    return "filtered";
  // Ports after the one answered with q were never asked: the quit covers
  // them. A check (-n) asks nothing, even when an interrupt cut it short.
  if ((runFlags & RUN_CHECK_ONLY) != 0)
    return nullptr;
  return (runFlags & RUN_CANCELLED) != 0 ? "quit" : nullptr;
}

json PackageIs(const NicRecord& nic) {
  if ((nic.flags & NIC_SUPPORTED) == 0)
    return nullptr;
  // As the update judged it: an installed version read only in part counts as
  // newer than the package.
  if (!InstalledVersionReadWhole(nic))
    return "older";
  if (nic.installedVersion < nic.availableVersion)
    return "newer";
  return nic.installedVersion == nic.availableVersion ? "same" : "older";
}

// A replay hands the whole report to the utility, which answers once for all
// ports: a marked port is judged by what it holds afterwards (the utility may
// have written some ports before it failed), except when the utility said it
// had nothing to do (5): then nothing was flashed.
json ReplayFlashEntry(const PortFacts& port) {
  if (!port.markedForFlash)
    return nullptr;
  const std::optional<std::int32_t>& replayed = TheRunFacts().replayExitCode;
  // A replay refused for its image never ran: each port it was to flash failed.
  if (const std::string& refusal = TheRunFacts().image.refusal;
      !replayed.has_value() && !refusal.empty())
    return {{"exit_code", nullptr}, {"result", "failed"}, {"reason", refusal}};
  if (!replayed.has_value() || *replayed == 5)
    return nullptr;
  return {{"exit_code", nullptr}, {"result", HoldsPackageVersion(port.nic) ? "updated" : "failed"}};
}

json FlashEntry(const PortFacts& port, const char* decision, bool replay) {
  if (replay)
    return ReplayFlashEntry(port);
  if (!port.flashRefusal.empty())
    return {{"exit_code", nullptr}, {"result", "failed"}, {"reason", port.flashRefusal}};
  if (port.flashTried) {
    const bool updated = port.flashStarted && port.flashExitCode == 0;
    return {{"exit_code", port.flashExitCode}, {"result", updated ? "updated" : "failed"}};
  }
  if (decision != nullptr && std::string(decision) == "selected")
    return {{"exit_code", nullptr}, {"result", "not-run"}};
  return nullptr;
}

json PortEntry(const PortFacts& port, std::uint32_t runFlags, bool replay) {
  const NicRecord& nic = port.nic;
  FirmwareVersion available = nic.availableVersion;  // Text() caches, so a copy
  const bool served = (nic.flags & NIC_SUPPORTED) != 0;
  const char* decision =
      replay ? (served ? (port.markedForFlash ? "selected" : "declined") : "not-served")
             : DecisionWord(port, runFlags);
  json entry = {
      {"location", nic.pciLocation},
      {"mac", nic.macAddress},
      {"interface", nic.interfaceName},
      {"product", nic.productName},
      {"pci_id", nic.pciId},
      {"served", served},
      {"installed_version", Nullable(nic.installedText)},
      {"available_version", served ? json(available.Text()) : json(nullptr)},
      {"package_is", PackageIs(nic)},
      {"decision", decision == nullptr ? json(nullptr) : json(decision)},
      {"expected_duration_s", nic.duration > 0 ? json(nic.duration) : json(nullptr)},
      {"flash", FlashEntry(port, decision, replay)},
  };
  if (replay)
    entry["holds_package_version"] = HoldsPackageVersion(nic);
  return entry;
}

// The run's image: its name, the digest the descriptor promised, the digest
// of the bytes found and whether they matched; null when no descriptor was read.
json ImageEntry() {
  const ImageFacts& image = TheRunFacts().image;
  if (!image.described)
    return nullptr;
  json entry = {
      {"name", image.name},
      {"expected", image.expected.has_value() ? json(*image.expected) : json(nullptr)},
      {"found", Nullable(image.found)},
      {"matched", image.matched.has_value() ? json(*image.matched) : json(nullptr)},
  };
  if (!image.problem.empty())
    entry["problem"] = image.problem;
  return entry;
}

bool FlashedSomePort(const json& ports) {
  for (const json& port : ports) {
    if (port["flash"].is_object() && port["flash"]["result"] == "updated")
      return true;
  }
  return false;
}

// Whether the firmware flashed in this run waits for a reboot: false when no
// port was flashed, null when discovery did not say.
json RebootRequired(const json& ports) {
  if (!FlashedSomePort(ports))
    return false;
  const std::optional<std::string>& takesEffect = TheRunFacts().takesEffect;
  if (!takesEffect.has_value())
    return nullptr;
  if (EqualsIgnoringCase(*takesEffect, "reboot"))
    return true;
  for (const char* now : {"immediate", "immediately", "now", "none"}) {
    if (EqualsIgnoringCase(*takesEffect, now))
      return false;
  }
  return nullptr;
}

std::string VersionText() {
  char version[64] = {};
  GetOwnFileVersion(version, sizeof version);
  return version;
}

// The report's port elements marked "flash" (the vendor utility's report
// format), wherever they stand in the report's small tree.
void MarkPortsToFlash(const XmlNode& node, int depth) {
  if (depth > 8)
    return;
  for (int index = 0; index < node.ChildCount(); ++index) {
    const XmlNode entry = node.GetChild(index);
    const char* action = entry.GetAttribute("action");
    const char* location = entry.GetAttribute("location");
    if (IsElementNamed(entry, "port") && action != nullptr && location != nullptr &&
        std::string(action) == "flash") {
      for (PortFacts& port : TheRunFacts().ports)
        port.markedForFlash = port.markedForFlash || port.nic.pciLocation == location;
    }
    MarkPortsToFlash(entry, depth + 1);
  }
}

// A port the report marked that does not hold the package's version after a
// replay the utility called a success: the first such port is the reason.
void NoteMissedReplayedPorts() {
  const std::optional<std::int32_t>& replayed = TheRunFacts().replayExitCode;
  if (!replayed.has_value() || *replayed != 0)
    return;
  for (PortFacts& port : TheRunFacts().ports) {
    if (!port.markedForFlash || HoldsPackageVersion(port.nic))
      continue;
    FirmwareVersion available = port.nic.availableVersion;  // Text() caches, so a copy
    NoteStop(StopKind::kFailed,
             "Port " + port.nic.pciLocation + " (MAC " + port.nic.macAddress + ") holds firmware " +
                 InstalledVersionText(port.nic) + " after the replay, not the package's " +
                 available.Text(),
             false);
  }
}

void WriteResultFile(const json& document) {
  // Names or product texts that are not UTF-8 are replaced, never a reason to
  // lose the whole document.
  const std::string text = document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  unsigned long error = 0;
  if (WriteFileAtomically(Start.resultFile, text, &error))
    return;
  const std::string line = "Error: Could not write the result file " + Start.resultFile +
                           " (error " + std::to_string(error) + ").\n";
  if (HasUserInterface())
    TheUserInterface().Write("%s", line.c_str());
  SayOnStandardError(line);
}

}  // namespace

void BeginRunResult(int argc, char** argv, const EarlyOptions& early, bool pathsSafe) {
  Start.time = std::time(nullptr);
  Start.arguments.assign(argv, argv + argc);
  // The result and the version file are this run's to replace only when no
  // path the options name is a file of the run or another option's file.
  // Nothing is removed yet: not before the single-instance lock is held.
  if (!pathsSafe)
    return;
  Start.resultFile = early.resultFile;
  Start.versionFile = early.VersionFile();
}

bool ResultFileRequested() {
  return !Start.resultFile.empty();
}

bool ClearStaleOutputs() {
  // An old result or version file must never pass for this run's: one that
  // cannot be removed keeps the run from starting its mode. Something other
  // than a file at the path is left as it is; writing there is then refused.
  for (const std::string* file : {&Start.resultFile, &Start.versionFile}) {
    if (!file->empty() && RemoveEarlierFile(file->c_str()) == EarlierFile::kCannotBeRemoved) {
      NoteOutcome(Outcome::kFailed);
      return false;
    }
  }
  return true;
}

std::string IsoLocalTime(std::time_t when) {
  std::tm local{};
  std::tm utc{};
  if (const std::tm* l = std::localtime(&when))
    local = *l;
  if (const std::tm* u = std::gmtime(&when))
    utc = *u;
  // The offset from the two broken-down times: they lie less than a day apart.
  int days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year)
    days = local.tm_year > utc.tm_year ? 1 : -1;
  const long offset = days * 86400L + (local.tm_hour - utc.tm_hour) * 3600L +
                      (local.tm_min - utc.tm_min) * 60L + (local.tm_sec - utc.tm_sec);
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

nlohmann::ordered_json ResultDocument(RunStage stage, std::int32_t exitCode) {
  const RunMode mode = SelectRunMode(RunFlags).mode;
  const Outcome outcome = TheRunFacts().outcome;
  const bool replay = stage == RunStage::kMode && mode == RunMode::kReadReport;
  const char* modeName = ModeName(stage, mode, RunFlags);
  json ports = json::array();
  for (const PortFacts& port : TheRunFacts().ports)
    ports.push_back(PortEntry(port, RunFlags, replay));
  const std::string log = stage == RunStage::kVersion ? std::string() : LogFilePath();
  return {
      {"format_version", kFormatVersion},
      {"tool", {{"name", kTitle}, {"file_version", VersionText()}}},
      {"command_line", Start.arguments},
      {"mode", modeName == nullptr ? json(nullptr) : json(modeName)},
      {"started", IsoLocalTime(Start.time)},
      {"ended", IsoLocalTime(std::time(nullptr))},
      {"exit_code", exitCode},
      {"outcome", OutcomeWord(outcome)},
      {"reason", Nullable(Reason(outcome, exitCode).first)},
      {"reboot_required", RebootRequired(ports)},
      {"log", Nullable(log)},
      {"ports", ports},
      {"image", ImageEntry()},
  };
}

void FinishRunResult(RunStage stage, std::int32_t exitCode) {
  const auto [reason, shown] = Reason(TheRunFacts().outcome, exitCode);
  if (!shown) {
    const std::string log = LogFilePath();
    const std::string line = std::string(kTitle) + ": " + reason +
                             (log.empty() ? std::string() : " (log: " + log + ")") + "\n";
    SayOnStandardError(line);
  }
  // A -ql -v run stopped at start-up ends with 0, its success code: no old
  // version file may stand beside that. Another run holding the lock may be
  // writing that very file, so it is left to that run.
  if (stage == RunStage::kStartup && !Start.versionFile.empty() && HasUserInterface() &&
      TheRunFacts().stop != StopKind::kAnotherRun)
    RemoveEarlierFile(Start.versionFile.c_str());
  if (ResultFileRequested())
    WriteResultFile(ResultDocument(stage, exitCode));
}

void LearnReplayedPorts(const char* reportPath) {
  RunDiscovery();
  XmlResult parsed;
  MarkPortsToFlash(XmlNode::ParseFile(reportPath, nullptr, &parsed), 0);
  NoteMissedReplayedPorts();
}
