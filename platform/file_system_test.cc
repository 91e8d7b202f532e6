#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/run_flags.h"
#include "ui/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

TEST(FileSystemTest, ExistsRemoveAndMakeDirectory) {
  TempDir dir;
  const std::string file = dir.File("netxen_lock_file");
  const std::string sub = dir.File("tavensystem");

  EXPECT_FALSE(FileExists(file.c_str()));
  EXPECT_FALSE(RemoveFile(file.c_str()));
  WriteBinaryFile(file, "");
  EXPECT_TRUE(FileExists(file.c_str()));
  EXPECT_TRUE(RemoveFile(file.c_str()));
  EXPECT_FALSE(FileExists(file.c_str()));

  EXPECT_TRUE(MakeDirectory(sub.c_str()));
  EXPECT_TRUE(FileExists(sub.c_str())) << "directories count as existing";
  EXPECT_FALSE(MakeDirectory(sub.c_str())) << "it exists already";
  EXPECT_FALSE(MakeDirectory(dir.File("missing/log").c_str()));
}

TEST(FileSystemTest, OwnExecutablePathNamesThisProgram) {
  const std::string path = OwnExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(FileExists(path.c_str()));
  EXPECT_EQ(std::filesystem::path(path).stem().string(), "platform_test");
}

#ifndef _WIN32

// Sets or clears one environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old)
      old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(FileSystemPosixTest, RemoveFileNeverDeletesWhatIsNotAFile) {
  TempDir dir;
  // A named pipe stands for every special file (a device node such as /dev/null
  // needs root to make): named as a report path, it must survive the run.
  const std::string pipe = dir.File("report.xml");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(RemoveFile(pipe.c_str()));
  EXPECT_TRUE(FileExists(pipe.c_str()));

  // A link goes, its target stays.
  const std::string target = dir.File("target");
  const std::string link = dir.File("link");
  WriteBinaryFile(target, "keep");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_TRUE(RemoveFile(link.c_str()));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(FileExists(target.c_str()));
}

TEST(FileSystemPosixTest, SystemDriveAndLogDirectoryComeFromTheEnvironment) {
  {
    ScopedVariable drive("SystemDrive", "/srv/sysdrive");
    EXPECT_EQ(SystemDrive(), "/srv/sysdrive");
    EXPECT_EQ(LogDirectory(), "/srv/sysdrive/tavensystem/log");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    ScopedVariable drive("SystemDrive", unset);
    EXPECT_EQ(SystemDrive(), "");
    EXPECT_EQ(LogDirectory(), "/var/log/tavensystem") << "where Linux administrators look";
  }
}

TEST(FileSystemPosixTest, TempDirectoryFollowsTmpdir) {
  std::string directory = "unchanged";
  {
    ScopedVariable tmpdir("TMPDIR", "/var/tmp/zentavor//");
    ASSERT_TRUE(TempDirectory(&directory));
    EXPECT_EQ(directory, "/var/tmp/zentavor");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    ScopedVariable tmpdir("TMPDIR", unset);
    ASSERT_TRUE(TempDirectory(&directory));
    EXPECT_EQ(directory, "/tmp");
  }
  {
    // The root itself: the lock path then becomes "/netxen_lock_file".
    ScopedVariable tmpdir("TMPDIR", "/");
    ASSERT_TRUE(TempDirectory(&directory));
    EXPECT_EQ(directory, "");
  }
  const std::string tooLong = "/" + std::string(kPathBufferSize, 't');
  ScopedVariable tmpdir("TMPDIR", tooLong.c_str());
  directory = "unchanged";
  EXPECT_FALSE(TempDirectory(&directory));
  EXPECT_EQ(directory, "unchanged");
}

#else

TEST(FileSystemWin32Test, SystemDriveIsADriveLetterAndHoldsTheLog) {
  const std::string drive = SystemDrive();
  ASSERT_EQ(drive.size(), 2u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(drive[0])));
  EXPECT_EQ(drive[1], ':');
  EXPECT_EQ(LogDirectory(), drive + "\\tavensystem\\log");
}

TEST(FileSystemWin32Test, TempDirectoryHasNoTrailingSeparator) {
  TempDir dir;
  char old[32767] = {};
  const bool hadTmp = GetEnvironmentVariableA("TMP", old, sizeof old) != 0;
  SetEnvironmentVariableA("TMP", (dir.path() + "\\").c_str());
  std::string directory;
  const bool found = TempDirectory(&directory);
  SetEnvironmentVariableA("TMP", hadTmp ? old : nullptr);
  ASSERT_TRUE(found);
  EXPECT_EQ(directory, dir.path());
}

#endif

}  // namespace
