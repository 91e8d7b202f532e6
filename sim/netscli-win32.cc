// The wide arguments, so that a report or image name outside the ANSI code
// page reaches the simulator as it was written.
#include "sim/commands.h"
#include "files/utf16.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  arguments.erase(arguments.begin());
  return RunSimulator(arguments);
}
