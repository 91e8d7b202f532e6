#include "ui/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "files/named_file.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("zentavor-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = Utf8OfPath(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
  return Utf8OfPath(PathOfUtf8(path_) / PathOfUtf8(name));
}

InstalledLog::InstalledLog()
    : path_(dir_.File("zentavor.log")),
      ui_(path_.c_str(), 121, 65),
      previous_(HasUserInterface() ? &TheUserInterface() : nullptr) {
  InstallUserInterface(&ui_);
}

InstalledLog::~InstalledLog() {
  InstallUserInterface(previous_);
}

std::string InstalledLog::Text() const {
  return ReadTextFile(path_);
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBinaryFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}
