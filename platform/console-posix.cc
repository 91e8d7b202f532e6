#include "platform/console.h"

// A terminal's title belongs to the administrator's session: left alone.
void SetConsoleTitleText(const char* /*title*/) {}
