/// The firmware package descriptor "NICFWData.xml": which adapter kinds (by
/// their four PCI IDs) the package serves, the ROM version of the image for
/// each, and the image file's name.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "inventory/firmware_version.h"
#include "xml/xml.h"

inline constexpr const char kPackageDescriptorName[] = "NICFWData.xml";

struct PackageEntry {
  std::string name;
  std::string venid;
  std::string devid;
  std::string subvenid;
  std::string subdevid;
  std::string rom;
  std::string fwFile;
  FirmwareVersion romVersion;
};

// Keyed by "%04s-%04s-%04s-%04s" of the four ID texts, ordered byte-wise.
extern std::map<std::string, PackageEntry> PackageTable;
// Name of the firmware image file; empty until a descriptor names one.
extern std::string FirmwareImageFile;
// The SHA-256 digests (attribute sha256, as written) that the kinds of the
// descriptor last read promise for each image file, in file order; an image
// no kind promises a digest for is absent. A kind's image is the one the run
// takes after reading it: its own fwFile, or the one before when it names none.
extern std::map<std::string, std::vector<std::string>> PromisedImageDigests;

// Element names in the descriptor and the discovery file match exactly.
bool IsElementNamed(const XmlNode& node, const char* name);

// Text of an attribute; an absent attribute reads as one blank, a present but
// empty one as the empty text.
std::string AttributeText(const XmlNode& node, const char* name);

// The table key of four ID texts; false when it would not fit 259 characters.
bool PackageKey(const std::string& venid, const std::string& devid, const std::string& subvenid,
                const std::string& subdevid, std::string* key);

// Reads "NICFWData.xml" from the current directory into PackageTable and
// FirmwareImageFile, writing its own failure messages to the log.
void LoadPackageDescriptor();

// LoadPackageDescriptor, then whether the image file it names is at hand; when it
// is not, the log says so.
bool LoadPackageAndFindImage();

// 0 and entry filled when the key is in the table; 1 (and the not-supported
// message in the log) when it is not.
int FindPackageEntry(std::string key, PackageEntry& entry);
