/// The device-independent update driver: the update run (default and -n), the
/// discovery-report run (-d) and the replay run (-u), and the verdict that
/// turns the run's outcome bits into the exit code.
#pragma once

#include <cstdint>
#include <span>

class Firmware;
class UserInterface;

// An interrupt stops each run before its next port or vendor command; a
// command already running finishes and is judged as usual.
std::int32_t UpdateRun(std::uint32_t runFlags, UserInterface& ui);
std::int32_t ReportRun(UserInterface& ui);
std::int32_t ReplayRun(UserInterface& ui);

// The port loops over the device family's firmware table.
std::int32_t SelectionLoop(std::int32_t portCount);
std::int32_t UpdateLoop(std::int32_t portCount);
std::int32_t Verdict();

// The same loops over the given Firmware objects, in order.
std::int32_t SelectionLoop(std::int32_t portCount, std::span<Firmware* const> firmware);
std::int32_t UpdateLoop(std::int32_t portCount, std::span<Firmware* const> firmware);
