#include "update/reports.h"

#include <stdexcept>

#include "app/run_flags.h"

const char* ReportPath() { return ReportPathBuffer; }

std::int32_t GenerateDiscoveryReport() {
  throw std::logic_error("discovery reports are not available");
}

std::int32_t PrepareReplay(const char*) { throw std::logic_error("report replay is not available"); }

std::int32_t ReplayDiscoveryReport(std::int32_t) {
  throw std::logic_error("report replay is not available");
}

std::int32_t WriteVersionReport(std::uint32_t, UserInterface&) {
  throw std::logic_error("the version report is not available");
}
