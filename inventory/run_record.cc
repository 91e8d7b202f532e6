#include "inventory/run_record.h"

#include <algorithm>

namespace {

RunFacts Facts;

std::string OneLine(const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\t', ' ');
  const std::size_t first = line.find_first_not_of('\n');
  const std::size_t last = line.find_last_not_of("\n ");
  if (first == std::string::npos)
    return std::string();
  line = line.substr(first, last - first + 1);
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

}  // namespace

RunFacts& TheRunFacts() {
  return Facts;
}

void NotePort(const NicRecord& nic, PortStanding standing) {
  PortFacts port{nic, standing};
  port.nic.flags = standing == PortStanding::kServed ? NIC_SUPPORTED : 0;
  Facts.ports.push_back(port);
}

void NoteDiscoveryRead(const std::string& takesEffect) {
  Facts.takesEffect = takesEffect;
}

PortFacts* ServedPortFacts(std::uint32_t nicIndex) {
  std::uint32_t served = 0;
  for (PortFacts& port : Facts.ports) {
    if ((port.nic.flags & NIC_SUPPORTED) == 0)
      continue;
    if (served++ == nicIndex)
      return &port;
  }
  return nullptr;
}

void NoteDecision(std::uint32_t nicIndex, PortDecision decision) {
  if (PortFacts* port = ServedPortFacts(nicIndex))
    port->decision = decision;
}

void NoteFlash(std::uint32_t nicIndex, bool started, std::uint32_t exitCode) {
  if (PortFacts* port = ServedPortFacts(nicIndex)) {
    port->flashTried = true;
    port->flashStarted = started;
    port->flashExitCode = exitCode;
  }
}

void NoteStop(StopKind kind, const std::string& text, bool shown) {
  if (Facts.stop != StopKind::kNone)
    return;
  Facts.stop = kind;
  Facts.reason = OneLine(text);
  Facts.reasonShown = shown;
}

void NoteInterrupt(const std::string& text, bool shown) {
  Facts.outcome = Outcome::kInterrupted;
  if (!Facts.interrupt.empty())
    return;
  Facts.interrupt = OneLine(text);
  Facts.interruptShown = shown;
}

void NoteOutcome(Outcome outcome) {
  if (Facts.outcome != Outcome::kInterrupted)
    Facts.outcome = outcome;
}

bool InterruptStoppedTheRun() {
  return Facts.outcome == Outcome::kInterrupted;
}

Outcome ShortfallOutcome() {
  return Facts.stop == StopKind::kNoServedPort ? Outcome::kNoSupportedPort : Outcome::kFailed;
}

const char* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUpdated:
      return "updated";
    case Outcome::kUpdatedWithErrors:
      return "updated-with-errors";
    case Outcome::kNothingSelected:
      return "nothing-selected";
    case Outcome::kCancelled:
      return "cancelled";
    case Outcome::kInterrupted:
      return "interrupted";
    case Outcome::kUpdateRecommended:
      return "update-recommended";
    case Outcome::kAllCurrent:
      return "all-current";
    case Outcome::kSomeNewer:
      return "some-newer";
    case Outcome::kTableShown:
      return "table-shown";
    case Outcome::kReportWritten:
      return "report-written";
    case Outcome::kReplayed:
      return "replayed";
    case Outcome::kVersionFileWritten:
      return "version-file-written";
    case Outcome::kDependenciesChecked:
      return "dependencies-checked";
    case Outcome::kHelpShown:
      return "help-shown";
    case Outcome::kVersionShown:
      return "version-shown";
    case Outcome::kNoSupportedPort:
      return "no-supported-port";
    case Outcome::kRefused:
      return "refused";
    case Outcome::kBusy:
      return "busy";
    case Outcome::kNone:
    case Outcome::kFailed:
      break;
  }
  return "failed";
}

bool IsSuccess(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUpdated:
    case Outcome::kNothingSelected:
    case Outcome::kUpdateRecommended:
    case Outcome::kAllCurrent:
    case Outcome::kSomeNewer:
    case Outcome::kTableShown:
    case Outcome::kReportWritten:
    case Outcome::kReplayed:
    case Outcome::kVersionFileWritten:
    case Outcome::kDependenciesChecked:
    case Outcome::kHelpShown:
    case Outcome::kVersionShown:
      return true;
    default:
      return false;
  }
}

void NoteDiscoveryFailed(std::int32_t exitCode, bool fileMissing) {
  const bool nothingServed =
      Facts.takesEffect.has_value() &&
      std::none_of(Facts.ports.begin(), Facts.ports.end(),
                   [](const PortFacts& port) { return (port.nic.flags & NIC_SUPPORTED) != 0; });
  std::string text = fileMissing ? "Could not generate discovery file. " : "";
  text += "Device discovery failed with error code " + std::to_string(exitCode);
  if (nothingServed)
    text += ": the package serves none of the ports discovered";
  else if (!fileMissing && exitCode == 0)
    text += ": the discovery file was refused (see the log)";
  NoteStop(nothingServed ? StopKind::kNoServedPort : StopKind::kFailed, text, false);
}

void ResetRunFactsForTesting() {
  Facts = RunFacts();
}
