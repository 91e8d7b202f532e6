/// Test support for modules that write through the process-wide UserInterface:
/// a private temporary directory per test, and a UserInterface installed for
/// the test whose log file is read back. Linked into unit tests only.
#pragma once

#include <string>

#include "ui/user_interface.h"

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Paths are UTF-8 text, as everywhere in the program.
  const std::string& path() const { return path_; }
  // The path of name inside this directory.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Installs a UserInterface whose log lives in its own temporary directory, and
// puts the previously installed one back when it goes.
class InstalledLog {
 public:
  InstalledLog();
  ~InstalledLog();
  InstalledLog(const InstalledLog&) = delete;
  InstalledLog& operator=(const InstalledLog&) = delete;

  UserInterface& ui() { return ui_; }
  const std::string& path() const { return path_; }
  // The log as text (line ends as the program wrote them, read in text mode);
  // empty when the log does not exist.
  std::string Text() const;

 private:
  TempDir dir_;
  std::string path_;
  UserInterface ui_;
  UserInterface* previous_;
};

// Whole file as text (text mode: CRLF reads as LF on Windows); empty when missing.
std::string ReadTextFile(const std::string& path);
// Writes content as bytes, replacing the file.
void WriteBinaryFile(const std::string& path, const std::string& content);
