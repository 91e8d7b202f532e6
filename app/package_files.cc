#include "app/package_files.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/ascii.h"
#include "inventory/package.h"
#include "platform/file_system.h"
#include "platform/vendor_utility.h"
#include "xml/xml.h"

namespace {

namespace fs = std::filesystem;

// The image file the descriptor names (the last kind that names one wins, as
// when the package is loaded); empty when there is none or it cannot be read.
// Nothing is logged: this may run before the log is open.
std::string ImageNamedByDescriptor() {
  XmlResult result;
  const XmlNode root = XmlNode::ParseFile(kPackageDescriptorName, "nic_fw_package", &result);
  std::string image;
  if (result.error != XmlError::NoError)
    return image;
  for (int group = 0; group < root.ChildCount(); ++group) {
    const XmlNode kinds = root.GetChild(group);
    for (int index = 0; IsElementNamed(kinds, "nic") && index < kinds.ChildCount(); ++index) {
      const XmlNode kind = kinds.GetChild(index);
      const char* file = kind.GetAttribute("fwFile");
      if (IsElementNamed(kind, "nic") && file != nullptr && *file != '\0')
        image = file;
    }
  }
  return image;
}

std::string Normal(const fs::path& path) {
  std::error_code error;
  fs::path full = fs::weakly_canonical(fs::absolute(path, error), error);
  return (error ? fs::absolute(path, error) : full).lexically_normal().string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::equivalent(a, b, error))
    return true;
  const std::string left = Normal(a);
  const std::string right = Normal(b);
  // Windows file names ignore letter case; POSIX ones do not.
  return PathSeparator() == '\\' ? EqualsIgnoringCase(left, right) : left == right;
}

}  // namespace

bool NamesPackageFile(const char* path) {
  if (path == nullptr || *path == '\0')
    return false;
  std::vector<std::string> own = {kPackageDescriptorName, kDiscoveryFileName};
  if (const std::string image = ImageNamedByDescriptor(); !image.empty())
    own.push_back(image);
  for (const std::string& file : own) {
    if (SameFile(path, file))
      return true;
  }
  return false;
}
