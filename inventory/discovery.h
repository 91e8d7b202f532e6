/// The discovery run: load the package descriptor, have the vendor utility
/// enumerate the adapters into "tempNicList.xml", ingest it and remove it.
/// A successful run happens at most once per process.
#pragma once

#include <cstdint>

// 0 when discovery was already complete, else the utility's exit code (98 when
// it cannot be started, kDiscoveryInterrupted when an interrupt kept it from
// starting). 0 does not mean that ports were found.
inline constexpr std::int32_t kDiscoveryInterrupted = -1;
std::int32_t RunDiscovery();

// The device family's discovery hook: SupportedNicCount when discovery succeeded
// and found a supported port, otherwise -1.
std::int32_t DiscoverNics();

// The device family's driver dependency check: 0 when the installed driver and
// firmware may be updated. The P3P family has no such restriction.
std::int32_t CheckDependencies();
