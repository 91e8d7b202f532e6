#include "update/reports.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/run_flags.h"
#include "inventory/test_support.h"

// The version report runs discovery against the simulated vendor utility beside
// the test program; -v makes that discovery write the version-only file.
namespace {

class VersionReportTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    testing::internal::CaptureStdout();
    WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556")));
    WriteFile("p3p.bin", "image");
    RunFlags = RUN_VERSION_FILE | RUN_VERIFY_FILE;
    std::snprintf(ReportPathBuffer, kPathBufferSize, "%s", report_.c_str());
  }
  void TearDown() override {
    testing::internal::GetCapturedStdout();
    InventoryTest::TearDown();
  }

  // A server whose discovery file is the given one, verbatim.
  void ServeDiscoveryFile(const std::string& devices) {
    WriteFile("raw.xml", DiscoveryFile(devices));
    WriteFile("netscli_state.xml", SimulatorState("", "<discovery raw_file=\"raw.xml\"/>\n"));
  }

  const std::string report_ = dir_.File("versions.xml");
  const std::string created_ = "Created file " + report_ + " with only firmware version details.\n";
  const std::string failed_ =
      "Failed to create file " + report_ + " with only firmware version details!\n";
};

TEST_F(VersionReportTest, FileWrittenByThisRunsDiscoveryIsReported) {
  WriteFile("versions.xml", "from an earlier run");
  ServeDiscoveryFile(Device("eth0", "m", "03", "4.0.555"));
  EXPECT_EQ(WriteVersionReport(RunFlags, log_.ui()), 0);
  EXPECT_TRUE(LogText().ends_with(created_)) << LogText();
  EXPECT_NE(ReadTextFile(report_).find("<current_version value=\"4.0.555\"/>"), std::string::npos);
}

TEST_F(VersionReportTest, FileFromAnEarlierRunIsNeverPassedOff) {
  // The port is kept, but the reading stops before the version-only file is written.
  const std::string notRom = "<device><fw_item>" + Datum("type", "flash") + "</fw_item></device>\n";
  ServeDiscoveryFile(Device("eth0", "m", "03", "4.0.555") + notRom);
  WriteFile("versions.xml", "from an earlier run");
  EXPECT_EQ(WriteVersionReport(RunFlags, log_.ui()), 1);
  EXPECT_TRUE(LogText().ends_with(failed_)) << LogText();
  EXPECT_FALSE(std::filesystem::exists(report_));
}

TEST_F(VersionReportTest, SomethingThatCannotBeRemovedIsNeverPassedOff) {
  std::filesystem::create_directory(report_);
  ServeDiscoveryFile(Device("eth0", "m", "03", "4.0.555"));
  EXPECT_EQ(WriteVersionReport(RunFlags, log_.ui()), 1);
  EXPECT_NE(
      LogText().find("Error: Could not remove the file " + report_ + " left by an earlier run.\n"),
      std::string::npos);
  EXPECT_TRUE(LogText().ends_with(failed_)) << LogText();
}

TEST_F(VersionReportTest, NoSupportedPortOutranksAnyFile) {
  ServeDiscoveryFile(Device("eth0", "m", "03", "4.0.555", "8021"));
  std::filesystem::create_directory(report_);
  EXPECT_EQ(WriteVersionReport(RunFlags, log_.ui()), 4);
  EXPECT_TRUE(LogText().ends_with("No supported network adapters for firmware upgrade.\n"));
}

}  // namespace
