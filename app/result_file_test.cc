#include "app/result_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/test_support.h"
#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/run_record.h"

namespace {

// A run that stopped short says whether the package served none of the ports
// or the run failed; only the outcomes of a run that did its job are successes.
TEST(OutcomeWordTest, ShortfallAndSuccessWords) {
  ResetRunFactsForTesting();
  NoteStop(StopKind::kNoServedPort, "Device discovery failed with error code 0", false);
  EXPECT_STREQ(OutcomeWord(ShortfallOutcome()), "no-supported-port");
  ResetRunFactsForTesting();
  NoteStop(StopKind::kFailed, "Loading configuration file NICFWData.xml failed.", false);
  EXPECT_STREQ(OutcomeWord(ShortfallOutcome()), "failed");
  // No verdict reached (an exception ended the mode) reads as failed.
  EXPECT_STREQ(OutcomeWord(Outcome::kNone), "failed");
  EXPECT_FALSE(IsSuccess(Outcome::kNone));
  for (const Outcome failure :
       {Outcome::kUpdatedWithErrors, Outcome::kCancelled, Outcome::kInterrupted,
        Outcome::kNoSupportedPort, Outcome::kRefused, Outcome::kBusy, Outcome::kFailed})
    EXPECT_FALSE(IsSuccess(failure)) << OutcomeWord(failure);
  for (const Outcome success : {Outcome::kUpdated, Outcome::kNothingSelected, Outcome::kSomeNewer,
                                Outcome::kReplayed, Outcome::kVersionShown})
    EXPECT_TRUE(IsSuccess(success)) << OutcomeWord(success);
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
  NoteStop(StopKind::kFailed, "Command to upgrade firmware failed with internal error code 98\n",
           false);
  NoteOutcome(Outcome::kUpdatedWithErrors);
  RunFlags = RUN_UPDATED | RUN_UPDATE_FAILED;
  const auto document = ResultDocument(RunStage::kMode, 0);
  RunFlags = 0;
  EXPECT_EQ(document["reason"], "Command to upgrade firmware failed with internal error code 98");
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
  NoteOutcome(Outcome::kCancelled);
  RunFlags = RUN_CANCELLED;
  const auto document = ResultDocument(RunStage::kMode, 3);
  // A check decides nothing, even when an interrupt cut it short.
  RunFlags = RUN_CANCELLED | RUN_CHECK_ONLY;
  const auto check = ResultDocument(RunStage::kMode, 0);
  RunFlags = 0;
  EXPECT_EQ(document["reason"], "Firmware upgrade cancelled by User");
  EXPECT_TRUE(check["ports"][2]["decision"].is_null());
  EXPECT_EQ(document["reboot_required"], false) << "nothing was flashed";
  EXPECT_EQ(document["ports"][0]["flash"]["result"], "not-run");
  EXPECT_EQ(document["ports"][1]["decision"], "quit");
  EXPECT_EQ(document["ports"][2]["decision"], "quit");
}

TEST_F(ResultDocumentTest, RebootIsUnknownUnlessDiscoverySaidHowFirmwareTakesEffect) {
  Port("03:00.0", "4.0.555", true);
  NoteDecision(0, PortDecision::kSelected);
  NoteFlash(0, true, 0);
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

// A replay is one command for the whole report: its exit code and what each
// marked port holds afterwards decide every port's flash, and with it whether
// a reboot is due.
TEST_F(ResultDocumentTest, ReplayedPortsShowWhatTheUtilityDid) {
  Port("03:00.0", "4.0.556", true);
  Port("03:00.1", "4.0.555", true);
  Port("03:00.2", "4.0.555", true);
  TheRunFacts().ports[0].markedForFlash = true;
  TheRunFacts().ports[1].markedForFlash = true;
  NoteDiscoveryRead("reboot");
  RunFlags = RUN_READ_REPORT;
  const struct {
    int replayed;
    nlohmann::ordered_json first, second, reboot;
  } cases[] = {
      {0, "updated", "failed", true},
      {5, nullptr, nullptr, false},  // nothing to do: nothing flashed, nothing failed
      {7, "updated", "failed", true},  // written before the utility failed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.replayed);
    TheRunFacts().replayExitCode = c.replayed;
    const auto document = ResultDocument(RunStage::kMode, 2);
    const auto result = [&](int i) -> nlohmann::ordered_json {
      const auto& flash = document["ports"][i]["flash"];
      return flash.is_null() ? nlohmann::ordered_json() : flash["result"];
    };
    EXPECT_EQ(result(0), c.first);
    EXPECT_EQ(result(1), c.second);
    EXPECT_TRUE(document["ports"][2]["flash"].is_null());
    EXPECT_EQ(document["ports"][2]["decision"], "declined");
    EXPECT_EQ(document["reboot_required"], c.reboot);
  }
  RunFlags = 0;
}

}  // namespace
