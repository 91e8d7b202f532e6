/// The command line: options into RunFlags and the report path, the
/// option-compatibility check, and the usage text.
#pragma once

#include <string>

// What the command line asks for before start-up, read by the parser's rules
// without changing anything: a help request, the version line, and the files
// that a run stopped at start-up must still see to.
struct EarlyOptions {
  bool help = false;
  bool version = false;
  std::string resultFile;   // the last -json file that fits the path buffer
  std::string versionFile;  // the last -v file that fits the path buffer
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

// False when -d or -v names one of the package's own files (the descriptor,
// its image, the discovery file): both modes delete the file at their path
// first, and a typo must not destroy the package.
bool CheckReportPath();

// Writes the usage text to console and log; shortens programPath in place.
void ShowUsage(char* programPath);
