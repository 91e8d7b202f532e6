#include "ui/console_window.h"

// A terminal is never resized or retitled: the administrator's terminal is
// theirs, and there is no portable way to restore it afterwards.
struct ConsoleWindow::SavedState {};

ConsoleWindow::ConsoleWindow(const char* /*title*/, int /*width*/, int /*height*/) {}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::Restore() {}

bool PutConsoleText(std::FILE* stream, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}
