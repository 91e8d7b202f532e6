/// The ports that -port chose: a location as discovery reports it ("03:00.0")
/// or a MAC address (separators and letter case do not matter). Without any
/// -port value every port is chosen.
#pragma once

#include <string>
#include <vector>

#include "inventory/nic_record.h"

void AddPortFilterValue(const std::string& value);
bool PortFilterActive();

// True when no -port value was given or one of them names this port.
bool PortIsChosen(const NicRecord& nic);

// The -port values that name none of the served ports in NicList; each is
// logged as an error and the first is noted as the run's stop reason.
std::vector<std::string> CheckPortFilterValues();

void ResetPortFilterForTesting();
