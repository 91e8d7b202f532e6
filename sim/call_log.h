/// The simulator's call log: every invocation appends the arguments it was
/// given, so that tests can check exactly which command lines reached the
/// vendor utility.
#pragma once

#include <string>
#include <vector>

// One line: the number of arguments, then each argument after a TAB, with
// backslash, TAB, line feed and carriage return inside an argument written as
// \\, \t, \n and \r; ends in LF.
std::string CallLogLine(const std::vector<std::string>& arguments);

// Appends the line for these arguments to the log; false when it cannot.
bool AppendCall(const std::string& logPath, const std::vector<std::string>& arguments);
