#include "update/installed_table.h"

#include <string>

#include "inventory/discovery.h"
#include "inventory/nic_record.h"
#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "ui/user_interface.h"

namespace {

constexpr const char kIdentityHeader[] =
    "MAC                  B:D.F     PCI-ID                  NIC\n";
constexpr const char kVersionHeader[] =
    "   (Installed)            (Available)     Interface     \n";
constexpr const char kImageHeader[] = "Image     Version      Image     Version   \n";
constexpr const char kRule[] = "--------------------------------------------------------\n";

// Values stand as stored, not widened to the header columns.
void AppendPortBlock(NicRecord& nic, std::string& table) {
  table += kIdentityHeader;
  table += nic.macAddress + "    " + nic.pciLocation + "     " + nic.pciId + "     " +
           nic.productName + "\n";
  table += "\n";
  table += kVersionHeader;
  table += kImageHeader;
  table += kRule;
  table += "ROM       ";
  table += InstalledVersionText(nic);
  table += "      ROM       ";
  table += nic.availableVersion.Text();
  table += "  " + nic.interfaceName + "\n";
}

}  // namespace

std::int32_t ShowInstalledFirmware(std::uint32_t, UserInterface&) {
  RunDiscovery();  // only the inventory it leaves behind matters here
  // A -port value that names no served port counts as no supported port.
  if (SupportedNicCount == 0 || !CheckPortFilterValues().empty()) {
    NoteOutcome(ShortfallOutcome());
    return 2;
  }

  std::string table;
  for (std::uint32_t index = 0; index < SupportedNicCount; ++index) {
    NicRecord nic = NicList.At(index);
    if ((nic.flags & NIC_SUPPORTED) == 0 || !PortIsChosen(nic))
      continue;
    AppendPortBlock(nic, table);
  }
  // Adapter names may hold '%': the table is output, never a format.
  TheUserInterface().PrintAndWrite("%s", table.c_str());
  NoteOutcome(Outcome::kTableShown);
  return 0;
}
