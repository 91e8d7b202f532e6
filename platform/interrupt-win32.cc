#include <windows.h>

#include "platform/interrupt.h"

namespace {

volatile LONG interruptArrived = 0;
void (*consoleClosing)() = nullptr;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    InterlockedExchange(&interruptArrived, 1);
    return TRUE;
  }
  // Close, logoff, shutdown: the system ends the process within seconds of
  // this (a run hosted by a service may be spared a logoff), so only the log
  // can be told. The default handling that follows decides the rest.
  if (consoleClosing != nullptr)
    consoleClosing();
  return FALSE;
}

}  // namespace

void CatchInterrupts(void (*onConsoleClosing)()) {
  consoleClosing = onConsoleClosing;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptArrived() {
  return InterlockedCompareExchange(&interruptArrived, 0, 0) != 0;
}
