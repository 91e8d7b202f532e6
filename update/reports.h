/// The report modes: -d writes a discovery report through the vendor utility,
/// -u replays one, -ql reports on the version-only file.
#pragma once

#include <cstdint>

class UserInterface;

const char* ReportPath();
// What RemoveEarlierFile found at an output path.
enum class EarlierFile {
  kCleared,          // nothing stands there now
  kNotARegularFile,  // a device, a pipe, a folder or a link: left as it is
  kCannotBeRemoved,  // a file that an earlier run left, still there
};

// Removes a file that an earlier run left at an output path (a report, the
// version file, the result file), so that it never passes for this run's.
// Anything but kCleared is said in one line on the log and standard error.
EarlierFile RemoveEarlierFile(const char* path);
std::int32_t GenerateDiscoveryReport();
std::int32_t PrepareReplay(const char* reportPath);
std::int32_t ReplayDiscoveryReport(std::int32_t portCount);
std::int32_t WriteVersionReport(std::uint32_t runFlags, UserInterface& ui);
