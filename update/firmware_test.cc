#include "update/firmware.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/test_support.h"

namespace {

constexpr const char kSame[] =
    "*** WARNING *** - Installed firmware is the same version as selected firmware\n";
constexpr const char kMoreRecent[] =
    "*** WARNING *** - Installed firmware is more recent than selected firmware\n";

// Ports placed straight into the inventory (as discovery would leave them),
// answers read from a file, console output kept out of the test report.
class FirmwareTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    testing::internal::GetCapturedStdout();
    if (input_ != nullptr)
      std::fclose(input_);
    log_.ui().SetInput(stdin);
    InventoryTest::TearDown();
  }

  NicRecord& AddPort(const std::string& interfaceName, const std::string& bus,
                     const char* installed, const char* available = "4.0.556") {
    NicRecord nic;
    nic.interfaceName = interfaceName;
    nic.pciLocation = bus + ":00.0";
    nic.macAddress = "00:0E:1E:" + bus + ":00:00";
    nic.productName = "QLE3242";
    nic.installedVersion.Parse(installed);
    nic.installedText = installed;  // as discovery keeps the text it parsed
    nic.availableVersion.Parse(available);
    nic.flags = NIC_SUPPORTED;
    NicList.Append(nic);
    ++SupportedNicCount;
    return NicList.At(NicList.Size() - 1);
  }

  void Type(const std::string& answers) {
    WriteFile("answers.txt", answers);
    input_ = std::fopen(dir_.File("answers.txt").c_str(), "r");
    ASSERT_NE(input_, nullptr);
    log_.ui().SetInput(input_);
  }

  QLogicFirmware firmware_;
  std::FILE* input_ = nullptr;
};

// The log line for an installed version text that is read only in part.
std::string ReadInPart(const std::string& text, const std::string& value, const char* reason) {
  return "Warning!!! - Installed firmware version '" + text +
         "' of MAC 00:0E:1E:03:00:00 is read only in part (as " + value + ": " + reason +
         "); it counts as more recent than the package's 4.0.556.\n";
}

TEST_F(FirmwareTest, DecisionTable) {
  const char* digits = "digits in it are not in the version read";
  const std::string beta = ReadInPart("4.2.10 beta", "0.0.0", digits) + kMoreRecent;
  const std::string boot = ReadInPart("Boot code 4.3.1", "0.3.1", digits) + kMoreRecent;
  const std::string letters =
      ReadInPart("4.0.55x", "4.0.55", "letters or signs stand where numbers should") + kMoreRecent;
  const std::string tab =
      ReadInPart("4.0.\t556", "4.0.556", "blanks stand inside its numbers") + kMoreRecent;
  const struct {
    const char* installed;
    std::uint32_t options;
    std::string warning;  // empty: none
    bool allowed;
    const char* shown = nullptr;  // in the question, when not the text itself
  } rows[] = {
      {"4.0.555", 0, "", true},
      {"4.0.555", RUN_REWRITE | RUN_DOWNGRADE, "", true},
      {"4.0.556", 0, kSame, false},
      {"4.0.556", RUN_DOWNGRADE, kSame, false},
      {"4.0.556", RUN_REWRITE, kSame, true},
      {"4.0.556", RUN_FORCE, kSame, true},
      {"4.0.557", 0, kMoreRecent, false},
      {"4.0.557", RUN_REWRITE, kMoreRecent, false},
      {"4.0.557", RUN_DOWNGRADE, kMoreRecent, true},
      {"4.0.557", RUN_FORCE, kMoreRecent, true},
      // A text read only in part never looks older: it counts as newer firmware,
      // and the question shows it as discovery gave it.
      {"4.2.10 beta", 0, beta, false},
      {"4.2.10 beta", RUN_REWRITE, beta, false},
      {"4.2.10 beta", RUN_DOWNGRADE, beta, true},
      {"Boot code 4.3.1", 0, boot, false},
      {"Boot code 4.3.1", RUN_FORCE, boot, true},
      {"4.0.55x", 0, letters, false},
      {"4.0.\t556", 0, tab, false},
      // Decorations the parser is meant to drop, and parts after the third, lose nothing.
      {"NCSI v4.0.555", 0, "", true, "4.0.555"},
      {"4.0.555.9", 0, "", true, "4.0.555"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.installed) + " options " + std::to_string(row.options));
    NicList.Clear();
    AddPort("eth0", "03", row.installed);
    RunFlags = row.options;
    const std::int32_t expected = row.allowed ? ANSWER_YES : ANSWER_NO;
    const std::string shown = row.shown != nullptr ? row.shown : row.installed;

    // At the console an empty line takes the default, which the question names.
    log_.ui().Configure(false, false, false);
    Type("\n");
    const std::size_t before = LogText().size();
    EXPECT_EQ(firmware_.Confirm(), expected);
    const std::string question = "Update firmware on 'eth0' (03:00.0) : \nFrom ROM " + shown +
                                 " to 4.0.556?  y/n/q/c (" + (row.allowed ? "y" : "n") + "):\n";
    EXPECT_EQ(LogText().substr(before), row.warning + question);

    // -y and -s take the same default without asking; only the warning is written.
    log_.ui().Configure(false, false, true);
    EXPECT_EQ(firmware_.Confirm(), expected);
    log_.ui().Configure(true, false, false);
    EXPECT_EQ(firmware_.Confirm(), expected);
    EXPECT_EQ(LogText().substr(before), row.warning + question + row.warning + row.warning);
  }
}

TEST_F(FirmwareTest, UnfilledInstalledVersionIsOlderThanAnyRealImage) {
  NicRecord& nic = AddPort("eth0", "03", "");
  log_.ui().Configure(false, false, true);
  EXPECT_EQ(firmware_.Confirm(), ANSWER_YES);
  // Two-part 0.0 on the left ignores the image's build number.
  nic.availableVersion.Parse("0.0.7");
  EXPECT_EQ(firmware_.Confirm(), ANSWER_NO);
  EXPECT_EQ(LogText(), kSame);
}

TEST_F(FirmwareTest, SelectRecordsEachAnswerInThePortAndTheRun) {
  const struct {
    const char* typed;
    std::uint32_t nicFlags;
    std::uint32_t runFlags;
  } answers[] = {
      {"y\n", NIC_SUPPORTED | NIC_SELECTED, 0},
      {"YES\n", NIC_SUPPORTED | NIC_SELECTED, 0},
      {"c\n", NIC_SUPPORTED, RUN_SKIP_DEVICE},
      {"q\n", 0, RUN_CANCELLED},
      {"n\n", 0, 0},
      {"maybe\n", 0, 0},
      {"", 0, 0},  // nothing to read
  };
  NicRecord& nic = AddPort("eth0", "03", "4.0.555");
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.typed);
    nic.flags = NIC_SUPPORTED | NIC_SELECTED;
    RunFlags = 0;
    Type(answer.typed);
    firmware_.Select();
    EXPECT_EQ(nic.flags, answer.nicFlags);
    EXPECT_EQ(RunFlags, answer.runFlags);
  }
}

TEST_F(FirmwareTest, SelectAnnouncesWithPaddedMacAndLeavesUnsupportedPortsAlone) {
  NicRecord& nic = AddPort("eth0", "03", "");
  nic.macAddress = "0E1E";
  Type("y\n");
  firmware_.Select();
  EXPECT_TRUE(LogText().starts_with("Found QLE3242 MAC: 0E1E              (v0.0)\nUpdate "))
      << LogText();

  nic.flags = NIC_SELECTED;  // not supported
  const std::string before = LogText();
  firmware_.Select();
  EXPECT_EQ(LogText(), before);
  EXPECT_EQ(nic.flags, NIC_SELECTED);
}

}  // namespace
