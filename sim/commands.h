/// The four command lines of the vendor utility as the simulator answers them
/// (discovery, discovery report, report replay, flashing one port), each
/// played against the simulated server's state.
#pragma once

#include <string>
#include <vector>

#include "sim/state.h"
#include "xml/xml.h"

enum class CommandForm { Discovery, DiscoveryReport, Replay, Flash };

struct SimCommand {
  CommandForm form = CommandForm::Discovery;
  std::string image;
  std::string file;      // discovery file or report
  std::string location;  // the port to flash, "bus:dev.func"
};

// Exit codes of the simulator's own failures; sim/README.md explains them.
inline constexpr int kExitRefused = 10;
inline constexpr int kExitBadState = 11;
inline constexpr int kExitNoImageFile = 12;
inline constexpr int kExitUnknownImage = 13;
inline constexpr int kExitNoPort = 14;
inline constexpr int kExitUnfitImage = 15;
inline constexpr int kExitBadReport = 16;
inline constexpr int kExitCannotWrite = 17;
inline constexpr int kExitReportForOtherImage = 18;

// Recognises exactly the four command lines Zentavor builds (the arguments
// after the program name); false for anything else.
bool ParseCommand(const std::vector<std::string>& arguments, SimCommand* command);

// The files around a run: the state (rewritten after every flash) and the lock
// file that flashes hold when the state asks for it (empty: none can be held).
struct SimContext {
  std::string statePath;
  std::string lockPath;
};

// The vendor lock file in the temporary directory; empty when there is none.
std::string VendorLockPath();

// Plays one command against the state and returns the exit code. Diagnostics
// go to standard error, which Zentavor never shows.
int PlayCommand(const SimCommand& command, const SimContext& context, SimState* state);

// The discovery file's tree for the state, as the discovery command writes it.
XmlNode DiscoveryDocument(const SimState& state, const std::string& image);

// The report's tree for the state and an image the state describes.
XmlNode ReportDocument(const SimState& state, const std::string& imageFile,
                       const Attributes& image);

// The whole simulator: arguments after the program name, as UTF-8; returns
// the exit code.
int RunSimulator(const std::vector<std::string>& arguments);
