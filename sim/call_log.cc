#include "sim/call_log.h"

#include <cstdio>

#include "files/named_file.h"

namespace {

void AppendEscaped(const std::string& argument, std::string* line) {
  for (char c : argument) {
    switch (c) {
      case '\\':
        *line += "\\\\";
        break;
      case '\t':
        *line += "\\t";
        break;
      case '\n':
        *line += "\\n";
        break;
      case '\r':
        *line += "\\r";
        break;
      default:
        *line += c;
    }
  }
}

}  // namespace

std::string CallLogLine(const std::vector<std::string>& arguments) {
  // The count first: a call without arguments and one with a single empty
  // argument must not look alike.
  std::string line = std::to_string(arguments.size());
  for (const std::string& argument : arguments) {
    line += '\t';
    AppendEscaped(argument, &line);
  }
  return line + '\n';
}

bool AppendCall(const std::string& logPath, const std::vector<std::string>& arguments) {
  // Binary mode: the line ends in LF on Windows too, and one write keeps a
  // line whole when two simulators append at once.
  std::FILE* log = OpenNamedFile(logPath.c_str(), "ab");
  if (!log)
    return false;
  const std::string line = CallLogLine(arguments);
  bool written = std::fwrite(line.data(), 1, line.size(), log) == line.size();
  return std::fclose(log) == 0 && written;
}
