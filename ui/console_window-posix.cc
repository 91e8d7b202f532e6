#include "ui/console_window.h"

// A terminal is never resized or retitled: the administrator's terminal is
// theirs, and there is no portable way to restore it afterwards.
struct ConsoleWindow::SavedState {};

ConsoleWindow::ConsoleWindow(const char* /*title*/, int /*width*/, int /*height*/) {}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::Restore() {}

void PutConsoleText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}
