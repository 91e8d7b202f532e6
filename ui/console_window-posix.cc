#include "ui/user_interface.h"

// A terminal is never resized: the administrator's terminal is
// theirs, and there is no portable way to restore it afterwards.
struct ConsoleWindow::SavedState {};

ConsoleWindow::ConsoleWindow(int /*width*/, int /*height*/) {}

ConsoleWindow::~ConsoleWindow() = default;
