/// Interrupts of a run (Ctrl-C, Ctrl-Break, a terminal that hangs up, a request
/// to terminate) are caught and only noted, so that the run decides how it
/// ends and a vendor utility that is writing a ROM is never cut off.
#pragma once

// From now on the interrupts only mark the run as interrupted: on POSIX SIGINT,
// SIGTERM, SIGHUP and SIGQUIT (except those the process inherited as ignored,
// as nohup leaves SIGHUP), on Windows Ctrl-C and Ctrl-Break. A read that an
// interrupt breaks off fails rather than waits on, so a question waiting for
// its answer comes back. Windows cannot hold off a console that closes or a
// session that ends: onConsoleClosing then runs, on a thread of the system's,
// before the system ends the process. Call once, before any child is started.
void CatchInterrupts(void (*onConsoleClosing)());

// True once an interrupt has arrived.
bool InterruptArrived();

// The same, asked right after a read failed, which an interrupt may have broken
// off: Windows ends a console read at Ctrl-C before it runs the handler on a
// thread of its own, so this waits for that handler a moment (100 ms at most).
bool InterruptBrokeOffRead();

// Marks the time a child command runs, so that an interrupt can tell whether
// it came while one was running (and was allowed to finish) or between them.
class CommandRunning {
 public:
  CommandRunning();
  ~CommandRunning();
  CommandRunning(const CommandRunning&) = delete;
  CommandRunning& operator=(const CommandRunning&) = delete;
};

// True when the first interrupt arrived while a CommandRunning lived.
bool InterruptCameDuringCommand();
