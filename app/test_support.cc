#include "app/test_support.h"

#include <cstdlib>
#include <fstream>

#include "base/run_flags.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"

void AppTest::SetUp() {
  // Console output would only clutter the test report; the log gets it all the same.
  ui_->Configure(true, false, false);
  RunFlags = 0;
  ReportPathBuffer[0] = '\0';
  ResetPortFilterForTesting();
  ResetRunFactsForTesting();
}

void AppTest::TearDown() {
  RunFlags = 0;
  ReportPathBuffer[0] = '\0';
  ResetPortFilterForTesting();
  ResetRunFactsForTesting();
}

std::filesystem::path AppTest::MakeFile(const std::string& name) const {
  const auto path = scratch_ / name;
  std::ofstream(path) << "x";
  return path;
}

Arguments::Arguments(std::vector<std::string> args) {
  args.insert(args.begin(), "zentavor");
  for (const std::string& arg : args) {
    storage_.emplace_back(arg.begin(), arg.end());
    storage_.back().push_back('\0');
  }
  for (auto& arg : storage_)
    pointers_.push_back(arg.data());
  pointers_.push_back(nullptr);
}

CurrentDirectory::CurrentDirectory(const std::filesystem::path& dir)
    : saved_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

CurrentDirectory::~CurrentDirectory() {
  std::filesystem::current_path(saved_);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  hadValue_ = old != nullptr;
  if (hadValue_)
    oldValue_ = old;
  SetEnvironment(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironment(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
}
