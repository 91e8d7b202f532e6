#include "sim/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "sim/test_support.h"

namespace {

TEST(SimCommandLine, AcceptsExactlyTheFourFormsZentavorBuilds) {
  SimCommand command;
  ASSERT_TRUE(ParseCommand({"-flashsupport", "-d", "rom.bin", "tempNicList.xml", "-p3"}, &command));
  EXPECT_EQ(command.form, CommandForm::Discovery);
  EXPECT_EQ(command.image, "rom.bin");

  ASSERT_TRUE(ParseCommand({"-flashsupport", "-d", "rom.bin", "my report.xml", "-p3"}, &command));
  EXPECT_EQ(command.form, CommandForm::DiscoveryReport);
  EXPECT_EQ(command.file, "my report.xml");

  ASSERT_TRUE(ParseCommand(
      {"-flashsupport", "-u", "rom.bin", "report.xml", "tempNicList.xml", "-p3"}, &command));
  EXPECT_EQ(command.form, CommandForm::Replay);
  EXPECT_EQ(command.file, "report.xml");

  ASSERT_TRUE(ParseCommand({"-flashsupport", "-i", "03:00.1", "-a", "rom.bin"}, &command));
  EXPECT_EQ(command.form, CommandForm::Flash);
  EXPECT_EQ(command.location, "03:00.1");
  EXPECT_EQ(command.image, "rom.bin");

  const std::vector<std::vector<std::string>> refused = {
      {},
      {"-flashsupport"},
      {"-d", "rom.bin", "tempNicList.xml", "-p3"},
      {"-flashsupport", "-d", "tempNicList.xml", "-p3"},  // empty image: one word short
      {"-flashsupport", "-d", "rom.bin", "tempNicList.xml", "-p3", "extra"},
      {"-flashsupport", "-D", "rom.bin", "tempNicList.xml", "-p3"},
      {"-flashsupport", "-d", "rom.bin", "tempNicList.xml", "-p4"},
      {"-flashsupport", "-u", "rom.bin", "report.xml", "other.xml", "-p3"},
      {"-flashsupport", "-u", "rom.bin", "report.xml", "-p3"},
      {"-flashsupport", "-i", "03:00.1", "-a"},
      {"-flashsupport", "-i", "03:00.1", "-b", "rom.bin"},
  };
  for (const auto& arguments : refused) {
    EXPECT_FALSE(ParseCommand(arguments, &command)) << ::testing::PrintToString(arguments);
  }
}

Attributes Port(const char* name, const char* location, const char* firmware) {
  const std::string text = location;  // "bb:dd.f"
  return {{"device_id", name},
          {"venid", "4040"},
          {"devid", "0100"},
          {"subvenid", "4040"},
          {"subdevid", "0124"},
          {"macaddress", std::string("00:0E:1E:00:00:") + name[3]},
          {"product_id", "NX3031"},
          {"busnumber", text.substr(0, 2)},
          {"devicenumber", text.substr(3, 2)},
          {"funcnumber", text.substr(6)},
          {"firmware_id", firmware}};
}

// A server with a port older than the image, one the same, one newer, and a
// foreign one the image does not fit; the image lies in the directory.
class SimServer : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.images = {
        {{"file", image_}, {"version", "4.0.556"}, {"pci_ids", "4040-0100-4040-0124"}}};
    state_.ports = {Port("eth0", "03:00.0", "4.0.555"), Port("eth1", "03:00.1", "4.0.556"),
                    Port("eth2", "04:00.0", "4.0.600"), Port("eth3", "05:00.0", "1.2")};
    state_.ports[3]["devid"] = "0001";
    WriteText(image_, "ROM image");
    Save();
  }

  int Play(CommandForm form, const std::string& file, const std::string& location = "",
           const std::string& image = "") {
    SimCommand command{form, image.empty() ? image_ : image, file, location};
    SimState state;
    std::string error;
    EXPECT_TRUE(LoadState(context_.statePath, &state, &error)) << error;
    return PlayCommand(command, context_, &state);
  }

  int Flash(const std::string& location, const std::string& image = "") {
    return Play(CommandForm::Flash, "", location, image);
  }

  std::vector<std::string> Installed() {
    SimState state;
    std::string error;
    EXPECT_TRUE(LoadState(context_.statePath, &state, &error)) << error;
    std::vector<std::string> versions;
    for (const Attributes& port : state.ports)
      versions.push_back(Value(port, "firmware_id"));
    return versions;
  }

  void Save() { ASSERT_TRUE(SaveState(context_.statePath, state_)); }

  void Script(Attributes SimState::*element, Attributes values) {
    state_.*element = std::move(values);
    Save();
  }

  ScratchDirectory dir_;
  SimState state_;
  SimContext context_{dir_.File("state.xml"), dir_.File("netxen_lock_file")};
  std::string image_ = dir_.File("p3p.bin");
  std::string discovery_ = dir_.File("tempNicList.xml");
};

// The value attribute of the first child element with this name.
std::string ValueOf(const XmlNode& parent, const char* name) {
  for (int i = 0; i < parent.ChildCount(); ++i) {
    const XmlNode child = parent.GetChild(i);
    if (std::string(child.GetName()) == name) {
      const char* value = child.GetAttribute("value");
      return value ? value : "(no value)";
    }
  }
  return "(absent)";
}

std::vector<std::string> ChildNames(const XmlNode& parent) {
  std::vector<std::string> names;
  for (int i = 0; i < parent.ChildCount(); ++i)
    names.push_back(parent.GetChild(i).GetName());
  return names;
}

XmlNode ParseDiscovery(const std::string& path) {
  XmlResult result;
  XmlNode root = XmlNode::ParseFile(path.c_str(), "korvel_rom_discovery", &result);
  EXPECT_EQ(result.error, XmlError::NoError);
  return root;
}

TEST_F(SimServer, DiscoveryDescribesEveryPortInTheFormatZentavorReads) {
  state_.ports[1].erase("macaddress");  // absent datum: no element at all
  state_.ports[1]["action"] = "skip";
  Script(&SimState::discovery, {{"takes_effect", "immediately"}});
  ASSERT_EQ(Play(CommandForm::Discovery, discovery_), 0);

  const XmlNode root = ParseDiscovery(discovery_);
  EXPECT_STREQ(root.GetAttribute("version"), "1.0");
  EXPECT_EQ(ChildNames(root),
            (std::vector<std::string>{"type", "version", "takes_effect", "devices"}));
  EXPECT_EQ(ValueOf(root, "type"), "QLOGIC_NIC");
  EXPECT_EQ(ValueOf(root, "takes_effect"), "immediately");
  const XmlNode devices = root.GetChild(3);
  ASSERT_EQ(devices.ChildCount(), 4);
  const XmlNode first = devices.GetChild(0);
  EXPECT_EQ(ChildNames(first),
            (std::vector<std::string>{"device_id", "venid", "devid", "subvenid", "subdevid",
                                      "macaddress", "product_id", "busnumber", "devicenumber",
                                      "funcnumber", "fw_item"}));
  EXPECT_EQ(ValueOf(first, "busnumber"), "03");
  EXPECT_EQ(ValueOf(first, "funcnumber"), "0");
  const XmlNode item = first.GetChild(10);
  EXPECT_EQ(ValueOf(item, "type"), "rom");
  EXPECT_EQ(ValueOf(item, "firmware_id"), "4.0.555");
  EXPECT_EQ(ValueOf(item, "version"), "4.0.556");  // the image named on the command line

  const XmlNode second = devices.GetChild(1);
  EXPECT_EQ(ValueOf(second, "macaddress"), "(absent)");
  EXPECT_EQ(ValueOf(second.GetChild(second.ChildCount() - 1), "action"), "skip");
  EXPECT_EQ(ValueOf(devices.GetChild(3), "devid"), "0001");
}

// A foreign type, no file, a truncated file and a raw file are checked end to
// end (tests/test_sim.py); these are the cases only visible from inside.
TEST_F(SimServer, DiscoveryFaultsAsScripted) {
  Script(&SimState::discovery, {{"type", ""}});
  ASSERT_EQ(Play(CommandForm::Discovery, discovery_), 0);
  EXPECT_EQ(ValueOf(ParseDiscovery(discovery_), "type"), "(absent)");

  std::filesystem::remove(discovery_);
  Script(&SimState::discovery, {{"exit", "42"}});
  EXPECT_EQ(Play(CommandForm::Discovery, discovery_), 42);
  EXPECT_FALSE(std::filesystem::exists(discovery_));

  Script(&SimState::discovery, {{"raw_file", "gone.xml"}});
  EXPECT_EQ(Play(CommandForm::Discovery, discovery_), kExitBadState);
}

TEST_F(SimServer, FlashInstallsTheImageVersionAndNextDiscoveryShowsIt) {
  ASSERT_EQ(Flash("04:00.0"), 0);  // a downgrade is the caller's decision
  EXPECT_EQ(Installed(), (std::vector<std::string>{"4.0.555", "4.0.556", "4.0.556", "1.2"}));
  ASSERT_EQ(Play(CommandForm::Discovery, discovery_), 0);
  const XmlNode third = ParseDiscovery(discovery_).GetChild(3).GetChild(2);
  EXPECT_EQ(ValueOf(third.GetChild(third.ChildCount() - 1), "firmware_id"), "4.0.556");
  EXPECT_FALSE(std::filesystem::exists(context_.lockPath));  // not asked to hold it
}

TEST_F(SimServer, FlashFailuresLeaveThePortAsItWas) {
  const std::vector<std::string> before = Installed();
  WriteText(dir_.File("stranger.bin"), "not described by the state");
  EXPECT_EQ(Flash("03:00.0", dir_.File("absent.bin")), kExitNoImageFile);
  EXPECT_EQ(Flash("03:00.0", dir_.File("stranger.bin")), kExitUnknownImage);
  EXPECT_EQ(Flash("03:00.0", dir_.File("")), kExitNoImageFile);  // a directory is no image
  EXPECT_EQ(Flash("09:00.0"), kExitNoPort);
  EXPECT_EQ(Flash("05:00.0"), kExitUnfitImage);

  state_.ports[0]["flash_exit"] = "7";
  Script(&SimState::flash, {{"hold_lock", "yes"}});
  WriteText(context_.lockPath, "someone else's");
  EXPECT_EQ(Flash("03:00.0"), 7);
  EXPECT_EQ(ReadText(context_.lockPath), "someone else's");  // a lock found is left alone

  Script(&SimState::flash, {{"exit", "3"}});
  EXPECT_EQ(Flash("03:00.1"), 3);
  EXPECT_EQ(Installed(), before);
}

TEST_F(SimServer, ReportMarksOlderPortsAndReplayFlashesThem) {
  state_.ports.push_back(Port("eth4", "06:00.0", "4.0.1"));
  state_.ports.back()["action"] = "skip";
  Save();
  const std::string report = dir_.File("report with blank.xml");
  ASSERT_EQ(Play(CommandForm::DiscoveryReport, report), 0);

  XmlResult result;
  const XmlNode root = XmlNode::ParseFile(report.c_str(), "netscli_report", &result);
  ASSERT_EQ(result.error, XmlError::NoError);
  EXPECT_STREQ(root.GetAttribute("image_version"), "4.0.556");
  std::vector<std::string> verdicts;
  for (int i = 0; i < root.ChildCount(); ++i) {
    const XmlNode port = root.GetChild(i);
    verdicts.push_back(std::string(port.GetAttribute("location")) + " " +
                       port.GetAttribute("action") + " " + port.GetAttribute("reason"));
  }
  EXPECT_EQ(verdicts, (std::vector<std::string>{"03:00.0 flash older", "03:00.1 keep current",
                                                "04:00.0 keep newer", "05:00.0 keep unfit",
                                                "06:00.0 keep skip"}));

  ASSERT_EQ(Play(CommandForm::Replay, report), 0);
  EXPECT_EQ(Installed(),
            (std::vector<std::string>{"4.0.556", "4.0.556", "4.0.600", "1.2", "4.0.1"}));
  EXPECT_EQ(Play(CommandForm::Replay, dir_.File("missing.xml")), kExitBadReport);
  WriteText(dir_.File("other.xml"), "<korvel_rom_discovery/>");
  EXPECT_EQ(Play(CommandForm::Replay, dir_.File("other.xml")), kExitBadReport);

  // A report is replayed only with the image it judged the ports against.
  const std::string newer = dir_.File("newer.bin");
  WriteText(newer, "another ROM image");
  state_.images.push_back({{"file", newer}, {"version", "9.9.9"}});
  Save();
  EXPECT_EQ(Play(CommandForm::Replay, report, "", newer), kExitReportForOtherImage);
  EXPECT_EQ(Installed(),
            (std::vector<std::string>{"4.0.555", "4.0.556", "4.0.600", "1.2", "4.0.1"}));
}

TEST_F(SimServer, ReplayGoesOnAfterAFailingPortAndReportsTheFirstFailure) {
  state_.ports[1]["firmware_id"] = "4.0.1";
  state_.ports[0]["flash_exit"] = "6";
  Save();
  const std::string report = dir_.File("report.xml");
  ASSERT_EQ(Play(CommandForm::DiscoveryReport, report), 0);
  EXPECT_EQ(Play(CommandForm::Replay, report), 6);
  EXPECT_EQ(Installed(), (std::vector<std::string>{"4.0.555", "4.0.556", "4.0.600", "1.2"}));

  Script(&SimState::replay, {{"exit", "5"}});
  EXPECT_EQ(Play(CommandForm::Replay, report), 5);
  Script(&SimState::report, {{"exit", "9"}});
  std::filesystem::remove(report);
  EXPECT_EQ(Play(CommandForm::DiscoveryReport, report), 9);
  EXPECT_FALSE(std::filesystem::exists(report));

  Script(&SimState::report, {{"output", "none"}});
  EXPECT_EQ(Play(CommandForm::DiscoveryReport, report), 0);
  EXPECT_FALSE(std::filesystem::exists(report));
}

}  // namespace
