/// The outcome of a run in a form that fleets and people can read: the result
/// file of -json (one JSON document: the run, its outcome word and reason,
/// every port discovered with its decision and flash) and, when the console
/// does not say why a run fell short, one line on standard error.
#pragma once

#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "app/command_line.h"
#include "app/zentavor.h"

// How far the run got before it ended.
enum class RunStage { kVersion, kStartup, kOptionsRefused, kHelp, kMode };

// Called first of all: notes the start time and the command line as given,
// and the result and version files this run may replace: none when the paths
// the options name were refused (pathsSafe false, see CheckOptionPaths).
void BeginRunResult(int argc, char** argv, const EarlyOptions& early, bool pathsSafe);

// True when the command line names a result file that may be written.
bool ResultFileRequested();

// Before the mode runs, with the single-instance lock held: removes the result
// and version files earlier runs left. False, said on standard error and in
// the log, when one stands there and cannot be removed: the run must then not
// start its mode, or the old file would pass for this run's.
bool ClearStaleOutputs();

// The reason on standard error and the result file, once, at the end of a run.
void FinishRunResult(RunStage stage, std::int32_t exitCode);

// After a replay: one discovery, and which ports the report marked for flashing.
void LearnReplayedPorts(const char* reportPath);

// "2026-12-07T11:33:44+01:00": local time with its offset from UTC.
std::string IsoLocalTime(std::time_t when);

// The whole document for a run that ended now.
nlohmann::ordered_json ResultDocument(RunStage stage, std::int32_t exitCode);
