/// The inventory of supported adapter ports: one NicRecord per port, held in
/// the process-wide NicList in discovery order, with the counters the update
/// driver walks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inventory/firmware_version.h"

// NicRecord::flags bits.
inline constexpr std::uint32_t NIC_SUPPORTED = 0x1;
inline constexpr std::uint32_t NIC_SELECTED = 0x2;

struct NicRecord {
  std::string interfaceName;
  std::string itemVersion;
  std::string pciLocation;  // bus ":" device "." function, as the discovery file gives them
  std::int32_t vendorId = 0;
  std::int32_t deviceId = 0;
  std::int32_t subVendorId = 0;
  std::int32_t subDeviceId = 0;
  std::string pciId;  // "%04X-%04X-%04X-%04X" of the four IDs
  std::string macAddress;
  FirmwareVersion installedVersion;
  FirmwareVersion availableVersion;
  std::string productName;
  std::uint32_t flags = 0;
  std::string firmwareId;
  std::string installedText;
  std::string action;
  std::int32_t duration = 0;
  bool shared = false;
  std::string message;
};

// Whether the installed version's value holds all its text says (see ReadingOf).
// One read only in part must never make the port look older than the package.
bool InstalledVersionReadWhole(const NicRecord& nic);

// True when the port is served and its installed version, read whole, is the
// package's: what a port holds once the package's image was written to it.
bool HoldsPackageVersion(const NicRecord& nic);

// The installed version as a person should see it: the dotted value, or the text
// discovery gave when the value holds only part of it.
const char* InstalledVersionText(NicRecord& nic);

// Ordered sequence of records held by value. Element access checks its index;
// an index at or past the end is an internal error that ends the process.
class NicRecordList {
 public:
  void Append(const NicRecord& record) { records_.push_back(record); }
  std::size_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  NicRecord& At(std::size_t index);
  const NicRecord& At(std::size_t index) const;
  void Clear() { records_.clear(); }  // for tests and fuzzing only

 private:
  std::vector<NicRecord> records_;
};

// Process-wide inventory state; only discovery ingestion appends.
extern NicRecordList NicList;
extern std::uint32_t SupportedNicCount;
extern std::uint32_t CurrentNicIndex;
extern bool DiscoveryDone;

// The record that the Firmware operations work on (NicList.At(CurrentNicIndex)).
NicRecord& CurrentNic();

// Empties the inventory and the package table and image name, as at process
// start. For tests and fuzz targets; the program itself never resets them.
void ResetInventoryForTesting();
