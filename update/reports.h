/// The report modes: -d writes a discovery report through the vendor utility,
/// -u replays one, -ql reports on the version-only file.
#pragma once

#include <cstdint>

class UserInterface;

const char* ReportPath();
std::int32_t GenerateDiscoveryReport();
std::int32_t PrepareReplay(const char* reportPath);
std::int32_t ReplayDiscoveryReport(std::int32_t portCount);
std::int32_t WriteVersionReport(std::uint32_t runFlags, UserInterface& ui);
