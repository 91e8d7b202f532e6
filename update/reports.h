/// The report modes: -d writes a discovery report through the vendor utility,
/// -u replays one, -ql reports on the version-only file.
#pragma once

#include <cstdint>

class UserInterface;

const char* ReportPath();
// Removes a file that an earlier run left at a report path, so that it never
// passes for this run's. False, with an error line in the log, when one stands
// there and cannot be removed.
bool RemoveEarlierReport(const char* path);
std::int32_t GenerateDiscoveryReport();
std::int32_t PrepareReplay(const char* reportPath);
// What ReplayDiscoveryReport answers when the image check refused the replay:
// neither a success nor an exit code of the utility, which never ran.
inline constexpr std::int32_t kReplayRefused = -1;
std::int32_t ReplayDiscoveryReport(std::int32_t portCount);
std::int32_t WriteVersionReport(std::uint32_t runFlags, UserInterface& ui);
