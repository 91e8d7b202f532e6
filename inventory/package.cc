#include "inventory/package.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "base/run_flags.h"
#include "inventory/run_record.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"

std::map<std::string, PackageEntry> PackageTable;
std::string FirmwareImageFile;

namespace {

// As "%4s" lays a text out: blanks in front of a shorter one, a longer one whole.
std::string RightAligned(const std::string& text) {
  return text.size() >= 4 ? text : std::string(4 - text.size(), ' ') + text;
}

// Reads one adapter kind into the table. Each kind starts from an empty entry, so
// a version it does not give is never another kind's.
void TakeAdapterKind(const XmlNode& kind) {
  PackageEntry working;
  working.name = AttributeText(kind, "name");
  working.venid = AttributeText(kind, "venid");
  working.devid = AttributeText(kind, "devid");
  working.subvenid = AttributeText(kind, "subvenid");
  working.subdevid = AttributeText(kind, "subdevid");
  working.rom = AttributeText(kind, "rom");
  working.fwFile = AttributeText(kind, "fwFile");
  if (!working.rom.empty())
    working.romVersion.Parse(working.rom.c_str());
  if (!working.fwFile.empty())
    FirmwareImageFile = working.fwFile;

  std::string key;
  if (!PackageKey(working.venid, working.devid, working.subvenid, working.subdevid, &key)) {
    TheUserInterface().Write(
        "Warning: adapter kind '%.64s' in %s skipped: its PCI IDs are too long for a package "
        "key.\n",
        working.name.c_str(), kPackageDescriptorName);
    return;
  }
  PackageTable[key] = working;
}

}  // namespace

bool IsElementNamed(const XmlNode& node, const char* name) {
  const char* own = node.GetName();
  return own != nullptr && std::strcmp(own, name) == 0;
}

std::string AttributeText(const XmlNode& node, const char* name) {
  const char* value = node.GetAttribute(name);
  return value == nullptr ? std::string(" ") : std::string(value);
}

bool PackageKey(const std::string& venid, const std::string& devid, const std::string& subvenid,
                const std::string& subdevid, std::string* key) {
  std::string built = RightAligned(venid) + "-" + RightAligned(devid) + "-" +
                      RightAligned(subvenid) + "-" + RightAligned(subdevid);
  if (built.size() >= kPathBufferSize)
    return false;
  *key = std::move(built);
  return true;
}

void LoadPackageDescriptor() {
  UserInterface& ui = TheUserInterface();
  XmlResult result;
  XmlNode root = XmlNode::ParseFile(kPackageDescriptorName, "nic_fw_package", &result);
  if (result.error != XmlError::NoError) {
    const int code = static_cast<int>(result.error);
    ui.Write("Loading configuration file %s failed. Error code: %d.\n", kPackageDescriptorName,
             code);
    // Whatever discovery makes of the ports afterwards, this is why the run fails.
    NoteStop(StopKind::kFailed,
             std::string("Loading configuration file ") + kPackageDescriptorName +
                 " failed. Error code: " + std::to_string(code) + ".",
             false);
    if (result.error == XmlError::FileNotFound) {
      ui.Write(
          "File Not found!- Please make sure %s and %s are present in the same directory where %s "
          "is located.\n",
          "netscli -flashsupport", "nxflash_x86.exe", "Quennet.exe");
    }
    return;
  }
  AttributeText(root, "version");  // the package's own version is not used

  for (int group = 0; group < root.ChildCount(); ++group) {
    const XmlNode kinds = root.GetChild(group);
    if (!IsElementNamed(kinds, "nic"))
      continue;
    for (int index = 0; index < kinds.ChildCount(); ++index) {
      const XmlNode kind = kinds.GetChild(index);
      if (IsElementNamed(kind, "nic"))
        TakeAdapterKind(kind);
    }
  }
}

bool LoadPackageAndFindImage() {
  LoadPackageDescriptor();
  if (FileExists(FirmwareImageFile.c_str()))
    return true;
  TheUserInterface().Write("Warning: Could not find firmware file %s!\n",
                           FirmwareImageFile.c_str());
  return false;
}

int FindPackageEntry(std::string key, PackageEntry& entry) {
  const auto found = PackageTable.find(key);
  if (found == PackageTable.end()) {
    TheUserInterface().Write(
        "NIC with PCI ID %s is not identified as a supported QLogic P3P NIC.\n", key.c_str());
    return 1;
  }
  entry = found->second;
  return 0;
}
