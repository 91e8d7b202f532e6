/// The status line of a long flash: which port, how long it has run and, where
/// discovery said, how long it should take; redrawn in place on a terminal and
/// erased before anything else is written. It never reaches the log, and never
/// a pipe or a file, so redirected output stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// True when standard output is a terminal (on Windows: a console).
bool StandardOutputIsTerminal();

// "Flashing <port>: m:ss elapsed" and ", about m:ss expected" when
// expectedSeconds is positive.
std::string ProgressText(const std::string& port, unsigned elapsedSeconds,
                         std::int32_t expectedSeconds);

class ProgressLine {
 public:
  // A quick flash shows no line: the first is drawn at this many seconds.
  static constexpr unsigned kFirstShownAt = 3;

  // Draws nothing unless enabled (standard output a terminal, the run not silent).
  ProgressLine(bool enabled, std::string port, std::int32_t expectedSeconds);
  ~ProgressLine();  // erases the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(unsigned elapsedSeconds);
  void Erase();

 private:
  bool enabled_;
  std::string port_;
  std::int32_t expectedSeconds_;
  std::size_t shownWidth_ = 0;
};
