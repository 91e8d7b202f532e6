/// Start-up: console title, log file, the one UserInterface, the device
/// family's initialisation and the test that no other flash tool is running;
/// also the banner written once the options are known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/product.h"

class UserInterface;

inline constexpr const char kLogFileName[] = "zentavor.log";
inline constexpr const char kLockFileName[] = "netxen_lock_file";

// Runs once, first of all; false ends the run with exit code 0. A help request
// needs no firmware package in the current directory.
bool Startup(bool helpRequested = false);

// Fills names with the executable base name of every running process; false
// when the list is unavailable.
using ProcessLister = bool (*)(std::vector<std::string>* names);

// True when the run may go on: no lock file, or a stale one that was removed.
// The running processes come from list: the machine's own process table
// unless a test hands another.
bool VerifyInstance(ProcessLister list = nullptr);

// Four banner lines, console and log.
void WriteBanner();

// Why this run could not take the single-instance lock ("the single-instance
// lock <where> (error <n>)"); empty when it holds it. A run without the lock
// writes no firmware: another run might be flashing the same ports.
const std::string& InstanceLockProblem();

// Full path of the log file ("<drive>/tavensystem/log/zentavor.log") once
// start-up has prepared it; empty before.
const char* LogFilePath();

// Where this machine keeps the log, whether or not start-up has run.
std::string LogFileOfThisMachine();

// The file of the single-instance lock; empty where the lock is no file
// (Windows: a named mutex).
std::string InstanceLockFile();
