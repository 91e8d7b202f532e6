#include <windows.h>

#include "platform/console.h"

void SetConsoleTitleText(const char* title) {
  SetConsoleTitleA(title);
}
