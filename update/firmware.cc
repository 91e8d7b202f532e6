#include "update/firmware.h"

#include <stdexcept>

// The per-port update arrives with the update engine; until then a run that
// reaches it fails honestly.
void QLogicFirmware::Select() { throw std::logic_error("the firmware update is not available"); }

std::ostream& QLogicFirmware::WritePrompt(std::ostream&) {
  throw std::logic_error("the firmware update is not available");
}

std::int32_t QLogicFirmware::Confirm() {
  throw std::logic_error("the firmware update is not available");
}

void QLogicFirmware::Update() { throw std::logic_error("the firmware update is not available"); }
