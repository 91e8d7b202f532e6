#include "app/instance_check.h"

#include "base/ascii.h"

namespace {

// Where file names ignore letter case, so does every test of an executable's
// name: NXFLASH_X86.EXE is the same program as nxflash_x86.exe.
bool SameExecutableName(const std::string& name, const char* wanted) {
  return ProcessNamesIgnoreCase() ? EqualsIgnoringCase(name, wanted) : name == wanted;
}

bool NameContains(const std::string& name, const char* part) {
  return ProcessNamesIgnoreCase() ? ContainsIgnoringCase(name, part)
                                  : name.find(part) != std::string::npos;
}

}  // namespace

bool IsRivalProcessName(const std::string& baseName) {
  if (NameContains(baseName, "netscli -flashsupport"))
    return true;
  if (NameContains(baseName, "nxflash_x86.exe"))
    return true;
  // The command-text test on its own never matches a module name, so a stale-
  // looking lock would be cleared while the utility is flashing; the utility is
  // therefore also recognised by its executable name.
  return SameExecutableName(baseName, "netscli") || SameExecutableName(baseName, "netscli.exe");
}
