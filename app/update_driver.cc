#include "app/update_driver.h"

#include <stdexcept>

// The update driver arrives with the update engine; until then the update,
// report and replay runs fail honestly.
std::int32_t UpdateRun(std::uint32_t, UserInterface&) {
  throw std::logic_error("the update run is not available");
}

std::int32_t ReportRun(UserInterface&) { throw std::logic_error("the report run is not available"); }

std::int32_t ReplayRun(UserInterface&) { throw std::logic_error("the replay run is not available"); }
