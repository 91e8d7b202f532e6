#include <windows.h>

#include "ui/user_interface.h"

struct ConsoleWindow::SavedState {
  HANDLE output = nullptr;
  CONSOLE_SCREEN_BUFFER_INFO info = {};
};

ConsoleWindow::ConsoleWindow(int width, int height) {
  auto state = std::make_unique<SavedState>();
  state->output = GetStdHandle(STD_OUTPUT_HANDLE);
  // Output redirected to a file or pipe has no console to size: leave it alone.
  if (!GetConsoleScreenBufferInfo(state->output, &state->info))
    return;

  // The results are ignored on purpose: a console that refuses the size simply
  // keeps its own, which does no harm.
  const SMALL_RECT window = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
  SetConsoleWindowInfo(state->output, TRUE, &window);
  SetConsoleScreenBufferSize(state->output,
                             {static_cast<SHORT>(width), static_cast<SHORT>(height)});
  saved_ = std::move(state);
}

ConsoleWindow::~ConsoleWindow() {
  if (!saved_)
    return;
  SetConsoleTextAttribute(saved_->output, saved_->info.wAttributes);
  SetConsoleScreenBufferSize(saved_->output, saved_->info.dwSize);
  SetConsoleWindowInfo(saved_->output, TRUE, &saved_->info.srWindow);
}
