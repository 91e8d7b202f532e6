/// The status line of a long flash: which port, how long it has run and, where
/// discovery said, how long it should take; redrawn in place on a terminal and
/// erased before anything else is written. It never reaches the log, and never
/// a pipe or a file, so redirected output stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// True when standard output is a terminal (on Windows: a console).
bool StandardOutputIsTerminal();

// The width of the terminal (console window) on standard output, in columns;
// 0 when it cannot be told.
std::size_t TerminalColumns();

// "Flashing <port>: m:ss elapsed" and ", about m:ss expected" when
// expectedSeconds is positive.
std::string ProgressText(const std::string& port, unsigned elapsedSeconds,
                         std::int32_t expectedSeconds);

// The columns a terminal gives UTF-8 text: two for a wide (East Asian)
// character, none for a combining mark, one for any other character, and one
// for each byte that is not UTF-8.
std::size_t TextColumns(std::string_view text);

// The longest head of the text that takes at most `columns` columns, never
// ending inside a character.
std::string_view ClipToColumns(std::string_view text, std::size_t columns);

class ProgressLine {
 public:
  // A quick flash shows no line: the first is drawn at this many seconds.
  static constexpr unsigned kFirstShownAt = 3;
  // Where the terminal's width cannot be told.
  static constexpr std::size_t kAssumedColumns = 80;

  // Draws nothing unless enabled (standard output a terminal, the run not
  // silent). columns tells the terminal's width at each drawing.
  ProgressLine(bool enabled, std::string port, std::int32_t expectedSeconds,
               std::size_t (*columns)() = TerminalColumns);
  ~ProgressLine();  // erases the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(unsigned elapsedSeconds);
  void Erase();

 private:
  // The columns the line may take: the terminal's width less one.
  std::size_t Room() const;

  bool enabled_;
  std::string port_;
  std::int32_t expectedSeconds_;
  std::size_t (*columns_)();
  std::size_t shownColumns_ = 0;
};
