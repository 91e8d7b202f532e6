#include "app/instance_check.h"

#include "base/ascii.h"

namespace {

bool SameExecutableName(const std::string& name, const char* wanted) {
  return ProcessNamesIgnoreCase() ? EqualsIgnoringCase(name, wanted) : name == wanted;
}

}  // namespace

bool IsRivalProcessName(const std::string& baseName) {
  // The command-text test on its own never matches a module name, so a stale-
  // looking lock would be cleared while the utility is flashing; the utility is
  // therefore also recognised by its executable name.
  if (baseName.find("netscli -flashsupport") != std::string::npos)
    return true;
  if (baseName.find("nxflash_x86.exe") != std::string::npos)
    return true;
  return SameExecutableName(baseName, "netscli") || SameExecutableName(baseName, "netscli.exe");
}
