#include "inventory/discovery_file.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "base/ascii.h"
#include "base/run_flags.h"
#include "files/named_file.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "platform/own_version.h"
#include "ui/user_interface.h"
#include "xml/xml.h"

namespace {

constexpr const char kDiscoveryRoot[] = "korvel_rom_discovery";
constexpr const char kExpectedType[] = "QLOGIC_NIC";

std::string Value(const XmlNode& node) {
  return AttributeText(node, "value");
}

// One device element as it is read: a fresh record and location, so that a datum
// the element leaves out is empty, never another entry's.
struct DeviceEntry {
  NicRecord record;
  PackageEntry package;
  std::string bus;
  std::string device;
  std::string function;
};

// The installed version of the last port the package serves and that port's
// package version: the version-only file pairs the two, never with another
// adapter's firmware.
struct ServedVersions {
  std::string installed;
  std::string package;
};

// What the reading keeps from one device element to the next.
struct WorkingState {
  std::string path;
  std::string takesEffect;
  unsigned devicesRead = 0;
  std::set<std::string> locationsSeen;
  std::optional<ServedVersions> lastServed;  // none until a port is served
};

struct IdField {
  const char* tag;
  const char* label;
  std::int32_t NicRecord::*field;
};

constexpr IdField kIdFields[] = {
    {"venid", "vendor ID", &NicRecord::vendorId},
    {"devid", "device ID", &NicRecord::deviceId},
    {"subvenid", "sub-vendor ID", &NicRecord::subVendorId},
    {"subdevid", "sub-device ID", &NicRecord::subDeviceId},
};

// An ID that cannot be read becomes 0 with a warning; the port then normally
// fails the package lookup. Memory exhaustion is not a reading error and passes.
void TakeId(const XmlNode& node, const IdField& id, NicRecord& record) {
  bool readable = true;
  try {
    record.*id.field = ParseWholeInteger(node.GetAttribute("value"), 16);
  } catch (const std::invalid_argument&) {
    readable = false;
  } catch (const std::underflow_error&) {
    readable = false;
  } catch (const std::overflow_error&) {
    readable = false;
  }
  if (!readable) {
    record.*id.field = 0;
    TheUserInterface().Write("Warning!!! - Invalid/Corrupted %s (XML tag: %s) value.\n", id.label,
                             id.tag);
  }
}

// Walks one fw_item; false when its type is not a ROM and the file is refused.
bool TakeFirmwareItem(const XmlNode& item, NicRecord& record) {
  for (int index = 0; index < item.ChildCount(); ++index) {
    const XmlNode child = item.GetChild(index);
    if (child.GetName() == nullptr)
      continue;
    const std::string_view name = child.GetName();
    if (name == "type") {
      const std::string type = Value(child);
      if (!EqualsIgnoringCase(type, "rom")) {
        TheUserInterface().Write(
            "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is "
            "%s\n",
            type.c_str());
        return false;
      }
    } else if (name == "firmware_id") {
      record.firmwareId = Value(child);
      if (!record.firmwareId.empty()) {
        record.installedVersion.Parse(record.firmwareId.c_str());
        record.installedText = record.firmwareId;
      }
    } else if (name == "version") {
      record.itemVersion = Value(child);
    } else if (name == "action") {
      record.action = TrimSpaces(Value(child));
    } else if (name == "shared") {
      record.shared = Value(child) != "NO";
    } else if (name == "duration") {
      record.duration = ReadLeadingDecimal(child.GetAttribute("value"));
    } else if (name == "message") {
      const char* message = child.GetAttribute("value");
      record.message = message == nullptr ? "" : message;
    }
  }
  return true;
}

// Takes one child of a device element into its entry; false when an fw_item
// refuses the file.
bool TakeDeviceChild(const XmlNode& child, DeviceEntry& entry) {
  if (child.GetName() == nullptr)
    return true;
  const std::string_view name = child.GetName();
  NicRecord& record = entry.record;
  for (const IdField& id : kIdFields) {
    if (name == id.tag) {
      TakeId(child, id, record);
      return true;
    }
  }
  if (name == "device_id") {
    record.interfaceName = TrimSpaces(Value(child));
  } else if (name == "macaddress") {
    record.macAddress = Value(child);
  } else if (name == "product_id") {
    record.productName = Value(child);
  } else if (name == "busnumber") {
    entry.bus = Value(child);
  } else if (name == "devicenumber") {
    entry.device = Value(child);
  } else if (name == "funcnumber") {
    entry.function = Value(child);
  } else if (name == "slotnumber") {
    Value(child);  // the slot is not needed to address the port
  } else if (name == "fw_item") {
    return TakeFirmwareItem(child, record);
  }
  return true;
}

std::string FormatPciId(const NicRecord& record) {
  char buffer[kPathBufferSize];
  std::snprintf(buffer, sizeof buffer, "%04X-%04X-%04X-%04X",
                static_cast<unsigned>(record.vendorId), static_cast<unsigned>(record.deviceId),
                static_cast<unsigned>(record.subVendorId),
                static_cast<unsigned>(record.subDeviceId));
  return buffer;
}

// A datum counts as given when its text holds more than blanks: an element
// without a value reads as one blank.
bool Given(const std::string& text) {
  return !TrimSpaces(text).empty();
}

// The tags of the data a port must give itself before it may be flashed.
std::string MissingTags(const DeviceEntry& entry) {
  const std::pair<const std::string*, const char*> needed[] = {
      {&entry.bus, "busnumber"},
      {&entry.device, "devicenumber"},
      {&entry.function, "funcnumber"},
      {&entry.record.macAddress, "macaddress"},
      {&entry.record.installedText, "firmware_id"},
  };
  std::string missing;
  for (const auto& [text, tag] : needed) {
    if (!Given(*text))
      missing += (missing.empty() ? "" : ", ") + std::string(tag);
  }
  return missing;
}

// A kind that names an image file of its own must be flashed with that image,
// and a run flashes one image only.
bool NamesAnotherImage(const PackageEntry& kind) {
  return Given(kind.fwFile) && kind.fwFile != FirmwareImageFile;
}

// Whether the port of a device just read may be handed on to be updated, with
// the reason in the log when it may not. Its location counts as seen whatever
// the answer, so that a later entry for it is never flashed in its place.
PortStanding JudgeDevice(DeviceEntry& entry, WorkingState& state) {
  NicRecord& record = entry.record;
  UserInterface& ui = TheUserInterface();
  const bool located = Given(entry.bus) && Given(entry.device) && Given(entry.function);
  const bool seenBefore = located && !state.locationsSeen.insert(record.pciLocation).second;
  if (FindPackageEntry(record.pciId, entry.package) != 0)
    return PortStanding::kNotInPackage;
  const std::string missing = MissingTags(entry);
  if (!missing.empty()) {
    ui.Write("Warning!!! - Device %u ('%s') in %s lacks %s; the port will not be updated.\n",
             state.devicesRead, record.interfaceName.c_str(), state.path.c_str(), missing.c_str());
    return PortStanding::kIncompleteEntry;
  }
  if (seenBefore) {
    ui.Write(
        "Warning!!! - Device %u ('%s') in %s lists location %s a second time; it is passed "
        "over.\n",
        state.devicesRead, record.interfaceName.c_str(), state.path.c_str(),
        record.pciLocation.c_str());
    return PortStanding::kDuplicateLocation;
  }
  if (NamesAnotherImage(entry.package)) {
    ui.Write(
        "Warning!!! - MAC %s (%s) needs its kind's image %s, but this run flashes %s; the "
        "port will not be updated.\n",
        record.macAddress.c_str(), record.pciLocation.c_str(), entry.package.fwFile.c_str(),
        FirmwareImageFile.c_str());
    return PortStanding::kOtherKindsImage;
  }
  return PortStanding::kServed;
}

// Judges one read device, lists it, and appends it when the package serves it;
// true when it was appended.
bool AdmitDevice(DeviceEntry& entry, WorkingState& state) {
  NicRecord& record = entry.record;
  record.pciLocation = entry.bus + ":" + entry.device + "." + entry.function;
  record.pciId = FormatPciId(record);
  const PortStanding standing = JudgeDevice(entry, state);
  if (standing != PortStanding::kNotInPackage)
    record.availableVersion = entry.package.romVersion;
  if (standing == PortStanding::kServed) {
    record.flags |= NIC_SUPPORTED;
    ++SupportedNicCount;
    NicList.Append(record);
    state.lastServed = ServedVersions{record.installedText, entry.package.rom};
  }
  NotePort(record, standing);
  return standing == PortStanding::kServed;
}

XmlNode ValueElement(const char* name, const std::string& value) {
  XmlNode element = XmlNode::CreateRoot(name, false);
  element.AddAttribute("value", value.c_str());
  return element;
}

void WriteVersionOnlyFile(const ServedVersions& served, const std::string& takesEffect) {
  char version[64] = {};
  GetOwnFileVersion(version, sizeof version);
  XmlNode root = XmlNode::CreateRoot(kDiscoveryRoot, false);
  root.AddAttribute("version", version);
  root.AddChild(ValueElement("type", kExpectedType));
  root.AddChild(ValueElement("alt_name", kTitle));
  root.AddChild(ValueElement("current_version", served.installed));
  root.AddChild(ValueElement("package_version", served.package));
  root.AddChild(ValueElement("takes_effect", takesEffect));
  // Whether the file came into being is judged later by looking for it. Only
  // nothing or a regular file is replaced: a device named as the path (a disk,
  // say) is never written to.
  if (StandingOfNamedFile(ReportPathBuffer) != NamedFileStanding::kSomethingElse)
    root.WriteToFile(ReportPathBuffer, nullptr, true);
  char* text = root.CreateString(true);
  TheUserInterface().Write("Created an XML file with only FW version information!\n%s\n",
                           text != nullptr ? text : "");
  std::free(text);
}

}  // namespace

std::string TrimSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return std::string();
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::int32_t ParseWholeInteger(const char* text, int base) {
  if (text == nullptr || *text == '\0')
    throw std::invalid_argument(text == nullptr ? "" : text);
  // long is 32-bit on Windows and 64-bit on Linux: read wide and saturate at the
  // 32-bit limits, so both builds see what the Windows runtime's strtol gives.
  char* end = nullptr;
  const long long wide = std::strtoll(text, &end, base);
  if (*end != '\0')
    throw std::invalid_argument(text);
  if (wide <= INT32_MIN)
    throw std::underflow_error(text);
  if (wide >= INT32_MAX)
    throw std::overflow_error(text);
  return static_cast<std::int32_t>(wide);
}

std::int32_t IngestDiscoveryFile(std::string path) {
  if (DiscoveryDone)
    return 0;
  UserInterface& ui = TheUserInterface();
  std::int32_t result = 1;
  WorkingState state;
  state.path = path;

  XmlResult parsed;
  const XmlNode root = XmlNode::ParseFile(path.c_str(), kDiscoveryRoot, &parsed);
  if (parsed.error != XmlError::NoError) {
    ui.Write("Loading configuration file %s failed. Error code: %d.\n", path.c_str(),
             static_cast<int>(parsed.error));
    return 1;
  }
  AttributeText(root, "version");  // the utility's format version is not used

  for (int index = 0; index < root.ChildCount(); ++index) {
    const XmlNode child = root.GetChild(index);
    if (IsElementNamed(child, "type")) {
      const std::string type = Value(child);
      if (type == "NETXEN_NIC") {
        ui.Write("This Tallet tool can only be used to update P3P-series QLogic NICs.\n");
        return 1;
      }
      if (type != kExpectedType) {
        ui.Write("Unexpected value '%s' in file %s. Expected '%s'.\n", type.c_str(), path.c_str(),
                 kExpectedType);
        return 1;
      }
    } else if (IsElementNamed(child, "version")) {
      Value(child);  // the utility's own version is not used
    } else if (IsElementNamed(child, "takes_effect")) {
      state.takesEffect = Value(child);
    } else if (IsElementNamed(child, "devices")) {
      for (int d = 0; d < child.ChildCount(); ++d) {
        const XmlNode device = child.GetChild(d);
        if (!IsElementNamed(device, "device"))
          continue;
        ++state.devicesRead;
        DeviceEntry entry;
        for (int c = 0; c < device.ChildCount(); ++c) {
          if (!TakeDeviceChild(device.GetChild(c), entry))
            return result;
        }
        if (AdmitDevice(entry, state))
          result = 0;
      }
    }
  }

  NoteDiscoveryRead(state.takesEffect);
  // Without a served port there is no version to report: a file would pair an
  // unserved adapter's firmware with no package version at all.
  if ((RunFlags & RUN_VERIFY_FILE) != 0 && state.lastServed.has_value())
    WriteVersionOnlyFile(*state.lastServed, state.takesEffect);
  return result;
}
