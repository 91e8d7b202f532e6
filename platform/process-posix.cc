// The POSIX stand-in for CreateProcessA: the command line is split by the
// Windows word rules and the program started directly, never through a shell,
// so that no value in a command line can be read as shell syntax.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/file_system.h"
#include "platform/process.h"
#include "ui/user_interface.h"

extern char** environ;

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What the search for a program found: the file to start, or else the first
// file of that name that is there but may not be run (its error in
// notExecutableError), or nothing.
struct FoundProgram {
  std::string path;
  std::string notExecutable;
  int notExecutableError = 0;
};

// Where the program of a command line lives: a name with a slash is taken as
// it stands; a bare name is looked for beside the running executable, then in
// the absolute directories of PATH. Relative and empty PATH entries mean the
// current directory, which is never searched: a program planted in whatever
// directory the administrator happens to be in must not be started. A file
// that is there but may not be run is passed over, as the shell does, and
// named when nothing else is found.
FoundProgram FindProgram(const std::string& name) {
  FoundProgram found;
  if (name.find('/') != std::string::npos) {
    found.path = name;
    return found;
  }
  const auto consider = [&found](const std::string& candidate) {
    if (!IsRegularFile(candidate))
      return false;
    if (access(candidate.c_str(), X_OK) == 0) {
      found.path = candidate;
      return true;
    }
    if (found.notExecutable.empty()) {
      found.notExecutable = candidate;
      found.notExecutableError = errno;
    }
    return false;
  };

  const std::string ownDirectory = DirectoryOf(OwnExecutablePath());
  if (!ownDirectory.empty() && consider(ownDirectory + "/" + name))
    return found;

  const char* path = std::getenv("PATH");
  if (!path)
    return found;
  const std::string directories = path;
  std::size_t start = 0;
  while (start <= directories.size()) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos)
      end = directories.size();
    const std::string directory = directories.substr(start, end - start);
    if (!directory.empty() && directory[0] == '/' && consider(directory + "/" + name))
      return found;
    start = end + 1;
  }
  return found;
}

// Why a program that is there did not start, for the log and the result file:
// errors that say the file is no program to this system (no permission to run
// it, a mount without exec, not a format the kernel runs, an interpreter line
// naming nothing) read as "is not executable"; others as they are.
std::string StartFailureOf(const std::string& program, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case ENOENT:
    case ELIBBAD:
    case ETXTBSY:
    case EISDIR:
      return program + " could not be started: it is not executable (" + std::strerror(error) + ")";
    default:
      return program + " could not be started (" + std::strerror(error) + ")";
  }
}

// The utility gets the signal settings a program expects at its start, not
// ours and not those our parent handed down: every signal at its default, none
// blocked. Only async-signal-safe calls: this runs in the forked child.
void ResetSignalsForChild() {
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal)
    sigaction(signal, &standard, nullptr);  // fails harmlessly for KILL, STOP
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Only async-signal-safe calls from here on: this runs in the forked child.
[[noreturn]] void StartChild(const char* program, char* const* argv, int errorPipe) {
  // A process group of its own: the terminal's Ctrl-C and hang-up go to our
  // group only, and a flash in progress runs to its end.
  setpgid(0, 0);
  ResetSignalsForChild();
  const int null = open("/dev/null", O_RDWR);
  if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0 ||
      dup2(null, STDERR_FILENO) < 0) {
    const int error = errno;
    (void)!write(errorPipe, &error, sizeof error);
    _exit(127);
  }
  // The child gets none of our open files (the log among them), as on Windows
  // with handle inheritance off. The error pipe is close-on-exec already.
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    // Kernels before 5.11 know no CLOSE_RANGE_CLOEXEC: mark them one by one.
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd)
      fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  execve(program, argv, environ);
  const int error = errno;
  (void)!write(errorPipe, &error, sizeof error);
  _exit(127);
}

// The error the child reported through the close-on-exec pipe when it could
// not exec, or 0: an exec that succeeded closes the pipe without a word.
int ChildStartError(int errorPipe) {
  int error = 0;
  ssize_t got;
  do {
    got = read(errorPipe, &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? (error != 0 ? error : EIO) : 0;
}

// A parent that left SIGCHLD ignored (some schedulers do) has the system reap
// every child at once, and no wait could read its exit code.
void LetChildrenBeWaitedFor() {
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(SIGCHLD, &standard, nullptr);
}

bool WaitForChild(pid_t child, int* status) {
  pid_t waited;
  do {
    waited = waitpid(child, status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == child;
}

// WaitForChild, waking once a second to call tick. A kernel without process
// descriptors gets the plain wait: the ticks only show progress.
bool WaitForChildTicking(pid_t child, int* status, const WaitTick& tick) {
  const int process = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  if (process < 0)
    return WaitForChild(child, status);
  const auto start = std::chrono::steady_clock::now();
  for (unsigned next = 1;; ++next) {
    int ready;
    do {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          start + std::chrono::seconds(next) - std::chrono::steady_clock::now());
      pollfd ended = {process, POLLIN, 0};
      ready = poll(&ended, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    } while (ready < 0 && errno == EINTR);
    if (ready != 0)
      break;
    tick(next);
  }
  close(process);
  return WaitForChild(child, status);
}

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status))
    return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 0;
}

}  // namespace

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode) {
  return RunCommand(commandLine, exitCode, WaitTick());
}

bool RunCommand(const std::string& commandLine, std::uint32_t* exitCode, const WaitTick& tick) {
  TheUserInterface().Write("%s\n", commandLine.c_str());
  *exitCode = kCannotStartExitCode;

  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty())
    return false;
  const FoundProgram found = FindProgram(words[0]);
  const std::string& program = found.path;
  if (program.empty() && !found.notExecutable.empty()) {
    NoteStartFailure(StartFailureOf(found.notExecutable, found.notExecutableError));
    return false;
  }
  if (program.empty()) {
    const char* path = std::getenv("PATH");
    NoteStartFailure(words[0] + " could not be started: it is neither beside the program in " +
                     DirectoryOf(OwnExecutablePath()) + " nor in an absolute directory of PATH (" +
                     (path ? path : "") + ")");
    return false;
  }

  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  LetChildrenBeWaitedFor();
  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0)
    return false;
  const pid_t child = fork();
  if (child == 0)
    StartChild(program.c_str(), argv.data(), errorPipe[1]);
  close(errorPipe[1]);
  if (child < 0) {
    close(errorPipe[0]);
    return false;
  }
  // Also from this side, so that the group stands before a signal can come
  // (the child may have done it, or exec'd, already: both are fine).
  setpgid(child, child);
  const int startError = ChildStartError(errorPipe[0]);
  const bool failed = startError != 0;
  close(errorPipe[0]);

  int status = 0;
  const bool waited =
      tick ? WaitForChildTicking(child, &status, tick) : WaitForChild(child, &status);
  if (failed)
    NoteStartFailure(StartFailureOf(program, startError));
  // A child whose end cannot be observed has no exit code to judge it by; it
  // must not pass for a success, so it counts as one that could not be run.
  if (failed || !waited)
    return false;
  *exitCode = ExitCodeOf(status);
  return true;
}
