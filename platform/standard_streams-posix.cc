#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/standard_streams.h"

void PrepareStandardStreams() {
  // A closed descriptor is the lowest free one, so the next open() takes it:
  // the lock or the log would otherwise receive the console's text.
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF)
      open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  // The vendor utility gets every signal at its default again (the runner
  // resets them in the child).
  signal(SIGPIPE, SIG_IGN);
}
