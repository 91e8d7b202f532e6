#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ui/test_support.h"

namespace {

TEST(WriteFileAtomicallyTest, WritesOrReplacesTheWholeFileAndLeavesNothingElse) {
  TempDir dir;
  const std::string path = dir.File("result.json");
  unsigned long error = 0;
  ASSERT_TRUE(WriteFileAtomically(path, "first\n", &error)) << error;
  EXPECT_EQ(ReadTextFile(path), "first\n");
  ASSERT_TRUE(WriteFileAtomically(path, std::string(100000, 'x'), &error)) << error;
  EXPECT_EQ(ReadTextFile(path), std::string(100000, 'x'));
  // No temporary file is left beside the result.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(WriteFileAtomicallyTest, FailureLeavesTheTargetAloneAndSaysWhy) {
  TempDir dir;
  unsigned long error = 0;
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/result.json"), "x", &error));
  EXPECT_NE(error, 0u);
  // A directory where the file should be is never replaced.
  std::filesystem::create_directory(dir.File("taken"));
  error = 0;
  EXPECT_FALSE(WriteFileAtomically(dir.File("taken"), "x", &error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken")));
#ifndef _WIN32
  // Nor a link (the link itself stays, and so does what it names), nor a device.
  std::filesystem::create_symlink(dir.File("taken"), dir.File("link"));
  EXPECT_FALSE(WriteFileAtomically(dir.File("link"), "x", &error));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
  EXPECT_FALSE(WriteFileAtomically("/dev/null", "x", &error));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  std::filesystem::remove(dir.File("link"));
#endif
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
