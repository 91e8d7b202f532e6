/// Every command of the vendor utility starts here: none starts once an
/// interrupt has arrived, and the first time the run meets the interrupt it
/// says so on console and log and notes it among the run's facts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"

// True once an interrupt has arrived: the run starts nothing further. The
// first call that sees it writes the interrupt line (console and log) and
// notes that the interrupt stopped the run.
bool StopForInterrupt();

// The interrupt line on console and log, once, without noting a stop: for a
// run that had nothing left to start when the interrupt came.
void AcknowledgeInterrupt();

enum class VendorCommandResult {
  kRan,            // started and ended; *exitCode is the utility's
  kCouldNotStart,  // *exitCode is 98
  kInterrupted,    // not started: an interrupt had arrived
};

// RunCommand for a vendor command line, checked against an interrupt at the
// very moment before it starts.
VendorCommandResult RunVendorCommand(const std::string& command, std::uint32_t* exitCode,
                                     const WaitTick& tick = WaitTick());
