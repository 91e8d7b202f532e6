#include "sim/state.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/test_support.h"

namespace {

constexpr char kFullState[] = R"(<?xml version="1.0" encoding="utf-8"?>
<netscli_state>
  <image file="p3p_rom.bin" version="4.0.556" pci_ids="4040-0100-4040-0124"/>
  <discovery OUTPUT="corrupt" type="NETXEN_NIC" takes_effect="now &amp; later"/>
  <report exit="3"/>
  <replay exit="7"/>
  <flash exit="0" delay_ms="250" hold_lock="yes"/>
  <port device_id="eth0" busnumber="03" devicenumber="00" funcnumber="1"
        product_id="100% &lt;fast&gt;" firmware_id="4.0.555" flash_exit="9"/>
  <port device_id="eth1" venid="4040"/>
</netscli_state>
)";

TEST(SimStateFile, ReadsEveryElementAndWritesItBackUnchanged) {
  ScratchDirectory dir;
  WriteText(dir.File("state.xml"), kFullState);
  SimState state;
  std::string error;
  ASSERT_TRUE(LoadState(dir.File("state.xml"), &state, &error)) << error;

  ASSERT_EQ(state.images.size(), 1u);
  EXPECT_EQ(Value(state.images[0], "version"), "4.0.556");
  EXPECT_EQ(Value(state.discovery, "output"), "corrupt");  // attribute names ignore case
  EXPECT_EQ(Value(state.discovery, "takes_effect"), "now & later");
  EXPECT_EQ(IntValue(state.report, "exit"), 3);
  EXPECT_EQ(IntValue(state.replay, "exit"), 7);
  EXPECT_EQ(IntValue(state.flash, "delay_ms"), 250);
  ASSERT_EQ(state.ports.size(), 2u);
  EXPECT_EQ(Value(state.ports[0], "product_id"), "100% <fast>");
  EXPECT_EQ(PortLocation(state.ports[0]), "03:00.1");
  EXPECT_EQ(IntValue(state.ports[0], "flash_exit"), 9);
  // Absent attributes stay absent, so discovery can leave their elements out.
  EXPECT_EQ(state.ports[1].count("macaddress"), 0u);
  EXPECT_EQ(Value(state.ports[1], "macaddress", "none"), "none");

  // Saving over an existing file replaces it (a rename over a file on Windows
  // too) and leaves no temporary file behind.
  WriteText(dir.File("copy.xml"), "old");
  ASSERT_TRUE(SaveState(dir.File("copy.xml"), state));
  EXPECT_FALSE(std::filesystem::exists(dir.File("copy.xml.netscli-tmp")));
  SimState again;
  ASSERT_TRUE(LoadState(dir.File("copy.xml"), &again, &error)) << error;
  EXPECT_EQ(again.images, state.images);
  EXPECT_EQ(again.discovery, state.discovery);
  EXPECT_EQ(again.report, state.report);
  EXPECT_EQ(again.replay, state.replay);
  EXPECT_EQ(again.flash, state.flash);
  EXPECT_EQ(again.ports, state.ports);
}

TEST(SimStateFile, RefusesWhatItCannotUse) {
  ScratchDirectory dir;
  SimState state;
  std::string error;
  EXPECT_FALSE(LoadState(dir.File("missing.xml"), &state, &error));
  EXPECT_NE(error.find("no state file"), std::string::npos) << error;

  const struct {
    const char* text;
    const char* reason;
  } refused[] = {
      {"<netscli_state><port", "not readable"},
      {"<other_root/>", "not readable"},
      {"<netscli_state><ports/></netscli_state>", "unknown element <ports>"},
      {"<netscli_state><report exit=\"x\"/></netscli_state>", "report exit=\"x\""},
      {"<netscli_state><replay exit=\"256\"/></netscli_state>", "replay exit=\"256\""},
      {"<netscli_state><port flash_exit=\"-1\"/></netscli_state>", "port flash_exit"},
      {"<netscli_state><flash delay_ms=\"1s\"/></netscli_state>", "flash delay_ms"},
      {"<netscli_state><discovery output=\"half\"/></netscli_state>", "output=\"half\""},
      {"<netscli_state><report output=\"corrupt\"/></netscli_state>",
       "report output=\"corrupt\" is not normal or none"},
      {"<netscli_state><flash hold_lock=\"true\"/></netscli_state>", "hold_lock=\"true\""},
      // A misspelt attribute would leave its fault out of the test unseen.
      {"<netscli_state><port flashexit=\"3\"/></netscli_state>",
       "port has an unknown attribute flashexit"},
      {"<netscli_state><image file=\"a.bin\" pci_id=\"4040-0100-4040-0124\"/></netscli_state>",
       "image has an unknown attribute pci_id"},
  };
  for (const auto& sample : refused) {
    WriteText(dir.File("state.xml"), sample.text);
    error.clear();
    EXPECT_FALSE(LoadState(dir.File("state.xml"), &state, &error)) << sample.text;
    EXPECT_NE(error.find(sample.reason), std::string::npos) << sample.text << ": " << error;
  }
}

TEST(SimVersions, CompareDottedNumbersPartByPart) {
  EXPECT_LT(CompareVersions("4.0.555", "4.0.556"), 0);
  EXPECT_GT(CompareVersions("4.0.556", "4.0.555"), 0);
  EXPECT_GT(CompareVersions("4.1", "4.0.999"), 0);     // not text order
  EXPECT_LT(CompareVersions("4.0.99", "4.0.100"), 0);  // not text order either
  EXPECT_EQ(CompareVersions("4.0", "4.0.0"), 0);       // missing parts count as 0
  EXPECT_LT(CompareVersions("", "0.0.1"), 0);
  EXPECT_EQ(CompareVersions("4.0.555", "4.0.555"), 0);
}

TEST(SimImages, FoundAsNamedAndMatchedToPortsByPciIds) {
  SimState state;
  state.images = {{{"file", "images/p3p.bin"}, {"version", "1"}},
                  {{"file", "p3p.bin"}, {"version", "2"}},
                  {{"file", "other.bin"}, {"version", "3"}, {"pci_ids", "4040-100-4040-124"}}};
  EXPECT_EQ(Value(*FindImage(state, "p3p.bin"), "version"), "2");
  EXPECT_EQ(Value(*FindImage(state, "./p3p.bin"), "version"), "2");  // the same file
  EXPECT_EQ(Value(*FindImage(state, "images/p3p.bin"), "version"), "1");
  const std::filesystem::path here = std::filesystem::current_path();
  EXPECT_EQ(Value(*FindImage(state, (here / "images" / "p3p.bin").string()), "version"), "1");
  // A file of the same name in another directory is another image.
  EXPECT_EQ(FindImage(state, "other/dir/p3p.bin"), nullptr);
  EXPECT_EQ(FindImage(state, (here.parent_path() / "other.bin").string()), nullptr);
  EXPECT_EQ(FindImage(state, "missing.bin"), nullptr);

  Attributes port = {
      {"venid", "4040"}, {"devid", "0100"}, {"subvenid", "4040"}, {"subdevid", "0124"}};
  EXPECT_EQ(PortPciKey(port), "4040-0100-4040-0124");
  EXPECT_TRUE(ImageFitsPort(state.images[0], port));  // no list: fits every port
  EXPECT_TRUE(ImageFitsPort(state.images[2], port));  // compared by value
  port["subdevid"] = "0125";
  EXPECT_FALSE(ImageFitsPort(state.images[2], port));
  EXPECT_EQ(NormalisePciKey("4040-01ab-zz-1"), "4040-01AB-ZZ-0001");
}

}  // namespace
