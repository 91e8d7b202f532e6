#include "ui/progress_line.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/utf8.h"
#include "ui/console_window.h"

namespace {

std::string Minutes(unsigned seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  return text;
}

// Straight to standard output, bypassing the log: the line is for the eye only.
// The console's own text path, so that a port's name reads as itself there.
void Put(const std::string& text) {
  PutConsoleText(stdout, text);
}

bool IsWide(char32_t c) {
  constexpr struct {
    char32_t first, last;
  } kWide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},  {0x3400, 0x4DBF},
               {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},  {0xF900, 0xFAFF},
               {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},  {0x1F300, 0x1F64F},
               {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  return std::any_of(std::begin(kWide), std::end(kWide),
                     [c](const auto& range) { return c >= range.first && c <= range.last; });
}

bool IsZeroWidth(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0xFE00 && c <= 0xFE0F);
}

std::size_t ColumnsOf(const Utf8Step& step) {
  if (!step.wellFormed)
    return 1;
  return IsZeroWidth(step.codePoint) ? 0 : IsWide(step.codePoint) ? 2 : 1;
}

}  // namespace

std::string ProgressText(const std::string& port, unsigned elapsedSeconds,
                         std::int32_t expectedSeconds) {
  std::string text = "Flashing " + port + ": " + Minutes(elapsedSeconds) + " elapsed";
  if (expectedSeconds > 0)
    text += ", about " + Minutes(static_cast<unsigned>(expectedSeconds)) + " expected";
  return text;
}

std::size_t TextColumns(std::string_view text) {
  std::size_t columns = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Step step = StepUtf8(text, at);
    columns += ColumnsOf(step);
    at += step.length;
  }
  return columns;
}

std::string_view ClipToColumns(std::string_view text, std::size_t columns) {
  std::size_t used = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const Utf8Step step = StepUtf8(text, at);
    const std::size_t width = ColumnsOf(step);
    if (used + width > columns)
      break;
    used += width;
    at += step.length;
  }
  return text.substr(0, at);
}

ProgressLine::ProgressLine(bool enabled, std::string port, std::int32_t expectedSeconds,
                           std::size_t (*columns)())
    : enabled_(enabled),
      port_(std::move(port)),
      expectedSeconds_(expectedSeconds),
      columns_(columns) {
  // The port's name comes from the discovery file: no character of it may move
  // the cursor or talk to the terminal, C1 controls included.
  std::string safe;
  for (std::size_t at = 0; at < port_.size();) {
    const Utf8Step step = StepUtf8(port_, at);
    const char32_t c = step.codePoint;
    if (c < 0x20 || c == 0x7F || (step.wellFormed && c >= 0x80 && c < 0xA0))
      safe += '?';
    else
      safe.append(port_, at, step.length);
    at += step.length;
  }
  port_ = std::move(safe);
}

ProgressLine::~ProgressLine() {
  Erase();
}

void ProgressLine::Show(unsigned elapsedSeconds) {
  if (!enabled_ || elapsedSeconds < kFirstShownAt)
    return;
  // The last column stays free: a console moves to the next line as soon as
  // it is written, and the line would no longer be redrawn in place.
  const std::size_t room = Room();
  std::string text(ClipToColumns(ProgressText(port_, elapsedSeconds, expectedSeconds_), room));
  const std::size_t columns = TextColumns(text);
  // A shorter text than the last one blanks what the last one left behind
  // (on a terminal made narrower meanwhile, only what still fits).
  shownColumns_ = std::min(shownColumns_, room);
  if (columns < shownColumns_)
    text.append(shownColumns_ - columns, ' ');
  // The cursor waits at the line's start, so that whatever the terminal echoes
  // meanwhile (the ^C of an interrupt) lands on the line and goes with it.
  Put("\r" + text + "\r");
  shownColumns_ = std::max(shownColumns_, columns);
}

void ProgressLine::Erase() {
  if (shownColumns_ == 0)
    return;
  Put("\r" + std::string(std::min(shownColumns_, Room()), ' ') + "\r");
  shownColumns_ = 0;
}

std::size_t ProgressLine::Room() const {
  const std::size_t width = columns_();
  return (width == 0 ? kAssumedColumns : width) - 1;
}
