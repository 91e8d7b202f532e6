// IngestDiscoveryFile on the bytes after the first as "tempNicList.xml", against
// a package that serves three adapter kinds. Bit 0 of the first byte sets
// RUN_VERIFY_FILE, so that the version-only file is written from what was read;
// it must then read back as the document it is meant to be.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "base/run_flags.h"
#include "fuzz/product_fuzz_support.h"
#include "fuzz/xml_fuzz_support.h"
#include "inventory/discovery_file.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "xml/xml.h"

namespace {

constexpr const char kVersionFile[] = "versions.xml";

void ServeKind(const char* venid, const char* devid, const char* subvenid, const char* subdevid,
               const char* rom) {
  PackageEntry entry;
  entry.venid = venid;
  entry.devid = devid;
  entry.subvenid = subvenid;
  entry.subdevid = subdevid;
  entry.rom = rom;
  entry.fwFile = "p3p_rom.bin";
  entry.romVersion.Parse(rom);
  std::string key;
  FuzzCheck(PackageKey(venid, devid, subvenid, subdevid, &key), "the package's own key");
  PackageTable[key] = entry;
}

bool HasName(const XmlNode& node, const char* name) {
  return node.GetName() != nullptr && std::strcmp(node.GetName(), name) == 0;
}

void CheckInventory() {
  FuzzCheck(SupportedNicCount == NicList.Size(), "count and list disagree");
  std::set<std::string> locations;
  for (std::size_t i = 0; i < NicList.Size(); ++i) {
    const NicRecord& record = NicList.At(i);
    FuzzCheck((record.flags & NIC_SUPPORTED) != 0, "an unsupported record in the list");
    FuzzCheck(PackageTable.count(record.pciId) == 1, "a record the package does not serve");
    FuzzCheck(locations.insert(record.pciLocation).second, "a location served twice");
    FuzzCheck(!record.macAddress.empty() && !record.installedText.empty(),
              "a port served without its own MAC address or installed version");
  }
}

void CheckVersionFile() {
  XmlResult result;
  const XmlNode root = XmlNode::ParseFile(kVersionFile, "korvel_rom_discovery", &result);
  FuzzCheck(result.error == XmlError::NoError, "the version-only file does not read back");
  static const char* const kChildren[] = {"type", "alt_name", "current_version", "package_version",
                                          "takes_effect"};
  FuzzCheck(root.ChildCount() == 5, "the version-only file lost or gained elements");
  for (int i = 0; i < 5; ++i) {
    const XmlNode child = root.GetChild(i);
    FuzzCheck(HasName(child, kChildren[i]), "a version-only element out of place");
    FuzzCheck(child.GetAttribute("value") != nullptr, "a version-only element without value");
  }
  FuzzCheck(std::strcmp(root.GetChild(0).GetAttribute("value"), "QLOGIC_NIC") == 0,
            "the version-only file's type");
  std::remove(kVersionFile);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeProductFuzzing(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const InScratchDirectory scratch;
  ResetProductState();
  FirmwareImageFile = "p3p_rom.bin";  // the image the kinds name, as the descriptor's load sets it
  ServeKind("4040", "0100", "4040", "0124", "4.0.556");
  ServeKind("1077", "8020", "1077", "0203", "4.0.600");
  ServeKind("FFFFFFFF", "0000", "0000", "0000", "1.2");  // an ID of -1
  const bool verify = (data[0] & 1) != 0;
  if (verify) {
    RunFlags |= RUN_VERIFY_FILE;
    std::strcpy(ReportPathBuffer, kVersionFile);
  }
  WriteScratchFile("tempNicList.xml", data + 1, size - 1);
  const std::int32_t result = IngestDiscoveryFile("tempNicList.xml");
  FuzzCheck(result == 0 || result == 1, "a result other than 0 or 1");
  FuzzCheck(result == 1 || !NicList.Empty(), "success without a port");
  CheckInventory();
  const bool written = std::filesystem::exists(kVersionFile);
  FuzzCheck(!written || !NicList.Empty(), "a version-only file without a served port");
  if (verify && written)
    CheckVersionFile();
  return 0;
}
