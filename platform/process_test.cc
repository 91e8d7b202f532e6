#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "ui/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct ChildRun {
  bool started;
  std::uint32_t exitCode;
};

ChildRun RunIt(const std::string& commandLine) {
  std::uint32_t exitCode = 12345;
  const bool started = RunCommand(commandLine, &exitCode);
  return {started, exitCode};
}

// Every runner test starts the helper by its bare name, so each one also
// proves that a program beside the running executable is found.
TEST(RunCommandTest, ReturnsTheChildsExitCode) {
  InstalledLog log;
  for (const std::uint32_t code : {0u, 3u, 98u, 255u}) {
    const ChildRun run = RunIt("testchild exit " + std::to_string(code));
    EXPECT_TRUE(run.started) << code;
    EXPECT_EQ(run.exitCode, code);
  }
}

TEST(RunCommandTest, MissingProgramGives98AndFalseWithTheCommandLineLogged) {
  InstalledLog log;
  const ChildRun run = RunIt("zentavor-no-such-program  -flashsupport\t-p3");
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.exitCode, kCannotStartExitCode);
  EXPECT_EQ(log.Text(), "zentavor-no-such-program  -flashsupport\t-p3\n");

  // The reason names the program, never an adapter.
  EXPECT_NE(LastStartFailure().find("zentavor-no-such-program could not be started"),
            std::string::npos)
      << LastStartFailure();

  EXPECT_FALSE(RunIt("").started);
  EXPECT_FALSE(RunIt("   ").started);
}

TEST(RunCommandTest, TicksAboutOnceASecondWhileTheChildRuns) {
  InstalledLog log;
  std::vector<unsigned> ticks;
  std::uint32_t exitCode = 12345;
  ASSERT_TRUE(RunCommand("testchild sleep 2.5", &exitCode,
                         [&ticks](unsigned seconds) { ticks.push_back(seconds); }));
  EXPECT_EQ(exitCode, 0u);
  // A child of 2.5 s is seen at 1 s and at 2 s; a slow start may add a third.
  ASSERT_GE(ticks.size(), 2u);
  for (std::size_t i = 0; i < ticks.size(); ++i)
    EXPECT_EQ(ticks[i], i + 1);
  // A quick child gets no tick and its exit code as without one.
  ticks.clear();
  ASSERT_TRUE(RunCommand("testchild exit 7", &exitCode,
                         [&ticks](unsigned seconds) { ticks.push_back(seconds); }));
  EXPECT_EQ(exitCode, 7u);
  EXPECT_TRUE(ticks.empty());
}

TEST(RunCommandTest, ChildOutputNeverReachesOurConsole) {
  InstalledLog log;
  CaptureStdout();
  CaptureStderr();
  const ChildRun run = RunIt("testchild print chatter-from-the-child 0");
  const std::string out = GetCapturedStdout();
  const std::string err = GetCapturedStderr();
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(out, "");
#ifndef _WIN32
  // Under Wine a windowless child's standard error still leaks through; on
  // POSIX it must not.
  EXPECT_EQ(err, "");
#endif
}

TEST(RunCommandTest, ArgumentsWithBlanksAndQuotesArriveIntact) {
  InstalledLog log;
  TempDir dir;
  const std::string file = dir.File("args with blank.txt");
  const std::vector<std::string> values = {"plain",           "with blank",    "tab\there",
                                           "say \"hi\"",      R"(C:\My Dir\)", R"(back\\"slash)",
                                           R"(C:\dir\x.rom)", R"(trailing\\)", "%PATH%$HOME;&|<>"};
  std::string line = "testchild args " + QuoteArgument(file);
  for (const std::string& value : values)
    line += " " + QuoteArgument(value);
  line += " \"\"";  // an empty argument of its own

  const ChildRun run = RunIt(line);
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exitCode, 0u);
  std::string expected;
  for (const std::string& value : values)
    expected += value + "\n";
  expected += "\n";
  EXPECT_EQ(ReadTextFile(file), expected);
}

TEST(RunCommandTest, ChildRunsInOurCurrentDirectory) {
  InstalledLog log;
  TempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const ChildRun run = RunIt("testchild args relative.txt here");
  std::filesystem::current_path(previous);
  EXPECT_TRUE(run.started);
  EXPECT_EQ(ReadTextFile(dir.File("relative.txt")), "here\n");
}

// In the Windows build the child's own runtime splits the command line, so
// this proves that SplitCommandLine reads command lines as that runtime does.
TEST(RunCommandTest, ChildSplitsRawCommandLinesAsSplitCommandLineDoes) {
  InstalledLog log;
  TempDir dir;
  const std::string file = dir.File("words.txt");
  const std::string tail = R"( "a""b c" a""b \"q x\\"y z" \\ "" end\ "z"")";
  const ChildRun run = RunIt("testchild args " + QuoteArgument(file) + tail);
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exitCode, 0u);
  std::string expected;
  for (const std::string& word : SplitCommandLine(tail))
    expected += word + "\n";
  EXPECT_EQ(expected, "a\"b c\nab\n\"q\nx\\y z\n\\\\\n\nend\\\nz\"\n");
  EXPECT_EQ(ReadTextFile(file), expected);
}

#ifndef _WIN32

// The directory of this test binary, where testchild lives.
std::string OwnDirectory() {
  return std::filesystem::path(OwnExecutablePath()).parent_path().string();
}

TEST(RunCommandPosixTest, ChildEndedBySignalGives128PlusTheSignal) {
  InstalledLog log;
  const ChildRun run = RunIt("testchild signal " + std::to_string(SIGTERM));
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 128u + SIGTERM);
}

// What a parent may hand down (a scheduler that ignores SIGCHLD, a service
// manager that blocks or ignores signals) must neither cost us the child's exit
// code nor reach the utility: it starts with every signal at its default and
// none blocked, so a SIGTERM it raises ends it.
TEST(RunCommandPosixTest, InheritedSignalSettingsNeitherHideTheExitCodeNorReachTheChild) {
  InstalledLog log;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction savedChild, savedTerm;
  sigaction(SIGCHLD, &ignore, &savedChild);
  sigaction(SIGTERM, &ignore, &savedTerm);
  sigset_t term, savedMask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, &savedMask);

  const ChildRun exits = RunIt("testchild exit 4");
  const ChildRun signalled = RunIt("testchild signal " + std::to_string(SIGTERM));

  sigprocmask(SIG_SETMASK, &savedMask, nullptr);
  sigaction(SIGTERM, &savedTerm, nullptr);
  sigaction(SIGCHLD, &savedChild, nullptr);
  EXPECT_TRUE(exits.started);
  EXPECT_EQ(exits.exitCode, 4u);
  EXPECT_TRUE(signalled.started);
  EXPECT_EQ(signalled.exitCode, 128u + SIGTERM);
}

// Restores the current directory and PATH when a test changed them.
class ScopedDirectoryAndPath {
 public:
  ScopedDirectoryAndPath() : directory_(std::filesystem::current_path()) {
    const char* path = std::getenv("PATH");
    hadPath_ = path != nullptr;
    if (path)
      path_ = path;
  }
  ~ScopedDirectoryAndPath() {
    std::filesystem::current_path(directory_);
    if (hadPath_) {
      setenv("PATH", path_.c_str(), 1);
    } else {
      unsetenv("PATH");
    }
  }

 private:
  std::filesystem::path directory_;
  std::string path_;
  bool hadPath_ = false;
};

TEST(RunCommandPosixTest, CurrentDirectoryIsNeverSearchedButPathIs) {
  InstalledLog log;
  TempDir dir;
  ScopedDirectoryAndPath restore;
  const std::string name = "zentavor-child-" + std::to_string(getpid());
  std::filesystem::copy_file(OwnDirectory() + "/testchild", dir.File(name));
  std::filesystem::current_path(dir.path());

  setenv("PATH", (std::string(".::") + "relative/dir").c_str(), 1);
  EXPECT_FALSE(RunIt(name + " exit 7").started);

  setenv("PATH", ("/nonexistent:" + dir.path()).c_str(), 1);
  const ChildRun run = RunIt(name + " exit 7");
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 7u);
}

TEST(RunCommandPosixTest, NoShellIsInvolved) {
  InstalledLog log;
  TempDir dir;
  const std::string marker = dir.File("marker");
  // With a shell, the second command would create the marker file.
  const ChildRun run = RunIt("testchild exit 4; touch " + marker);
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 4u);
  EXPECT_FALSE(FileExists(marker.c_str()));
}

TEST(RunCommandPosixTest, AFileThatCannotBeExecutedGives98) {
  InstalledLog log;
  TempDir dir;
  const std::string notAProgram = dir.File("not-a-program");
  WriteBinaryFile(notAProgram, "plain text, no interpreter line\n");
  chmod(notAProgram.c_str(), 0755);
  const std::string notExecutable = dir.File("not-executable");
  std::filesystem::copy_file(OwnDirectory() + "/testchild", notExecutable);
  chmod(notExecutable.c_str(), 0644);

  for (const std::string& program : {notAProgram, notExecutable}) {
    const ChildRun run = RunIt(program + " exit 0");
    EXPECT_FALSE(run.started) << program;
    EXPECT_EQ(run.exitCode, kCannotStartExitCode) << program;
  }
}

#endif

}  // namespace
