#include "platform/process_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/file_system.h"
#include "platform/process.h"
#include "ui/test_support.h"

namespace {

namespace fs = std::filesystem;

bool Listed(const std::string& name) {
  std::vector<std::string> names;
  if (!ListProcessBaseNames(&names))
    return false;
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(ProcessListTest, ListsThisProcess) {
  EXPECT_TRUE(Listed(fs::path(OwnExecutablePath()).filename().string()));
}

TEST(ProcessListTest, FindsARunningProgramByItsOwnName) {
  InstalledLog log;
  TempDir dir;
  const fs::path helper = fs::path(OwnExecutablePath()).parent_path() / "testchild";
  const std::string extension = fs::path(OwnExecutablePath()).extension().string();
  const std::string name = "zrival" + std::to_string(std::random_device()() % 1000000) + extension;
  fs::copy_file(fs::path(helper.string() + extension), dir.File(name));
  ASSERT_FALSE(Listed(name));

  // The runner waits for its child, so it runs on a thread of its own while
  // this one looks for the child.
  std::uint32_t exitCode = 0;
  bool started = false;
  std::thread runner(
      [&] { started = RunCommand(QuoteArgument(dir.File(name)) + " sleep 5", &exitCode); });
  bool found = false;
  for (int attempt = 0; attempt < 40 && !found; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    found = Listed(name);
  }
  runner.join();
  EXPECT_TRUE(found);
  EXPECT_TRUE(started);
  EXPECT_FALSE(Listed(name));
}

}  // namespace
