#include <windows.h>

#include "platform/interrupt.h"

namespace {

volatile LONG interruptArrived = 0;
volatile LONG commandRunning = 0;
volatile LONG arrivedDuringCommand = 0;
HANDLE interruptEvent = nullptr;  // set with the flag, for a reader to wait on
void (*consoleClosing)() = nullptr;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    if (InterlockedCompareExchange(&interruptArrived, 0, 0) == 0 &&
        InterlockedCompareExchange(&commandRunning, 0, 0) != 0)
      InterlockedExchange(&arrivedDuringCommand, 1);
    InterlockedExchange(&interruptArrived, 1);
    if (interruptEvent != nullptr)
      SetEvent(interruptEvent);
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
  interruptEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptArrived() {
  return InterlockedCompareExchange(&interruptArrived, 0, 0) != 0;
}

bool InterruptBrokeOffRead() {
  if (!InterruptArrived() && interruptEvent != nullptr)
    WaitForSingleObject(interruptEvent, 100);
  return InterruptArrived();
}

CommandRunning::CommandRunning() {
  InterlockedExchange(&commandRunning, 1);
}

CommandRunning::~CommandRunning() {
  InterlockedExchange(&commandRunning, 0);
}

bool InterruptCameDuringCommand() {
  return InterlockedCompareExchange(&arrivedDuringCommand, 0, 0) != 0;
}
