/// The process-wide flag word: the options of the command line and the
/// outcome bits that the run collects, plus the report path that -d, -u and -v
/// fill. Header-only, so that every layer can read it without linking app/.
#pragma once

#include <cstdint>

#include "base/product.h"

// Option bits, set only by ParseCommandLine.
inline constexpr std::uint32_t RUN_DEBUG = 0x1;
inline constexpr std::uint32_t RUN_SHOW_INSTALLED = 0x2;
inline constexpr std::uint32_t RUN_WRITE_REPORT = 0x4;
inline constexpr std::uint32_t RUN_REWRITE = 0x8;
inline constexpr std::uint32_t RUN_FORCE = 0x10;
inline constexpr std::uint32_t RUN_DOWNGRADE = 0x20;
inline constexpr std::uint32_t RUN_CHECK_ONLY = 0x40;
inline constexpr std::uint32_t RUN_VERSION_FILE = 0x80;
inline constexpr std::uint32_t RUN_SILENT = 0x200;
inline constexpr std::uint32_t RUN_READ_REPORT = 0x400;
inline constexpr std::uint32_t RUN_VERIFY_FILE = 0x800;
inline constexpr std::uint32_t RUN_ASSUME_DEFAULT = 0x1000;
inline constexpr std::uint32_t RUN_PORT_FILTER = 0x2000;

// Handed to start-up, never kept in RunFlags: the command line asks for help,
// so the run needs no firmware package.
inline constexpr std::uint32_t RUN_HELP_REQUESTED = 0x100;

// Outcome bits, set during the run.
inline constexpr std::uint32_t RUN_CANCELLED = 0x4000;
inline constexpr std::uint32_t RUN_UPDATE_AVAILABLE = 0x10000;
inline constexpr std::uint32_t RUN_SAME_VERSION = 0x20000;
inline constexpr std::uint32_t RUN_OLDER_AVAILABLE = 0x40000;
inline constexpr std::uint32_t RUN_UPDATE_FAILED = 0x80000;
inline constexpr std::uint32_t RUN_UPDATED = 0x100000;
inline constexpr std::uint32_t RUN_SKIP_DEVICE = 0x200000;

// The one flag word of the process; 0 at start.
inline std::uint32_t RunFlags = 0;

// File argument of -d, -u or -v (the last one given wins); empty at start.
inline char ReportPathBuffer[kPathBufferBytes] = {};
