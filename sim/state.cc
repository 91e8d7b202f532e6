#include "sim/state.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <system_error>

#include "base/ascii.h"
#include "files/named_file.h"
#include "xml/xml.h"
#include "xml/xml_node.h"

namespace {

constexpr const char kStateRoot[] = "netscli_state";
constexpr const char kDefaultStateName[] = "netscli_state.xml";
constexpr const char kCallLogName[] = "netscli_calls.log";
constexpr const char kTemporarySuffix[] = ".netscli-tmp";

// The attributes of each element, in the order they are written back. The XML
// library finds attributes by name only, so these lists are also what is read.
constexpr const char* kDiscoveryAttributes[] = {"exit",    "output",       "raw_file", "type",
                                                "version", "takes_effect", "delay_ms"};
constexpr const char* kReportAttributes[] = {"exit", "output", "delay_ms"};
constexpr const char* kCommandAttributes[] = {"exit"};
constexpr const char* kFlashAttributes[] = {"exit", "delay_ms", "hold_lock"};
constexpr const char* kImageAttributes[] = {"file", "version", "pci_ids"};
constexpr const char* kPortAttributes[] = {"device_id",    "venid",      "devid",      "subvenid",
                                           "subdevid",     "macaddress", "product_id", "busnumber",
                                           "devicenumber", "funcnumber", "slotnumber", "fw_type",
                                           "firmware_id",  "fw_version", "action",     "shared",
                                           "duration",     "message",    "flash_exit"};

using Names = std::span<const char* const>;

struct Bounds {
  const char* name;
  long long low;
  long long high;
};
// Exit codes stay within what both platforms pass on unchanged.
constexpr Bounds kIntegerAttributes[] = {
    {"exit", 0, 255}, {"flash_exit", 0, 255}, {"delay_ms", 0, 3600000}};

bool ParseInteger(const std::string& text, long long* value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value);
  return !text.empty() && error == std::errc() && stop == end;
}

Attributes ReadAttributes(const XmlNode& node, Names names) {
  Attributes attributes;
  for (const char* name : names) {
    if (const char* value = node.GetAttribute(name))
      attributes[name] = value;
  }
  return attributes;
}

// A misspelt attribute would silently leave a scripted fault out and let a test
// pass for the wrong reason, so every attribute must be one the element knows.
bool CheckAttributeNames(const XmlNode& node, const char* element, Names names,
                         std::string* error) {
  const XmlNodeRecord* record = node.record();
  for (int i = 0; i < record->attributeCount; ++i) {
    const std::string_view name = record->attributes[i].name;
    const auto known = [&](const char* candidate) { return EqualsIgnoringCase(name, candidate); };
    if (std::none_of(names.begin(), names.end(), known)) {
      *error = std::string(element) + " has an unknown attribute " + std::string(name);
      return false;
    }
  }
  return true;
}

bool CheckValues(const char* element, const Attributes& attributes, std::string* error) {
  for (const Bounds& bounds : kIntegerAttributes) {
    auto found = attributes.find(bounds.name);
    if (found == attributes.end())
      continue;
    long long value = 0;
    if (!ParseInteger(found->second, &value) || value < bounds.low || value > bounds.high) {
      *error = std::string(element) + " " + bounds.name + "=\"" + found->second +
               "\" is not a whole number from " + std::to_string(bounds.low) + " to " +
               std::to_string(bounds.high);
      return false;
    }
  }
  auto output = attributes.find("output");
  if (output != attributes.end()) {
    // Only a discovery file is read back by Zentavor, so only it can be corrupt.
    const bool discovery = std::string(element) == "discovery";
    const std::string& mode = output->second;
    if (mode != "normal" && mode != "none" && !(discovery && mode == "corrupt")) {
      *error = std::string(element) + " output=\"" + mode + "\" is not " +
               (discovery ? "normal, none or corrupt" : "normal or none");
      return false;
    }
  }
  auto lock = attributes.find("hold_lock");
  if (lock != attributes.end() && lock->second != "yes" && lock->second != "no") {
    *error = "flash hold_lock=\"" + lock->second + "\" is not yes or no";
    return false;
  }
  return true;
}

// Where each element of the state goes, and which attributes it has.
struct ElementKind {
  const char* name;
  Names attributes;
  Attributes SimState::*single;             // at most one such element
  std::vector<Attributes> SimState::*many;  // any number
};
constexpr ElementKind kElementKinds[] = {
    {"discovery", kDiscoveryAttributes, &SimState::discovery, nullptr},
    {"report", kReportAttributes, &SimState::report, nullptr},
    {"replay", kCommandAttributes, &SimState::replay, nullptr},
    {"flash", kFlashAttributes, &SimState::flash, nullptr},
    {"image", kImageAttributes, nullptr, &SimState::images},
    {"port", kPortAttributes, nullptr, &SimState::ports},
};

bool ReadElement(const XmlNode& node, SimState* state, std::string* error) {
  const std::string name = node.GetName() ? node.GetName() : "";
  for (const ElementKind& kind : kElementKinds) {
    if (name != kind.name)
      continue;
    if (!CheckAttributeNames(node, kind.name, kind.attributes, error))
      return false;
    Attributes attributes = ReadAttributes(node, kind.attributes);
    if (!CheckValues(kind.name, attributes, error))
      return false;
    if (kind.single) {
      state->*kind.single = std::move(attributes);
    } else {
      (state->*kind.many).push_back(std::move(attributes));
    }
    return true;
  }
  *error = "unknown element <" + name + ">";
  return false;
}

void AddElement(XmlNode& root, const char* name, const Attributes& attributes, Names order) {
  XmlNode element = XmlNode::CreateRoot(name, false);
  for (const char* attribute : order) {
    auto found = attributes.find(attribute);
    if (found != attributes.end())
      element.AddAttribute(attribute, found->second.c_str());
  }
  root.AddChild(element);
}

bool ReplaceWith(const std::string& temporary, const std::string& path) {
  std::error_code error;
  std::filesystem::rename(PathOfUtf8(temporary), PathOfUtf8(path), error);
  if (error)
    std::filesystem::remove(PathOfUtf8(temporary), error);
  return !error;
}

unsigned long long LeadingNumber(const std::string& part) {
  unsigned long long value = 0;
  std::from_chars(part.data(), part.data() + part.size(), value);
  return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    auto stop = text.find(separator, start);
    parts.push_back(text.substr(start, stop - start));
    if (stop == std::string::npos)
      return parts;
    start = stop + 1;
  }
}

}  // namespace

std::string StatePath() {
  const char* configured = std::getenv("NETSCLI_STATE");
  return configured && *configured ? configured : kDefaultStateName;
}

std::string CallLogPath(const std::string& statePath) {
  return Utf8OfPath(PathOfUtf8(statePath).parent_path() / kCallLogName);
}

bool LoadState(const std::string& path, SimState* state, std::string* error) {
  XmlResult result;
  XmlNode root = XmlNode::ParseFile(path.c_str(), kStateRoot, &result);
  if (result.error == XmlError::FileNotFound) {
    *error = "no state file " + path;
    return false;
  }
  if (result.error != XmlError::NoError) {
    *error = "state file " + path + " is not readable: XML error " +
             std::to_string(static_cast<int>(result.error)) + " at line " +
             std::to_string(result.line) + ", column " + std::to_string(result.column);
    return false;
  }
  *state = SimState();
  for (int i = 0; i < root.ChildCount(); ++i) {
    if (!ReadElement(root.GetChild(i), state, error)) {
      *error = "state file " + path + ": " + *error;
      return false;
    }
  }
  return true;
}

bool SaveState(const std::string& path, const SimState& state) {
  XmlNode root = XmlNode::CreateRoot(kStateRoot, false);
  for (const ElementKind& kind : kElementKinds) {
    if (kind.single) {
      // An element without attributes says nothing; leave it out.
      if (!(state.*kind.single).empty()) {
        AddElement(root, kind.name, state.*kind.single, kind.attributes);
      }
      continue;
    }
    for (const Attributes& element : state.*kind.many) {
      AddElement(root, kind.name, element, kind.attributes);
    }
  }
  return WriteXmlAtomically(path, root);
}

bool WriteXmlAtomically(const std::string& path, const XmlNode& root) {
  const std::string temporary = path + kTemporarySuffix;
  if (root.WriteToFile(temporary.c_str(), nullptr, true) != XmlError::NoError) {
    std::error_code ignored;
    std::filesystem::remove(PathOfUtf8(temporary), ignored);
    return false;
  }
  return ReplaceWith(temporary, path);
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + kTemporarySuffix;
  std::FILE* file = OpenNamedFile(temporary.c_str(), "wb");
  if (!file)
    return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fclose(file) == 0 && written;
  if (!written) {
    RemoveNamedFile(temporary.c_str());
    return false;
  }
  return ReplaceWith(temporary, path);
}

std::string Value(const Attributes& element, const char* name, const char* fallback) {
  auto found = element.find(name);
  return found == element.end() ? fallback : found->second;
}

int IntValue(const Attributes& element, const char* name, int fallback) {
  long long value = fallback;
  auto found = element.find(name);
  if (found != element.end())
    ParseInteger(found->second, &value);
  return static_cast<int>(value);
}

std::string PortLocation(const Attributes& port) {
  return Value(port, "busnumber") + ":" + Value(port, "devicenumber") + "." +
         Value(port, "funcnumber");
}

std::string PortPciKey(const Attributes& port) {
  return NormalisePciKey(Value(port, "venid") + "-" + Value(port, "devid") + "-" +
                         Value(port, "subvenid") + "-" + Value(port, "subdevid"));
}

std::string NormalisePciKey(const std::string& key) {
  std::string normalised;
  for (const std::string& part : Split(key, '-')) {
    if (!normalised.empty())
      normalised += '-';
    char* end = nullptr;
    unsigned long value = std::strtoul(part.c_str(), &end, 16);
    if (!part.empty() && *end == '\0') {
      char digits[24];
      std::snprintf(digits, sizeof digits, "%04lX", value);
      normalised += digits;
    } else {
      for (char c : part)
        normalised += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return normalised;
}

bool SameImageFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty())
    return false;
  std::error_code error;
  const std::filesystem::path left =
      std::filesystem::absolute(PathOfUtf8(a), error).lexically_normal();
  if (error)
    return false;
  const std::filesystem::path right =
      std::filesystem::absolute(PathOfUtf8(b), error).lexically_normal();
  return !error && left == right;
}

const Attributes* FindImage(const SimState& state, const std::string& file) {
  for (const Attributes& image : state.images) {
    if (SameImageFile(Value(image, "file"), file))
      return &image;
  }
  return nullptr;
}

bool ImageFitsPort(const Attributes& image, const Attributes& port) {
  const std::string portKey = PortPciKey(port);
  bool listsAny = false;
  for (const std::string& key : Split(Value(image, "pci_ids"), ' ')) {
    if (key.empty())
      continue;
    listsAny = true;
    if (NormalisePciKey(key) == portKey)
      return true;
  }
  return !listsAny;
}

int CompareVersions(const std::string& a, const std::string& b) {
  const std::vector<std::string> left = Split(a, '.');
  const std::vector<std::string> right = Split(b, '.');
  for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    const unsigned long long l = i < left.size() ? LeadingNumber(left[i]) : 0;
    const unsigned long long r = i < right.size() ? LeadingNumber(right[i]) : 0;
    if (l != r)
      return l < r ? -1 : 1;
  }
  return 0;
}
