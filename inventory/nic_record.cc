#include "inventory/nic_record.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "inventory/package.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "ui/user_interface.h"

NicRecordList NicList;
std::uint32_t SupportedNicCount = 0;
std::uint32_t CurrentNicIndex = 0;
bool DiscoveryDone = false;

namespace {

// Callers loop below SupportedNicCount or use CurrentNicIndex, which the driver
// keeps below it; getting here is a programming error, never a matter of input.
[[noreturn]] void IndexOutOfRange(std::size_t index, std::size_t size) {
  SayOnStandardError("Internal error: NIC record " + std::to_string(index) +
                     " requested, inventory holds " + std::to_string(size) + ".\n");
  std::abort();
}

}  // namespace

NicRecord& NicRecordList::At(std::size_t index) {
  if (index >= records_.size())
    IndexOutOfRange(index, records_.size());
  return records_[index];
}

const NicRecord& NicRecordList::At(std::size_t index) const {
  if (index >= records_.size())
    IndexOutOfRange(index, records_.size());
  return records_[index];
}

bool InstalledVersionReadWhole(const NicRecord& nic) {
  return ReadingOf(nic.installedText.c_str()) == VersionReading::kWhole;
}

bool HoldsPackageVersion(const NicRecord& nic) {
  return (nic.flags & NIC_SUPPORTED) != 0 && InstalledVersionReadWhole(nic) &&
         nic.installedVersion == nic.availableVersion;
}

const char* InstalledVersionText(NicRecord& nic) {
  if (!InstalledVersionReadWhole(nic))
    return nic.installedText.c_str();
  return nic.installedVersion.Text();
}

NicRecord& CurrentNic() {
  return NicList.At(CurrentNicIndex);
}

void ResetInventoryForTesting() {
  NicList.Clear();
  SupportedNicCount = 0;
  CurrentNicIndex = 0;
  DiscoveryDone = false;
  PackageTable.clear();
  FirmwareImageFile.clear();
  PromisedImageDigests.clear();
  ResetRunFactsForTesting();
  ResetPortFilterForTesting();
}
