#include <windows.h>

#include <algorithm>
#include <vector>

#include "files/utf16.h"
#include "ui/console_window.h"

namespace {

// Without a console (output redirected, or none at all) the call fails.
bool ReadScreen(HANDLE output, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return GetConsoleScreenBufferInfo(output, info) != 0;
}

// A window of width x height at the given top-left corner, moved up and left
// as far as needed to stay inside the buffer.
SMALL_RECT WindowAt(SHORT left, SHORT top, SHORT width, SHORT height, COORD buffer) {
  left = std::max<SHORT>(0, std::min<SHORT>(left, buffer.X - width));
  top = std::max<SHORT>(0, std::min<SHORT>(top, buffer.Y - height));
  return {left, top, static_cast<SHORT>(left + width - 1), static_cast<SHORT>(top + height - 1)};
}

SHORT WidthOf(const SMALL_RECT& window) {
  return static_cast<SHORT>(window.Right - window.Left + 1);
}

SHORT HeightOf(const SMALL_RECT& window) {
  return static_cast<SHORT>(window.Bottom - window.Top + 1);
}

}  // namespace

struct ConsoleWindow::SavedState {
  HANDLE output = nullptr;
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  bool hasScreen = false;
  bool hasTitle = false;
  std::wstring title;
};

ConsoleWindow::ConsoleWindow(const char* title, int width, int height) {
  auto state = std::make_unique<SavedState>();
  state->output = GetStdHandle(STD_OUTPUT_HANDLE);
  // A console's title is there even when its output is redirected. An empty
  // title reads as length 0 without an error.
  std::vector<wchar_t> saved(32768);
  SetLastError(ERROR_SUCCESS);
  const DWORD titleLength = GetConsoleTitleW(saved.data(), static_cast<DWORD>(saved.size()));
  state->hasTitle = titleLength > 0 || GetLastError() == ERROR_SUCCESS;
  if (state->hasTitle) {
    state->title.assign(saved.data(), titleLength);
    SetConsoleTitleW(WidenUtf8(title).c_str());
  }

  state->hasScreen = ReadScreen(state->output, &state->info);
  if (state->hasScreen) {
    // The results are ignored on purpose: a console that refuses a size simply
    // keeps its own, which does no harm.
    const COORD largest = GetLargestConsoleWindowSize(state->output);
    const SHORT columns =
        static_cast<SHORT>(largest.X > 0 ? std::min<int>(width, largest.X) : width);
    const SHORT rows =
        static_cast<SHORT>(largest.Y > 0 ? std::min<int>(height, largest.Y) : height);
    const COORD buffer = {std::max(state->info.dwSize.X, columns),
                          std::max(state->info.dwSize.Y, rows)};
    if (buffer.X != state->info.dwSize.X || buffer.Y != state->info.dwSize.Y)
      SetConsoleScreenBufferSize(state->output, buffer);
    const SMALL_RECT window =
        WindowAt(state->info.srWindow.Left, state->info.srWindow.Top, columns, rows, buffer);
    SetConsoleWindowInfo(state->output, TRUE, &window);
  }
  saved_ = std::move(state);
}

ConsoleWindow::~ConsoleWindow() {
  Restore();
}

void ConsoleWindow::Restore() {
  if (!saved_ || restored_.exchange(true))
    return;
  if (saved_->hasTitle)
    SetConsoleTitleW(saved_->title.c_str());
  CONSOLE_SCREEN_BUFFER_INFO now = {};
  if (!saved_->hasScreen || !ReadScreen(saved_->output, &now))
    return;
  SetConsoleTextAttribute(saved_->output, saved_->info.wAttributes);
  // The window gets its old size back where it is now, with the cursor's line
  // in view: the run's last output stays on the screen.
  const SHORT width = WidthOf(saved_->info.srWindow);
  const SHORT height = HeightOf(saved_->info.srWindow);
  const SHORT top =
      static_cast<SHORT>(std::max<int>(now.srWindow.Top, now.dwCursorPosition.Y - height + 1));
  const SMALL_RECT window = WindowAt(now.srWindow.Left, top, width, height, now.dwSize);
  SetConsoleWindowInfo(saved_->output, TRUE, &window);
}

bool PutConsoleText(std::FILE* stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
    return true;  // no console: nowhere to write, and nothing lost
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written;
  }
  // Whatever the runtime still holds goes first, so the order stays as written.
  std::fflush(stream);
  // Line ends as the runtime's text mode writes them, so the console moves its
  // cursor exactly as it did for the bytes.
  std::wstring wide;
  for (const wchar_t c : WidenUtf8(text)) {
    if (c == L'\n')
      wide += L'\r';
    wide += c;
  }
  std::size_t done = 0;
  while (done < wide.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}
