#include "inventory/test_support.h"

#include <sstream>

#include "base/run_flags.h"
#include "inventory/nic_record.h"

void InventoryTest::SetUp() {
  previousDirectory_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  ResetInventoryForTesting();
  RunFlags = 0;
  ReportPathBuffer[0] = '\0';
}

void InventoryTest::TearDown() {
  std::filesystem::current_path(previousDirectory_);
  ResetInventoryForTesting();
  RunFlags = 0;
  ReportPathBuffer[0] = '\0';
}

void InventoryTest::WriteFile(const std::string& name, const std::string& content) {
  WriteBinaryFile(dir_.File(name), content);
}

std::string Kind(const std::string& venid, const std::string& devid, const std::string& subvenid,
                 const std::string& subdevid, const std::string& rom, const std::string& fwFile,
                 const std::string& name) {
  return "<nic name=\"" + name + "\" venid=\"" + venid + "\" devid=\"" + devid + "\" subvenid=\"" +
         subvenid + "\" subdevid=\"" + subdevid + "\" rom=\"" + rom + "\" fwFile=\"" + fwFile +
         "\"/>\n";
}

std::string Descriptor(const std::string& kinds) {
  return "<?xml version=\"1.0\"?>\n<nic_fw_package version=\"1.0\">\n<nic>\n" + kinds +
         "</nic>\n</nic_fw_package>\n";
}

std::string Datum(const std::string& name, const std::string& value) {
  return "<" + name + " value=\"" + value + "\"/>";
}

std::string Device(const std::string& interfaceName, const std::string& mac, const std::string& bus,
                   const std::string& firmware, const std::string& devid) {
  return "<device>" + Datum("device_id", interfaceName) + Datum("venid", "1077") +
         Datum("devid", devid) + Datum("subvenid", "1077") + Datum("subdevid", "0203") +
         Datum("macaddress", mac) + Datum("product_id", "QLE3242") + Datum("busnumber", bus) +
         Datum("devicenumber", "00") + Datum("funcnumber", "1") + Datum("slotnumber", "2") +
         "<fw_item>" + Datum("type", "rom") + Datum("firmware_id", firmware) +
         Datum("version", "1") + Datum("action", "update") + Datum("shared", "YES") +
         Datum("duration", "30") + Datum("message", "ok") + "</fw_item></device>\n";
}

std::string DiscoveryFile(const std::string& devices, const std::string& type) {
  std::string text = "<?xml version=\"1.0\"?>\n<korvel_rom_discovery version=\"2\">\n";
  if (!type.empty())
    text += Datum("type", type) + "\n";
  text += Datum("version", "3.1") + "\n" + Datum("takes_effect", "reboot") + "\n";
  return text + "<devices>\n" + devices + "</devices>\n</korvel_rom_discovery>\n";
}

std::string SimulatorState(const std::string& ports, const std::string& extra) {
  return "<netscli_state>\n<image file=\"p3p.bin\" version=\"4.0.556\" "
         "pci_ids=\"1077-8020-1077-0203\"/>\n" +
         extra + ports + "</netscli_state>\n";
}

std::string SimulatorPort(const std::string& interfaceName, const std::string& devid,
                          const std::string& bus, const std::string& firmware) {
  return "<port device_id=\"" + interfaceName + "\" venid=\"1077\" devid=\"" + devid +
         "\" subvenid=\"1077\" subdevid=\"0203\" macaddress=\"00:0E:1E:00:00:" + bus +
         "\" product_id=\"QLE3242\" busnumber=\"" + bus +
         "\" devicenumber=\"00\" funcnumber=\"0\" firmware_id=\"" + firmware + "\"/>\n";
}

std::vector<std::string> SimulatorCalls() {
  std::vector<std::string> lines;
  std::istringstream calls(ReadTextFile("netscli_calls.log"));
  for (std::string line; std::getline(calls, line);)
    lines.push_back(line);
  return lines;
}
