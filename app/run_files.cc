#include "app/run_files.h"

#include "app/startup.h"
#include "files/same_file.h"
#include "inventory/package.h"
#include "platform/file_system.h"
#include "platform/vendor_utility.h"
#include "xml/xml.h"

namespace {

// The image files the descriptor's adapter kinds name, every one of them: a
// run flashes one, but none may be overwritten. Nothing is logged: this may
// run before the log is open.
std::vector<std::string> ImagesNamedByDescriptor() {
  std::vector<std::string> images;
  XmlResult result;
  const XmlNode root = XmlNode::ParseFile(kPackageDescriptorName, "nic_fw_package", &result);
  if (result.error != XmlError::NoError)
    return images;
  for (int group = 0; group < root.ChildCount(); ++group) {
    const XmlNode kinds = root.GetChild(group);
    for (int index = 0; IsElementNamed(kinds, "nic") && index < kinds.ChildCount(); ++index) {
      const XmlNode kind = kinds.GetChild(index);
      const char* file = kind.GetAttribute("fwFile");
      if (IsElementNamed(kind, "nic") && file != nullptr && *file != '\0')
        images.push_back(file);
    }
  }
  return images;
}

}  // namespace

std::vector<std::string> FilesOfTheRun() {
  std::vector<std::string> files = {kPackageDescriptorName, kDiscoveryFileName,
                                    LogFileOfThisMachine()};
  for (std::string& image : ImagesNamedByDescriptor())
    files.push_back(std::move(image));
  if (const std::string lock = InstanceLockFile(); !lock.empty())
    files.push_back(lock);
  if (std::string temp; TempDirectory(&temp))
    files.push_back(temp + PathSeparator() + kLockFileName);
  return files;
}

bool OptionPathsAreSafe(const std::vector<std::string>& paths) {
  if (paths.empty())
    return true;  // nothing to compare, and no descriptor to read for it
  const std::vector<std::string> own = FilesOfTheRun();
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].empty())
      return false;
    for (const std::string& file : own) {
      if (SameFile(paths[i], file))
        return false;
    }
    for (std::size_t j = i + 1; j < paths.size(); ++j) {
      if (SameFile(paths[i], paths[j]))
        return false;
    }
  }
  return true;
}
