#include <signal.h>

#include "platform/interrupt.h"

namespace {

volatile sig_atomic_t interruptArrived = 0;
volatile sig_atomic_t commandRunning = 0;
volatile sig_atomic_t arrivedDuringCommand = 0;

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void NoteInterrupt(int) {
  if (interruptArrived == 0 && commandRunning != 0)
    arrivedDuringCommand = 1;
  interruptArrived = 1;
}

}  // namespace

void CatchInterrupts(void (*)()) {
  // Without SA_RESTART: a read at a question then returns with EINTR and the
  // question ends the run; every wait for a child goes on after EINTR.
  struct sigaction action = {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  sigset_t caught;
  sigemptyset(&caught);
  for (const int signal : kInterruptSignals) {
    struct sigaction inherited = {};
    // A signal ignored on purpose (nohup, a job started in the background)
    // stays ignored: whoever started the run asked for it to go on.
    if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
      continue;
    if (sigaction(signal, &action, nullptr) == 0)
      sigaddset(&caught, signal);
  }
  // A mask inherited from the parent would hold them back until the end.
  sigprocmask(SIG_UNBLOCK, &caught, nullptr);
}

bool InterruptArrived() {
  return interruptArrived != 0;
}

// The handler has run before the read returned EINTR.
bool InterruptBrokeOffRead() {
  return InterruptArrived();
}

CommandRunning::CommandRunning() {
  commandRunning = 1;
}

CommandRunning::~CommandRunning() {
  commandRunning = 0;
}

bool InterruptCameDuringCommand() {
  return arrivedDuringCommand != 0;
}
