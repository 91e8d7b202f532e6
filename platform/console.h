/// Console services used at start-up.
#pragma once

// Sets the console window title; does nothing on POSIX.
void SetConsoleTitleText(const char* title);
