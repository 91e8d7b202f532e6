#include "inventory/port_filter.h"

#include <cctype>

#include "base/ascii.h"
#include "inventory/run_record.h"
#include "ui/user_interface.h"

namespace {

std::vector<std::string> Values;

// A MAC address as twelve lower-case hexadecimal digits, or empty when the text
// is not one (after dropping the separators ':', '-' and '.').
std::string MacDigits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == ':' || c == '-' || c == '.')
      continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return std::string();
    digits += LowerAscii(c);
  }
  return digits.size() == 12 ? digits : std::string();
}

bool Names(const std::string& value, const NicRecord& nic) {
  if (!nic.pciLocation.empty() && EqualsIgnoringCase(value, nic.pciLocation))
    return true;
  const std::string mac = MacDigits(value);
  return !mac.empty() && mac == MacDigits(nic.macAddress);
}

}  // namespace

void AddPortFilterValue(const std::string& value) {
  Values.push_back(value);
}

bool PortFilterActive() {
  return !Values.empty();
}

bool PortIsChosen(const NicRecord& nic) {
  if (Values.empty())
    return true;
  for (const std::string& value : Values) {
    if (Names(value, nic))
      return true;
  }
  return false;
}

std::vector<std::string> CheckPortFilterValues() {
  std::vector<std::string> unmatched;
  for (const std::string& value : Values) {
    bool matched = false;
    for (std::size_t index = 0; index < NicList.Size() && !matched; ++index)
      matched = (NicList.At(index).flags & NIC_SUPPORTED) != 0 && Names(value, NicList.At(index));
    if (matched)
      continue;
    unmatched.push_back(value);
    const std::string line =
        "Error: -port " + value + " names no port that discovery found and the package serves.\n";
    TheUserInterface().Write("%s", line.c_str());
    NoteStop(StopKind::kFailed, line, false);
  }
  return unmatched;
}

void ResetPortFilterForTesting() {
  Values.clear();
}
