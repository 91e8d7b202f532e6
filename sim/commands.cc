#include "sim/commands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/vendor_utility.h"
#include "files/named_file.h"

namespace {

constexpr const char kLockFileName[] = "netxen_lock_file";
constexpr const char kReportRoot[] = "netscli_report";

// Children of a device element, in the order the discovery file lists them;
// each comes from the port attribute of the same name.
constexpr const char* kDeviceTags[] = {"device_id",    "venid",      "devid",      "subvenid",
                                       "subdevid",     "macaddress", "product_id", "busnumber",
                                       "devicenumber", "funcnumber", "slotnumber"};
// Children of fw_item after its type and firmware_id, from the port attribute
// on the right (the item's version is filled separately).
constexpr std::pair<const char*, const char*> kFirmwareItemTags[] = {
    {"action", "action"}, {"shared", "shared"}, {"duration", "duration"}, {"message", "message"}};

void Complain(const std::string& text) {
  std::fprintf(stderr, "netscli: %s\n", text.c_str());
}

XmlNode AddElement(XmlNode& parent, const char* name) {
  return parent.AddChild(XmlNode::CreateRoot(name, false));
}

void AddValue(XmlNode& parent, const char* name, const std::string& value) {
  AddElement(parent, name).AddAttribute("value", value.c_str());
}

void AddValueIfPresent(XmlNode& parent, const char* name, const Attributes& port,
                       const char* attribute) {
  auto found = port.find(attribute);
  if (found != port.end())
    AddValue(parent, name, found->second);
}

void AddDevice(XmlNode& devices, const Attributes& port, const Attributes* image) {
  XmlNode device = AddElement(devices, "device");
  for (const char* tag : kDeviceTags)
    AddValueIfPresent(device, tag, port, tag);
  XmlNode item = AddElement(device, "fw_item");
  AddValue(item, "type", Value(port, "fw_type", "rom"));
  AddValueIfPresent(item, "firmware_id", port, "firmware_id");
  if (port.count("fw_version")) {
    AddValue(item, "version", Value(port, "fw_version"));
  } else if (image) {
    AddValue(item, "version", Value(*image, "version"));
  }
  for (const auto& [tag, attribute] : kFirmwareItemTags) {
    AddValueIfPresent(item, tag, port, attribute);
  }
}

// Why a report would, or would not, flash a port with the image.
const char* ReportReason(const Attributes& port, const Attributes& image) {
  if (!ImageFitsPort(image, port))
    return "unfit";
  if (Value(port, "action") == "skip")
    return "skip";
  const int order = CompareVersions(Value(port, "firmware_id"), Value(image, "version"));
  return order < 0 ? "older" : order == 0 ? "current" : "newer";
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(PathOfUtf8(path), error);
}

// The image named on a command line must be on disk and known to the state.
int FindUsableImage(const SimState& state, const std::string& file, const Attributes** image) {
  if (!IsRegularFile(file)) {
    Complain("image file " + file + " not found");
    return kExitNoImageFile;
  }
  *image = FindImage(state, file);
  if (!*image) {
    Complain("the state describes no image " + file);
    return kExitUnknownImage;
  }
  return 0;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  if (!IsRegularFile(path))
    return false;
  std::ifstream in(PathOfUtf8(path), std::ios::binary);
  if (!in)
    return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Holds the vendor lock file while a flash runs, as the vendor's tools do;
// a lock that was there before is left as it was.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path) {
    if (path.empty() || FileExists(path.c_str()))
      return;
    std::FILE* file = OpenNamedFile(path.c_str(), "wb");
    failed_ = file == nullptr || std::fclose(file) != 0;
    if (!failed_)
      path_ = path;
  }
  ~HeldLock() {
    if (!path_.empty())
      RemoveNamedFile(path_.c_str());
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  bool Failed() const { return failed_; }

 private:
  std::string path_;  // set when this lock created the file
  bool failed_ = false;
};

// One port's flash: the lock and the delay the state scripts, then the port's
// scripted outcome; success installs the image's version and saves the state.
int FlashPort(const SimContext& context, SimState* state, const std::string& location,
              const Attributes& image) {
  Attributes* port = nullptr;
  for (Attributes& candidate : state->ports) {
    if (PortLocation(candidate) == location) {
      port = &candidate;
      break;
    }
  }
  if (!port) {
    Complain("no port at " + location);
    return kExitNoPort;
  }
  if (!ImageFitsPort(image, *port)) {
    Complain("the image does not fit the port at " + location);
    return kExitUnfitImage;
  }
  HeldLock lock(Value(state->flash, "hold_lock") == "yes" ? context.lockPath : "");
  if (lock.Failed()) {
    Complain("cannot create the lock file " + context.lockPath);
    return kExitCannotWrite;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(IntValue(state->flash, "delay_ms")));
  if (int scripted = IntValue(*port, "flash_exit"))
    return scripted;
  const std::string before = Value(*port, "firmware_id");
  (*port)["firmware_id"] = Value(image, "version");
  if (!SaveState(context.statePath, *state)) {
    (*port)["firmware_id"] = before;
    Complain("cannot write the state file " + context.statePath);
    return kExitCannotWrite;
  }
  return 0;
}

int Discover(const SimCommand& command, const SimContext& context, const SimState& state) {
  std::this_thread::sleep_for(std::chrono::milliseconds(IntValue(state.discovery, "delay_ms")));
  bool written = true;
  if (state.discovery.count("raw_file")) {
    const auto raw = PathOfUtf8(context.statePath).parent_path() /
                     PathOfUtf8(Value(state.discovery, "raw_file"));
    std::string bytes;
    if (!ReadWholeFile(Utf8OfPath(raw), &bytes)) {
      Complain("cannot read the raw discovery file " + Utf8OfPath(raw));
      return kExitBadState;
    }
    written = WriteFileAtomically(command.file, bytes);
  } else {
    const std::string output = Value(state.discovery, "output", "normal");
    if (output == "none")
      return 0;
    XmlNode document = DiscoveryDocument(state, command.image);
    if (output == "corrupt") {
      // A utility that died while writing: the first half of the document.
      char* text = document.CreateString(true);
      const std::string whole = text ? text : "";
      std::free(text);
      written = WriteFileAtomically(command.file, whole.substr(0, whole.size() / 2));
    } else {
      written = WriteXmlAtomically(command.file, document);
    }
  }
  if (!written) {
    Complain("cannot write " + command.file);
    return kExitCannotWrite;
  }
  return 0;
}

int WriteReport(const SimCommand& command, const SimState& state) {
  const Attributes* image = nullptr;
  if (int failed = FindUsableImage(state, command.image, &image))
    return failed;
  std::this_thread::sleep_for(std::chrono::milliseconds(IntValue(state.report, "delay_ms")));
  if (Value(state.report, "output", "normal") == "none")
    return 0;
  if (!WriteXmlAtomically(command.file, ReportDocument(state, command.image, *image))) {
    Complain("cannot write " + command.file);
    return kExitCannotWrite;
  }
  return 0;
}

int Replay(const SimCommand& command, const SimContext& context, SimState* state) {
  const Attributes* found = nullptr;
  if (int failed = FindUsableImage(*state, command.image, &found))
    return failed;
  const Attributes image = *found;  // flashing rewrites the state that holds it
  XmlResult result;
  XmlNode report = XmlNode::ParseFile(command.file.c_str(), kReportRoot, &result);
  if (result.error != XmlError::NoError) {
    Complain("cannot read the report " + command.file + " (XML error " +
             std::to_string(static_cast<int>(result.error)) + ")");
    return kExitBadReport;
  }
  // The report judged each port against its own image; flashing another one
  // would apply those judgements to an image they were never made for.
  const char* reportImage = report.GetAttribute("image");
  if (reportImage == nullptr || !SameImageFile(reportImage, command.image)) {
    Complain("the report " + command.file + " was written for the image " +
             (reportImage ? reportImage : "(none)") + ", not " + command.image);
    return kExitReportForOtherImage;
  }
  int firstFailure = 0;
  for (int i = 0; i < report.ChildCount(); ++i) {
    const XmlNode port = report.GetChild(i);
    const char* action = port.GetAttribute("action");
    const char* location = port.GetAttribute("location");
    if (std::string(port.GetName() ? port.GetName() : "") != "port" || !action ||
        std::string(action) != "flash" || !location) {
      continue;
    }
    const int code = FlashPort(context, state, location, image);
    if (code != 0 && firstFailure == 0)
      firstFailure = code;
  }
  return firstFailure;
}

int Flash(const SimCommand& command, const SimContext& context, SimState* state) {
  const Attributes* image = nullptr;
  if (int failed = FindUsableImage(*state, command.image, &image))
    return failed;
  const Attributes copy = *image;
  return FlashPort(context, state, command.location, copy);
}

const Attributes& Script(const SimState& state, CommandForm form) {
  switch (form) {
    case CommandForm::Discovery:
      return state.discovery;
    case CommandForm::DiscoveryReport:
      return state.report;
    case CommandForm::Replay:
      return state.replay;
    case CommandForm::Flash:
      break;
  }
  return state.flash;
}

}  // namespace

bool ParseCommand(const std::vector<std::string>& arguments, SimCommand* command) {
  const auto& a = arguments;
  if (a.empty() || a[0] != "-flashsupport")
    return false;
  if (a.size() == 5 && a[1] == "-d" && a[4] == "-p3") {
    command->form =
        a[3] == kDiscoveryFileName ? CommandForm::Discovery : CommandForm::DiscoveryReport;
    command->image = a[2];
    command->file = a[3];
    return true;
  }
  if (a.size() == 6 && a[1] == "-u" && a[4] == kDiscoveryFileName && a[5] == "-p3") {
    command->form = CommandForm::Replay;
    command->image = a[2];
    command->file = a[3];
    return true;
  }
  if (a.size() == 5 && a[1] == "-i" && a[3] == "-a") {
    command->form = CommandForm::Flash;
    command->location = a[2];
    command->image = a[4];
    return true;
  }
  return false;
}

std::string VendorLockPath() {
  std::string directory;
  if (!TempDirectory(&directory))
    return "";
  return directory + PathSeparator() + kLockFileName;
}

int PlayCommand(const SimCommand& command, const SimContext& context, SimState* state) {
  if (int scripted = IntValue(Script(*state, command.form), "exit"))
    return scripted;
  switch (command.form) {
    case CommandForm::Discovery:
      return Discover(command, context, *state);
    case CommandForm::DiscoveryReport:
      return WriteReport(command, *state);
    case CommandForm::Replay:
      return Replay(command, context, state);
    case CommandForm::Flash:
      break;
  }
  return Flash(command, context, state);
}

XmlNode DiscoveryDocument(const SimState& state, const std::string& image) {
  const std::string version = Value(state.discovery, "version", "1.0");
  XmlNode root = XmlNode::CreateRoot("korvel_rom_discovery", false);
  root.AddAttribute("version", version.c_str());
  const std::string type = Value(state.discovery, "type", "QLOGIC_NIC");
  if (!type.empty())
    AddValue(root, "type", type);
  AddValue(root, "version", version);
  AddValue(root, "takes_effect", Value(state.discovery, "takes_effect", "reboot"));
  XmlNode devices = AddElement(root, "devices");
  const Attributes* known = FindImage(state, image);
  for (const Attributes& port : state.ports)
    AddDevice(devices, port, known);
  return root;
}

XmlNode ReportDocument(const SimState& state, const std::string& imageFile,
                       const Attributes& image) {
  XmlNode root = XmlNode::CreateRoot(kReportRoot, false);
  root.AddAttribute("image", imageFile.c_str());
  root.AddAttribute("image_version", Value(image, "version").c_str());
  for (const Attributes& port : state.ports) {
    XmlNode entry = AddElement(root, "port");
    const std::string reason = ReportReason(port, image);
    entry.AddAttribute("location", PortLocation(port).c_str());
    entry.AddAttribute("macaddress", Value(port, "macaddress").c_str());
    entry.AddAttribute("pci_id", PortPciKey(port).c_str());
    entry.AddAttribute("installed", Value(port, "firmware_id").c_str());
    entry.AddAttribute("action", reason == "older" ? "flash" : "keep");
    entry.AddAttribute("reason", reason.c_str());
  }
  return root;
}
