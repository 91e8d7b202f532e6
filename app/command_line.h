/// The command line: options into RunFlags and the report path, the
/// option-compatibility check, and the usage text.
#pragma once

// ORs option bits into RunFlags and fills ReportPathBuffer; rewrites a leading
// "/" of an argument it reads into "-". False at the first argument it does not
// accept (help included).
bool ParseCommandLine(int argc, char** argv);

// False when the options in RunFlags may not be combined.
bool CheckOptionCompatibility();

// Writes the usage text to console and log; shortens programPath in place.
void ShowUsage(char* programPath);
