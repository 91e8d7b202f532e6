/// The -c mode: the installed and available firmware of every supported port,
/// written as one table.
#pragma once

#include <cstdint>

class UserInterface;

// 0 when the table was written, 2 when discovery found no supported port.
std::int32_t ShowInstalledFirmware(std::uint32_t runFlags, UserInterface& ui);
