#include "inventory/vendor_command.h"

#include "inventory/run_record.h"
#include "platform/interrupt.h"
#include "ui/user_interface.h"

namespace {

constexpr const char kInterruptedDuringCommand[] =
    "Interrupt received: a command already running was allowed to finish; nothing further is "
    "started.\n";
constexpr const char kInterruptedBetweenCommands[] =
    "Interrupt received: nothing further is started.\n";

OnceNotice interruptNotice{false, 2};

const char* InterruptLine() {
  return InterruptCameDuringCommand() ? kInterruptedDuringCommand : kInterruptedBetweenCommands;
}

}  // namespace

void AcknowledgeInterrupt() {
  if (InterruptArrived())
    NotifyOnce(interruptNotice, TheUserInterface(), "%s", InterruptLine());
}

bool StopForInterrupt() {
  if (!InterruptArrived())
    return false;
  AcknowledgeInterrupt();
  NoteInterrupt(InterruptLine(), !TheUserInterface().silent());
  return true;
}

VendorCommandResult RunVendorCommand(const std::string& command, std::uint32_t* exitCode,
                                     const WaitTick& tick) {
  *exitCode = kCannotStartExitCode;
  if (StopForInterrupt())
    return VendorCommandResult::kInterrupted;
  const CommandRunning running;
  return RunCommand(command, exitCode, tick) ? VendorCommandResult::kRan
                                             : VendorCommandResult::kCouldNotStart;
}
