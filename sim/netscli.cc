// netscli: the simulated vendor utility. Logs the call, recognises the command
// line, loads the simulated server and plays the command against it. The entry
// points (netscli-posix.cc, netscli-win32.cc) hand over the arguments as UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/call_log.h"
#include "sim/commands.h"
#include "sim/state.h"

int RunSimulator(const std::vector<std::string>& arguments) {
  const SimContext context{StatePath(), VendorLockPath()};
  // Logged before anything is checked: a test must see every call that
  // reached the utility, refused ones included.
  if (!AppendCall(CallLogPath(context.statePath), arguments)) {
    std::fprintf(stderr, "netscli: cannot append to %s\n", CallLogPath(context.statePath).c_str());
    return kExitCannotWrite;
  }
  SimCommand command;
  if (!ParseCommand(arguments, &command)) {
    std::fprintf(stderr,
                 "usage: netscli -flashsupport -d <image> <file> -p3\n"
                 "       netscli -flashsupport -u <image> <report> tempNicList.xml -p3\n"
                 "       netscli -flashsupport -i <bus:dev.func> -a <image>\n");
    return kExitRefused;
  }
  SimState state;
  std::string error;
  if (!LoadState(context.statePath, &state, &error)) {
    std::fprintf(stderr, "netscli: %s\n", error.c_str());
    return kExitBadState;
  }
  return PlayCommand(command, context, &state);
}
