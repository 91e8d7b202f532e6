// Kept apart from the other P3P hooks so that the inventory's state is linked
// in only by the programs that walk the ports.
#include "app/vendor_module.h"
#include "inventory/nic_record.h"

std::int32_t SetCurrentNic(std::uint32_t index) {
  CurrentNicIndex = index;
  return 0;
}
