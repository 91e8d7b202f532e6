/// What this run found and did, noted where it happens: every port discovery
/// listed, with the decision taken and the flash result; what discovery said
/// about a reboot; and why a run stopped short of its job. The result file and
/// the reason on standard error are written from it when the run ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inventory/nic_record.h"

enum class PortDecision { kNone, kSelected, kDeclined, kSkipped, kQuit, kFiltered };

// How a run stopped short: kNoServedPort when discovery worked but the package
// serves none of the ports it listed, kAnotherRun when another Zentavor run
// kept it out, kBusy when a flash tool of the vendor did, kFailed for
// everything else.
enum class StopKind { kNone, kFailed, kBusy, kAnotherRun, kNoServedPort };

// Why discovery does or does not hand a port on to be updated; only served ports
// enter NicList.
enum class PortStanding {
  kServed,
  kNotInPackage,       // the package descriptor does not know its PCI IDs
  kIncompleteEntry,    // its entry lacks its own location, MAC address or installed version
  kDuplicateLocation,  // an earlier entry of the same file gave the same location
  kOtherKindsImage,    // its kind names another image file than the one the run flashes
};

// How the run ended, in the words of the result file. Each is noted where the
// verdict that it names is decided; kInterrupted, noted where an interrupt
// kept the run from starting something, outranks every later verdict.
enum class Outcome {
  kNone,  // no verdict was reached (the run ended by an exception): failed
  kUpdated,
  kUpdatedWithErrors,
  kNothingSelected,
  kCancelled,
  kInterrupted,
  kUpdateRecommended,
  kAllCurrent,
  kSomeNewer,
  kTableShown,
  kReportWritten,
  kReplayed,
  kVersionFileWritten,
  kDependenciesChecked,
  kHelpShown,
  kVersionShown,
  kNoSupportedPort,
  kRefused,
  kBusy,
  kFailed,
};

// The outcome's word ("updated", "no-supported-port", ...).
const char* OutcomeWord(Outcome outcome);
// True for the outcomes of a run that did its job (a recommendation included).
bool IsSuccess(Outcome outcome);

struct PortFacts {
  NicRecord nic;  // as discovery listed it; NIC_SUPPORTED set when the package serves it
  PortStanding standing = PortStanding::kServed;
  PortDecision decision = PortDecision::kNone;
  bool flashTried = false;
  bool flashStarted = false;  // false: the utility could not be started
  std::uint32_t flashExitCode = 0;
  bool markedForFlash = false;  // by the replayed report
};

struct RunFacts {
  std::vector<PortFacts> ports;
  // Set once a discovery file was read to its end: the takes-effect text it gave.
  std::optional<std::string> takesEffect;
  StopKind stop = StopKind::kNone;
  std::string reason;        // the first reason noted, one line
  bool reasonShown = false;  // the reason already stands on the console
  // An interrupt ended the run early; the text says so, in one line.
  std::string interrupt;
  bool interruptShown = false;
  Outcome outcome = Outcome::kNone;
  // The replay's own exit code (a replay hands the whole report to the
  // utility); absent when no replay ran.
  std::optional<std::int32_t> replayExitCode;
};

RunFacts& TheRunFacts();

// Discovery listed a port; ports are kept in discovery order.
void NotePort(const NicRecord& nic, PortStanding standing);
// Discovery read its file to the end.
void NoteDiscoveryRead(const std::string& takesEffect);
// The facts of the served port at this NicList index; null when discovery
// never listed it (an inventory filled by other means).
PortFacts* ServedPortFacts(std::uint32_t nicIndex);
void NoteDecision(std::uint32_t nicIndex, PortDecision decision);
void NoteFlash(std::uint32_t nicIndex, bool started, std::uint32_t exitCode);

// The first stop noted stands; text is one log line (leading and trailing line
// ends are dropped). shown: the line already reached the console.
void NoteStop(StopKind kind, const std::string& text, bool shown);

// An interrupt stopped the run from starting anything further. It outranks
// every other outcome: whatever the run did before is in the port facts.
void NoteInterrupt(const std::string& text, bool shown);

// The verdict of the run, in the result file's words; an interrupt noted
// before stands.
void NoteOutcome(Outcome outcome);

// True once an interrupt kept the run from starting something.
bool InterruptStoppedTheRun();

// The outcome of a run that stopped short: kNoSupportedPort when the stop
// noted was a package that serves none of the ports, otherwise kFailed.
Outcome ShortfallOutcome();

// A discovery run that failed, with the utility's exit code: a run whose file
// was read but held no served port counts as kNoServedPort.
void NoteDiscoveryFailed(std::int32_t exitCode, bool fileMissing);

void ResetRunFactsForTesting();
