#include "app/result_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/test_support.h"
#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/run_record.h"

namespace {

// The outcome word must follow the exit-code contract of every mode: a word
// that says success for a failure code is what a fleet would act on.
TEST(OutcomeWordTest, EachModeAndExitCodeGetsItsWord) {
  const struct {
    RunMode mode;
    std::uint32_t flags;
    std::int32_t exitCode;
    StopKind stop;
    const char* word;
  } cases[] = {
      {RunMode::kUpdate, RUN_UPDATED, 2, StopKind::kNone, "updated"},
      {RunMode::kUpdate, RUN_UPDATED | RUN_UPDATE_FAILED, 0, StopKind::kFailed,
       "updated-with-errors"},
      {RunMode::kUpdate, RUN_UPDATE_FAILED, 0, StopKind::kFailed, "failed"},
      {RunMode::kUpdate, 0, 3, StopKind::kNone, "nothing-selected"},
      {RunMode::kUpdate, RUN_CANCELLED, 3, StopKind::kNone, "cancelled"},
      {RunMode::kUpdate, 0, 0, StopKind::kNoServedPort, "no-supported-port"},
      {RunMode::kUpdate, 0, 0, StopKind::kFailed, "failed"},
      {RunMode::kUpdate, RUN_CHECK_ONLY, 4, StopKind::kNone, "update-recommended"},
      {RunMode::kUpdate, RUN_CHECK_ONLY, 5, StopKind::kNone, "all-current"},
      {RunMode::kUpdate, RUN_CHECK_ONLY, 6, StopKind::kNone, "some-newer"},
      {RunMode::kUpdate, RUN_CHECK_ONLY, 0, StopKind::kNoServedPort, "no-supported-port"},
      {RunMode::kShowInstalled, 0, 0, StopKind::kNone, "table-shown"},
      {RunMode::kShowInstalled, 0, 2, StopKind::kFailed, "failed"},
      {RunMode::kShowInstalled, 0, 2, StopKind::kNoServedPort, "no-supported-port"},
      {RunMode::kWriteReport, 0, 1, StopKind::kNone, "report-written"},
      {RunMode::kWriteReport, 0, 0, StopKind::kFailed, "failed"},
      {RunMode::kReadReport, RUN_UPDATED, 2, StopKind::kNone, "replayed"},
      {RunMode::kReadReport, 0, 3, StopKind::kNone, "nothing-selected"},
      {RunMode::kReadReport, 0, 3, StopKind::kFailed, "failed"},  // image missing
      {RunMode::kReadReport, 0, 0, StopKind::kFailed, "failed"},
      {RunMode::kVersionFile, 0, 0, StopKind::kNone, "version-file-written"},
      {RunMode::kVersionFile, 0, 1, StopKind::kFailed, "failed"},
      {RunMode::kVersionFile, 0, 4, StopKind::kNoServedPort, "no-supported-port"},
      {RunMode::kVersionFile, 0, 4, StopKind::kFailed, "failed"},
      {RunMode::kVerifyFile, 0, 0, StopKind::kNone, "dependencies-checked"},
  };
  for (const auto& c : cases) {
    ResetRunFactsForTesting();
    NoteStop(c.stop, "why", false);
    const std::string word = OutcomeWord(RunStage::kMode, c.mode, c.flags, c.exitCode);
    EXPECT_EQ(word, c.word) << static_cast<int>(c.mode) << " " << c.exitCode;
    EXPECT_EQ(IsSuccessOutcome(word), c.stop == StopKind::kNone && word != "cancelled") << word;
  }
  ResetRunFactsForTesting();
  NoteStop(StopKind::kAnotherRun, "held", false);
  EXPECT_EQ(OutcomeWord(RunStage::kStartup, RunMode::kUpdate, 0, 0), "busy");
  EXPECT_EQ(OutcomeWord(RunStage::kOptionsRefused, RunMode::kUpdate, 0, 0), "refused");
  ResetRunFactsForTesting();
}

// Reads "YYYY-MM-DDThh:mm:ss+hh:mm" back into seconds since the epoch.
long long EpochOf(const std::string& text) {
  int year, month, day, hour, minute, second, offsetHours, offsetMinutes;
  char sign;
  EXPECT_EQ(std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &year, &month, &day,
                        &hour, &minute, &second, &sign, &offsetHours, &offsetMinutes),
            9)
      << text;
  // Days from the civil date (proleptic Gregorian), 1970-01-01 being day 0.
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const long long days = era * 146097 + dayOfEra - 719468;
  const long long offset = (offsetHours * 3600LL + offsetMinutes * 60LL) * (sign == '-' ? -1 : 1);
  return days * 86400 + hour * 3600 + minute * 60 + second - offset;
}

TEST(IsoLocalTimeTest, LocalTimeAndOffsetNameTheSameInstant) {
  // New Year's Eve late in UTC is already the next year east of it: the
  // offset must still come out right across the year boundary.
  for (const std::time_t when : {std::time_t{0}, std::time_t{1798761540}, std::time(nullptr)}) {
    const std::string text = IsoLocalTime(when);
    EXPECT_EQ(text.size(), 25u) << text;
    EXPECT_EQ(EpochOf(text), static_cast<long long>(when)) << text;
  }
}

class ResultDocumentTest : public AppTest {
 protected:
  static NicRecord Port(const char* location, const char* installed, bool served) {
    NicRecord nic;
    nic.pciLocation = location;
    nic.installedText = installed;
    nic.installedVersion.Parse(installed);
    nic.availableVersion.Parse("4.0.556");
    nic.duration = served ? 90 : 0;
    NotePort(nic, served ? PortStanding::kServed : PortStanding::kNotInPackage);
    return nic;
  }
};

TEST_F(ResultDocumentTest, PortsCarryDecisionFlashAndComparison) {
  Port("03:00.0", "4.0.555", true);
  Port("03:00.1", "4.0.555", true);
  Port("04:00.0", "4.0.557", true);
  Port("05:00.0", "3.0.1", false);
  NoteDecision(0, PortDecision::kSelected);
  NoteFlash(0, true, 0);
  NoteDecision(1, PortDecision::kSelected);
  NoteFlash(1, false, 98);
  NoteDecision(2, PortDecision::kSkipped);
  NoteDiscoveryRead("reboot");
  RunFlags = RUN_UPDATED | RUN_UPDATE_FAILED;
  const auto document = ResultDocument(RunStage::kMode, 0);
  RunFlags = 0;
  EXPECT_EQ(document["outcome"], "updated-with-errors");
  EXPECT_EQ(document["reboot_required"], true);
  const auto& ports = document["ports"];
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0]["flash"], (nlohmann::ordered_json{{"exit_code", 0}, {"result", "updated"}}));
  EXPECT_EQ(ports[1]["flash"]["result"], "failed");
  EXPECT_EQ(ports[1]["flash"]["exit_code"], 98);
  EXPECT_EQ(ports[2]["decision"], "skipped");
  EXPECT_EQ(ports[2]["package_is"], "older");
  EXPECT_TRUE(ports[2]["flash"].is_null());
  EXPECT_EQ(ports[3]["decision"], "not-served");
  EXPECT_TRUE(ports[3]["available_version"].is_null());
  EXPECT_EQ(ports[0]["expected_duration_s"], 90);
  EXPECT_TRUE(ports[3]["expected_duration_s"].is_null());
}

TEST_F(ResultDocumentTest, QuitCoversUnaskedPortsAndSelectedOnesAreNotRun) {
  Port("03:00.0", "4.0.555", true);
  Port("03:00.1", "4.0.555", true);
  Port("03:00.2", "4.0.555", true);
  NoteDecision(0, PortDecision::kSelected);
  NoteDecision(1, PortDecision::kQuit);
  NoteDiscoveryRead("reboot");
  RunFlags = RUN_CANCELLED;
  const auto document = ResultDocument(RunStage::kMode, 3);
  RunFlags = 0;
  EXPECT_EQ(document["outcome"], "cancelled");
  EXPECT_EQ(document["reason"], "Firmware upgrade cancelled by User");
  EXPECT_EQ(document["reboot_required"], false) << "nothing was flashed";
  EXPECT_EQ(document["ports"][0]["flash"]["result"], "not-run");
  EXPECT_EQ(document["ports"][1]["decision"], "quit");
  EXPECT_EQ(document["ports"][2]["decision"], "quit");
}

TEST_F(ResultDocumentTest, RebootIsUnknownUnlessDiscoverySaidHowFirmwareTakesEffect) {
  RunFlags = RUN_UPDATED;
  EXPECT_TRUE(ResultDocument(RunStage::kMode, 2)["reboot_required"].is_null());
  for (const auto& [said, expected] :
       std::initializer_list<std::pair<const char*, nlohmann::ordered_json>>{
           {"REBOOT", true}, {"immediate", false}, {"", nullptr}, {"later", nullptr}}) {
    NoteDiscoveryRead(said);
    EXPECT_EQ(ResultDocument(RunStage::kMode, 2)["reboot_required"], expected) << said;
  }
  RunFlags = 0;
}

}  // namespace
