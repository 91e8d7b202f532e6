/// Start-up: console title, log file, the one UserInterface, the device
/// family's initialisation and the test that no other flash tool is running;
/// also the banner written once the options are known.
#pragma once

#include <cstdint>

#include "base/product.h"

class UserInterface;

inline constexpr const char kLogFileName[] = "zentavor.log";
inline constexpr const char kLockFileName[] = "netxen_lock_file";

// Runs once, first of all; false ends the run with exit code 0. A help request
// needs no firmware package in the current directory.
bool Startup(bool helpRequested = false);

// True when the run may go on: no lock file, or a stale one that was removed.
bool VerifyInstance();

// Four banner lines, console and log.
void WriteBanner();

// Full path of the log file ("<drive>/tavensystem/log/zentavor.log").
const char* LogFilePath();
