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
#include "files/named_file.h"

namespace {

namespace fs = std::filesystem;

bool Listed(const std::string& name) {
  std::vector<std::string> names;
  if (!ListProcessBaseNames(&names))
    return false;
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(ProcessListTest, ListsThisProcess) {
  EXPECT_TRUE(Listed(Utf8OfPath(PathOfUtf8(OwnExecutablePath()).filename())));
}

TEST(ProcessListTest, FindsARunningProgramByItsOwnName) {
  InstalledLog log;
  TempDir dir;
  const fs::path helper = PathOfUtf8(OwnExecutablePath()).parent_path() / "testchild";
  const std::string extension = PathOfUtf8(OwnExecutablePath()).extension().string();
  // A name outside the ANSI code page: the list and the runner both keep it whole.
  const std::string name =
      "zriva\xC5\x82" + std::to_string(std::random_device()() % 1000000) + extension;
  fs::copy_file(fs::path(helper.string() + extension), PathOfUtf8(dir.File(name)));
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
