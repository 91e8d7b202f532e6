/// The command lines of the vendor utility `netscli`. Every value inserted is
/// passed through QuoteArgument, so a path with blanks reaches the utility as
/// one argument while ordinary values stay byte for byte as they are.
#pragma once

#include <string>

// The discovery file that the utility writes into the current directory.
inline constexpr const char kDiscoveryFileName[] = "tempNicList.xml";
// Every command line starts with this text.
inline constexpr const char kVendorCommand[] = "netscli -flashsupport";

// "netscli -flashsupport -d <image> tempNicList.xml -p3"
std::string DiscoveryCommand(const std::string& image);
// "netscli -flashsupport -d <image> <report> -p3"
std::string DiscoveryReportCommand(const std::string& image, const std::string& report);
// "netscli -flashsupport -u <image> <report> tempNicList.xml -p3"
std::string ReplayCommand(const std::string& image, const std::string& report);
// "netscli -flashsupport -i <pciLocation> -a <image>"
std::string FlashCommand(const std::string& pciLocation, const std::string& image);
