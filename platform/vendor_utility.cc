#include "platform/vendor_utility.h"

#include "platform/process.h"

std::string DiscoveryCommand(const std::string& image) {
  return std::string(kVendorCommand) + " -d " + QuoteArgument(image) + " " + kDiscoveryFileName +
         " -p3";
}

std::string DiscoveryReportCommand(const std::string& image, const std::string& report) {
  return std::string(kVendorCommand) + " -d " + QuoteArgument(image) + " " + QuoteArgument(report) +
         " -p3";
}

std::string ReplayCommand(const std::string& image, const std::string& report) {
  return std::string(kVendorCommand) + " -u " + QuoteArgument(image) + " " + QuoteArgument(report) +
         " " + kDiscoveryFileName + " -p3";
}

std::string FlashCommand(const std::string& pciLocation, const std::string& image) {
  return std::string(kVendorCommand) + " -i " + QuoteArgument(pciLocation) + " -a " +
         QuoteArgument(image);
}
