#include "ui/progress_line.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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

}  // namespace

std::string ProgressText(const std::string& port, unsigned elapsedSeconds,
                         std::int32_t expectedSeconds) {
  std::string text = "Flashing " + port + ": " + Minutes(elapsedSeconds) + " elapsed";
  if (expectedSeconds > 0)
    text += ", about " + Minutes(static_cast<unsigned>(expectedSeconds)) + " expected";
  return text;
}

ProgressLine::ProgressLine(bool enabled, std::string port, std::int32_t expectedSeconds)
    : enabled_(enabled), port_(std::move(port)), expectedSeconds_(expectedSeconds) {
  // The port's name comes from the discovery file: no byte of it may move the
  // cursor or talk to the terminal.
  for (char& c : port_) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      c = '?';
  }
}

ProgressLine::~ProgressLine() {
  Erase();
}

void ProgressLine::Show(unsigned elapsedSeconds) {
  if (!enabled_ || elapsedSeconds < kFirstShownAt)
    return;
  std::string text = ProgressText(port_, elapsedSeconds, expectedSeconds_);
  const std::size_t width = text.size();
  // A shorter text than the last one blanks what the last one left behind.
  if (width < shownWidth_)
    text.append(shownWidth_ - width, ' ');
  Put("\r" + text);
  shownWidth_ = std::max(shownWidth_, width);
}

void ProgressLine::Erase() {
  if (shownWidth_ == 0)
    return;
  Put("\r" + std::string(shownWidth_, ' ') + "\r");
  shownWidth_ = 0;
}
