/// Shared scaffolding of the app unit tests: a scratch directory, a user
/// interface logging into it, and the process-wide run state reset per test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/test_support.h"
#include "ui/user_interface.h"

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Everything the test's user interface has logged so far.
  std::string Log() const { return log_.Text(); }
  // Creates a file (with some text) in the scratch directory.
  std::filesystem::path MakeFile(const std::string& name) const;

  TempDir dir_;
  std::filesystem::path scratch_{dir_.path()};
  InstalledLog log_;
  UserInterface* ui_ = &log_.ui();
};

// A mutable argument vector as main() receives it, program name first.
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> args);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }
  std::string operator[](std::size_t i) const { return pointers_[i]; }

 private:
  std::vector<std::vector<char>> storage_;
  std::vector<char*> pointers_;
};

// Sets an environment variable while the object lives, then puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool hadValue_;
  std::string oldValue_;
};

// Sets (or, for nullptr, removes) an environment variable of this process.
void SetEnvironment(const char* name, const char* value);
// The variable that names the temporary directory on this platform.
const char* TempDirectoryVariable();

// Runs the body with the current directory set to dir, then restores it.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::filesystem::path& dir);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::filesystem::path saved_;
};
