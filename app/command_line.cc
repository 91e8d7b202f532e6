#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/run_files.h"
#include "base/ascii.h"
#include "base/run_flags.h"
#include "base/utf8.h"
#include "inventory/port_filter.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"

namespace {

constexpr std::initializer_list<const char*> kHelpWords = {"-h", "?", "-help", "-?"};

bool IsAnyOf(const char* arg, std::initializer_list<const char*> options) {
  for (const char* option : options) {
    if (EqualsIgnoringCase(arg, option))
      return true;
  }
  return false;
}

std::vector<int> UnreadableArguments;

bool IsUnreadable(int index) {
  return std::find(UnreadableArguments.begin(), UnreadableArguments.end(), index) !=
         UnreadableArguments.end();
}

// The argument after an option that takes one, taken as it stands; null when
// there is none or it does not fit a path buffer (refused rather than cut, so
// that no mode ever works on a different file or port than the one named).
// Its length is counted in characters as Windows counts a path, not in bytes:
// a name in Chinese takes three bytes a character.
const char* TakeArgument(int argc, char** argv, int* index) {
  if (*index + 1 >= argc || IsUnreadable(*index + 1) || !FitsPathBuffer(argv[*index + 1]))
    return nullptr;
  return argv[++*index];
}

// The file argument of -d, -u and -v, into the report path.
bool TakeFileArgument(int argc, char** argv, int* index, std::uint32_t bit) {
  const char* file = TakeArgument(argc, argv, index);
  if (file == nullptr)
    return false;
  std::memcpy(ReportPathBuffer, file, std::strlen(file) + 1);
  RunFlags |= bit;
  return true;
}

// Options whose argument follows them as the next word.
bool TakesArgument(const char* arg) {
  return IsAnyOf(arg, {"-d", "-u", "-v", "-json", "-port"});
}

// Which options may be given together. One row per option bit, in ascending
// order; each entry says whether the row's option may stand with the column's.
// Yes, -ql goes with -v: -v makes discovery write the version-only file to the
// report path, and -ql (dispatched first) runs discovery and reports on that
// very file, so the pair is the way to get the version-only report.
// -port picks ports among those an update, -n or -c handles; the report modes
// and the version file always cover the whole server.
inline constexpr std::size_t kMatrixSize = 12;
inline constexpr std::array<std::uint32_t, kMatrixSize> kMatrixBits = {
    RUN_SHOW_INSTALLED, RUN_WRITE_REPORT, RUN_REWRITE,        RUN_FORCE,
    RUN_DOWNGRADE,      RUN_CHECK_ONLY,   RUN_VERSION_FILE,   RUN_SILENT,
    RUN_READ_REPORT,    RUN_VERIFY_FILE,  RUN_ASSUME_DEFAULT, RUN_PORT_FILTER};

struct CompatibilityRow {
  std::uint32_t bit;
  std::array<bool, kMatrixSize> allowed;
};

constexpr bool Y = true;
constexpr bool N = false;

// clang-format off
inline constexpr std::array<CompatibilityRow, kMatrixSize> kCompatibility = {{
  //                          -c -d -e -f -g -n -ql -s -u -v -y -port
  {RUN_SHOW_INSTALLED,       {Y, N, N, N, N, N, N,  N, N, N, N, Y}},
  {RUN_WRITE_REPORT,         {N, Y, N, N, N, N, N,  Y, N, N, N, N}},
  {RUN_REWRITE,              {N, N, Y, N, Y, N, N,  Y, N, N, Y, Y}},
  {RUN_FORCE,                {N, N, N, Y, N, N, N,  Y, N, N, Y, Y}},
  {RUN_DOWNGRADE,            {N, N, Y, N, Y, N, N,  Y, N, N, Y, Y}},
  {RUN_CHECK_ONLY,           {N, N, N, N, N, Y, N,  N, N, N, N, Y}},
  {RUN_VERSION_FILE,         {N, N, N, N, N, N, Y,  Y, Y, Y, Y, N}},
  {RUN_SILENT,               {N, Y, Y, Y, Y, N, Y,  Y, Y, Y, N, Y}},
  {RUN_READ_REPORT,          {N, N, N, N, N, N, Y,  Y, Y, N, Y, N}},
  {RUN_VERIFY_FILE,          {N, N, N, N, N, N, Y,  Y, N, Y, N, N}},
  {RUN_ASSUME_DEFAULT,       {N, N, Y, Y, Y, N, Y,  N, Y, N, Y, Y}},
  {RUN_PORT_FILTER,          {Y, N, Y, Y, Y, Y, N,  Y, N, N, Y, Y}},
}};
// clang-format on

constexpr bool MatrixIsConsistent() {
  for (std::size_t row = 0; row < kMatrixSize; ++row) {
    if (kCompatibility[row].bit != kMatrixBits[row] || !kCompatibility[row].allowed[row]) {
      return false;
    }
    for (std::size_t column = 0; column < kMatrixSize; ++column) {
      if (kCompatibility[row].allowed[column] != kCompatibility[column].allowed[row])
        return false;
    }
  }
  return true;
}
static_assert(MatrixIsConsistent(),
              "the option matrix must be symmetric, in bit order, and "
              "let every option stand with itself");

inline constexpr const char* kUsageLines[] = {
    "[-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n",
    "With no options, interactively upgrade firmware.\n",
    "-c  Display currently installed firmware information.\n",
    "-d <filename>  Generate XML discovery report to <filename>.\n",
    "-e  Enable re-write if the current firmware is the same, and upgrade if the current "
    "firmware is older.\n",
    "-f  Force all firmware changes to occur.\n",
    "-g  Enable downgrade if the current firmware is newer, and upgrade if the current "
    "firmware is older.\n",
    "-h  Display this help menu.\n",
    "-s  Silently (non-interactively) upgrade firmware. \n",
    "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n",
    "-y  Assume default repsonse for all prompts.\n",
};

}  // namespace

void MarkArgumentUnreadable(int index) {
  UnreadableArguments.push_back(index);
}

bool ParseCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (IsUnreadable(i))
      return false;
    char* arg = argv[i];
    if (arg[0] == '/')
      arg[0] = '-';

    if (IsAnyOf(arg, kHelpWords))
      return false;
    if (EqualsIgnoringCase(arg, "-c")) {
      RunFlags |= RUN_SHOW_INSTALLED;
    } else if (EqualsIgnoringCase(arg, "-d")) {
      if (!TakeFileArgument(argc, argv, &i, RUN_WRITE_REPORT))
        return false;
    } else if (EqualsIgnoringCase(arg, "-debug")) {
      RunFlags |= RUN_DEBUG;
    } else if (IsAnyOf(arg, {"-e", "-rewrite"})) {
      RunFlags |= RUN_REWRITE;
    } else if (EqualsIgnoringCase(arg, "-f")) {
      RunFlags |= RUN_FORCE;
    } else if (IsAnyOf(arg, {"-g", "-downgrade"})) {
      RunFlags |= RUN_DOWNGRADE;
    } else if (EqualsIgnoringCase(arg, "-n")) {
      RunFlags |= RUN_CHECK_ONLY;
    } else if (std::strstr(arg, "-no_overwrite") != nullptr) {
      // Accepted for the sake of existing deployment scripts; it changes nothing.
    } else if (EqualsIgnoringCase(arg, "-ql")) {
      RunFlags |= RUN_VERSION_FILE;
    } else if (EqualsIgnoringCase(arg, "-s")) {
      RunFlags |= RUN_SILENT;
    } else if (EqualsIgnoringCase(arg, "-u")) {
      if (!TakeFileArgument(argc, argv, &i, RUN_READ_REPORT))
        return false;
    } else if (EqualsIgnoringCase(arg, "-v")) {
      if (!TakeFileArgument(argc, argv, &i, RUN_VERIFY_FILE))
        return false;
    } else if (EqualsIgnoringCase(arg, "-y")) {
      RunFlags |= RUN_ASSUME_DEFAULT;
    } else if (EqualsIgnoringCase(arg, "-json")) {
      // The run found the file before start-up (ScanEarlyOptions); its path is
      // checked with the others (CheckOptionPaths).
      if (TakeArgument(argc, argv, &i) == nullptr)
        return false;
    } else if (EqualsIgnoringCase(arg, "-port")) {
      const char* port = TakeArgument(argc, argv, &i);
      if (port == nullptr)
        return false;
      AddPortFilterValue(port);
      RunFlags |= RUN_PORT_FILTER;
    } else if (EqualsIgnoringCase(arg, "-version")) {
      // Answered before start-up; a run that gets here has shown it already.
    } else {
      return false;
    }
  }
  return true;
}

EarlyOptions ScanEarlyOptions(int argc, char** argv) {
  EarlyOptions early;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!arg.empty() && arg[0] == '/')
      arg[0] = '-';
    if (IsAnyOf(arg.c_str(), kHelpWords)) {
      early.help = true;
    } else if (EqualsIgnoringCase(arg, "-version")) {
      early.version = true;
    } else if (TakesArgument(arg.c_str())) {
      const char* value = TakeArgument(argc, argv, &i);
      if (value == nullptr)
        continue;
      if (EqualsIgnoringCase(arg, "-json")) {
        early.resultFileGiven = true;
        early.resultFile = value;
      } else if (!EqualsIgnoringCase(arg, "-port")) {
        early.reportPath = value;
        early.reportOption = LowerAscii(arg[1]);
      }
    }
  }
  return early;
}

std::vector<std::string> EarlyOptions::Paths() const {
  std::vector<std::string> paths;
  if (reportOption != 0)
    paths.push_back(reportPath);
  if (resultFileGiven)
    paths.push_back(resultFile);
  return paths;
}

bool CheckOptionCompatibility() {
  for (const CompatibilityRow& row : kCompatibility) {
    if ((RunFlags & row.bit) == 0)
      continue;
    for (std::size_t column = 0; column < kMatrixSize; ++column) {
      if (!row.allowed[column] && (RunFlags & kMatrixBits[column]) != 0)
        return false;
    }
  }
  return true;
}

bool CheckOptionPaths(const EarlyOptions& early) {
  return OptionPathsAreSafe(early.Paths());
}

void ShowUsage(char* programPath) {
  const char* name = "";
  if (programPath != nullptr) {
    // Both positions are taken before the name is cut, so a full stop in a
    // directory name cuts only the directory part, never the name itself.
    char* fullStop = std::strrchr(programPath, '.');
    char* separator = std::strrchr(programPath, PathSeparator());
    name = separator != nullptr ? separator + 1 : programPath;
    if (fullStop != nullptr)
      *fullStop = '\0';
  }
  UserInterface& ui = TheUserInterface();
  ui.PrintAndWrite("USAGE: %s ", name);
  for (const char* line : kUsageLines)
    ui.PrintAndWrite("%s", line);
}
