#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "ui/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Every test uses a name of its own: on Windows the mutex is machine-wide, and
// a real run may be going on in the same Wine prefix.
std::string NameFor(const char* test) {
  return std::string("zentavor-test-") + test + ".lock";
}

bool LocksAreFiles() {
  return PathSeparator() == '/';
}

TEST(InstanceLockTest, SecondHolderIsKeptOutUntilTheFirstLetsGo) {
  TempDir dir;
  const std::string name = NameFor("exclusive");
  InstanceLock rival;
  {
    InstanceLock first;
    ASSERT_EQ(first.Acquire(dir.path(), name), InstanceLockState::kHeld);
    EXPECT_TRUE(first.held());
    // Asking again is harmless and keeps the lock.
    EXPECT_EQ(first.Acquire(dir.path(), name), InstanceLockState::kHeld);
    EXPECT_EQ(rival.Acquire(dir.path(), name), InstanceLockState::kHeldElsewhere);
    EXPECT_FALSE(rival.held());
    EXPECT_EQ(rival.Acquire(dir.path(), name), InstanceLockState::kHeldElsewhere);
  }
  EXPECT_EQ(rival.Acquire(dir.path(), name), InstanceLockState::kHeld);
}

TEST(InstanceLockTest, LocksOfDifferentNamesAreIndependent) {
  TempDir dir;
  InstanceLock one;
  InstanceLock other;
  EXPECT_EQ(one.Acquire(dir.path(), NameFor("one")), InstanceLockState::kHeld);
  EXPECT_EQ(other.Acquire(dir.path(), NameFor("other")), InstanceLockState::kHeld);
}

TEST(InstanceLockTest, LockFileStaysInPlaceAndOnlyTheLockGoes) {
  if (!LocksAreFiles())
    GTEST_SKIP() << "a named mutex leaves nothing on disk";
  TempDir dir;
  const std::string name = NameFor("file");
  {
    InstanceLock lock;
    ASSERT_EQ(lock.Acquire(dir.path(), name), InstanceLockState::kHeld);
    EXPECT_EQ(lock.where(), dir.File(name));
  }
  // Removing it on release would let a third run lock a new file while a second
  // still holds the old one.
  EXPECT_TRUE(std::filesystem::exists(dir.File(name)));
  InstanceLock again;
  EXPECT_EQ(again.Acquire(dir.path(), name), InstanceLockState::kHeld);
}

TEST(InstanceLockTest, LockThatCannotBeMadeIsUnavailableWithTheReason) {
  if (!LocksAreFiles())
    GTEST_SKIP() << "a named mutex does not depend on a directory";
  TempDir dir;
  const std::string name = NameFor("blocked");
  std::filesystem::create_directory(dir.File(name));
  InstanceLock blocked;
  EXPECT_EQ(blocked.Acquire(dir.path(), name), InstanceLockState::kUnavailable);
  EXPECT_FALSE(blocked.held());
  EXPECT_NE(blocked.error(), 0u);

  InstanceLock missing;
  EXPECT_EQ(missing.Acquire(dir.File("no-such-directory"), name), InstanceLockState::kUnavailable);

  // A link planted where the lock file goes is not followed to its target.
  const std::string target = dir.File("target");
  std::ofstream(target) << "keep";
  std::filesystem::create_symlink(target, dir.File("link.lock"));
  InstanceLock linked;
  EXPECT_EQ(linked.Acquire(dir.path(), "link.lock"), InstanceLockState::kUnavailable);
  EXPECT_EQ(ReadTextFile(target), "keep");

#ifndef _WIN32
  // Nor is anything but a regular file taken for the lock (a FIFO would also
  // hold an open that waits for a reader).
  ASSERT_EQ(mkfifo(dir.File("fifo.lock").c_str(), 0644), 0);
  InstanceLock fifo;
  EXPECT_EQ(fifo.Acquire(dir.path(), "fifo.lock"), InstanceLockState::kUnavailable);
#endif
}

}  // namespace
