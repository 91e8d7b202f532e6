/// The command line: options into RunFlags and the report path, the
/// option-compatibility check, and the usage text.
#pragma once

#include <string>
#include <vector>

// What the command line asks for before start-up, read by the parser's rules
// without changing anything: a help request, the version line, and the files
// that a run stopped at start-up must still see to.
struct EarlyOptions {
  bool help = false;
  bool version = false;
  bool resultFileGiven = false;
  std::string resultFile;  // the last -json file that fits the path buffer
  // The report path as the run will use it: the file of the last -d, -u or
  // -v, and which of them it was ('d', 'u', 'v'; 0 for none).
  std::string reportPath;
  char reportOption = 0;

  // The -v file, when the report path is one.
  std::string VersionFile() const { return reportOption == 'v' ? reportPath : std::string(); }
  // Every path the options name: the report path and the result file.
  std::vector<std::string> Paths() const;
};
EarlyOptions ScanEarlyOptions(int argc, char** argv);

// An argument that arrived as no text at all (on Windows: one holding an
// unpaired UTF-16 surrogate, which the conversion to UTF-8 replaces, so that
// as a name it would reach a look-alike file). It is refused as an invalid
// option wherever it stands, and never taken as an option's file or port.
void MarkArgumentUnreadable(int index);

// ORs option bits into RunFlags and fills ReportPathBuffer; rewrites a leading
// "/" of an argument it reads into "-". False at the first argument it does not
// accept (help included).
bool ParseCommandLine(int argc, char** argv);

// False when the options in RunFlags may not be combined.
bool CheckOptionCompatibility();

// False when a path the options name is empty, names a file the run itself
// uses (the package, the log, a lock), or the same file as another option's
// path: the modes remove or write the files at these paths, and a typo must
// not destroy the package, wipe the log or open the lock.
bool CheckOptionPaths(const EarlyOptions& early);

// Writes the usage text to console and log; shortens programPath in place.
void ShowUsage(char* programPath);
