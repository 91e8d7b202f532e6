#include "update/installed_table.h"

#include <stdexcept>

std::int32_t ShowInstalledFirmware(std::uint32_t, UserInterface&) {
  throw std::logic_error("the installed-firmware table is not available");
}
