#include "app/update_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/test_support.h"
#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/run_record.h"
#include "update/firmware.h"

namespace {

// Answers each port from a script (one letter per port: y, c to skip the port,
// q to quit) and notes every call with the port it was made for.
class ScriptedFirmware final : public Firmware {
 public:
  ScriptedFirmware(std::string name, std::string answers, std::vector<std::string>& calls)
      : name_(std::move(name)), answers_(std::move(answers)), calls_(calls) {}

  void Select() override {
    Note("select");
    const char answer = answers_.at(CurrentNicIndex);
    if (answer == 'c')
      RunFlags |= RUN_SKIP_DEVICE;
    if (answer == 'q')
      RunFlags |= RUN_CANCELLED;
  }
  std::ostream& WritePrompt(std::ostream& out) override { return out; }
  std::int32_t Confirm() override { return ANSWER_NO; }
  void Update() override { Note("update"); }

 private:
  void Note(const char* what) {
    calls_.push_back(name_ + " " + what + " " + std::to_string(CurrentNicIndex));
  }

  std::string name_;
  std::string answers_;
  std::vector<std::string>& calls_;
};

class UpdateDriverTest : public AppTest {
 protected:
  std::vector<std::string> calls_;
};

TEST_F(UpdateDriverTest, SkipHoldsBackTheRestOfOnePortOnly) {
  ScriptedFirmware first("A", "ycy", calls_);
  ScriptedFirmware second("B", "yyy", calls_);
  Firmware* const table[] = {&first, &second};
  EXPECT_EQ(SelectionLoop(3, table), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"A select 0", "B select 0", "A select 1",
                                              "A select 2", "B select 2"}));
  EXPECT_EQ(RunFlags, 0u);
  EXPECT_EQ(Log(), "");
}

TEST_F(UpdateDriverTest, QuitEndsTheSelectionBeforeTheNextQuestion) {
  ScriptedFirmware first("A", "yqy", calls_);
  ScriptedFirmware second("B", "yyy", calls_);
  Firmware* const table[] = {&first, &second};
  EXPECT_EQ(SelectionLoop(3, table), 3);
  EXPECT_EQ(calls_, (std::vector<std::string>{"A select 0", "B select 0", "A select 1"}));
  EXPECT_EQ(Log(), "\nFirmware upgrade cancelled by User \n");
}

TEST_F(UpdateDriverTest, UpdateLoopOffersEveryPortToEveryFirmwareInOrder) {
  ScriptedFirmware first("A", "", calls_);
  ScriptedFirmware second("B", "", calls_);
  Firmware* const table[] = {&first, &second};
  EXPECT_EQ(UpdateLoop(2, table), 0);
  EXPECT_EQ(calls_,
            (std::vector<std::string>{"A update 0", "B update 0", "A update 1", "B update 1"}));
  EXPECT_EQ(UpdateLoop(0, table), 0);
  EXPECT_EQ(calls_.size(), 4u);
}

// The verdict decides the exit code and, in the same place, the outcome word
// the result file gives: the two can never tell different stories.
TEST_F(UpdateDriverTest, VerdictFromTheOutcomeBits) {
  const struct {
    std::uint32_t flags;
    const char* message;
    std::int32_t exitCode;
    const char* outcome;
  } verdicts[] = {
      {RUN_UPDATED | RUN_UPDATE_FAILED, "\nNIC firmware update completed with errors. \n", 0,
       "updated-with-errors"},
      {RUN_UPDATE_FAILED, "\nNIC firmware update completed with errors. \n", 0, "failed"},
      {RUN_CHECK_ONLY | RUN_UPDATE_FAILED, "\nNIC firmware update completed with errors. \n", 0,
       "failed"},
      {RUN_CHECK_ONLY | RUN_UPDATE_AVAILABLE | RUN_OLDER_AVAILABLE,
       "\nNIC firmware update is recommended.\n", 4, "update-recommended"},
      {RUN_CHECK_ONLY | RUN_SAME_VERSION, "\nNIC firmware update is not recommended.\n", 5,
       "all-current"},
      {RUN_CHECK_ONLY, "\nNIC firmware update is not recommended.\n", 5, "all-current"},
      {RUN_CHECK_ONLY | RUN_SAME_VERSION | RUN_OLDER_AVAILABLE,
       "\nNIC firmware update is not recommended.\n", 6, "some-newer"},
      {RUN_UPDATED | RUN_SKIP_DEVICE, "\nNIC firmware update complete.\n", 2, "updated"},
      {RUN_UPDATED | RUN_READ_REPORT, "\nNIC firmware update complete.\n", 2, "replayed"},
      {RUN_SAME_VERSION | RUN_UPDATE_AVAILABLE, "\nNo firmware is selected for update.\n", 3,
       "nothing-selected"},
      {RUN_READ_REPORT, "\nNo firmware is selected for update.\n", 3, "nothing-selected"},
      // An interrupted run: what it flashed still counts; without a flash the
      // update is cancelled, and a check has no recommendation to give.
      {RUN_CANCELLED | RUN_UPDATED, "\nNIC firmware update complete.\n", 2, "updated"},
      {RUN_CANCELLED | RUN_UPDATED | RUN_UPDATE_FAILED,
       "\nNIC firmware update completed with errors. \n", 0, "updated-with-errors"},
      {RUN_CANCELLED, "\nFirmware upgrade cancelled by User \n", 3, "cancelled"},
      {RUN_CANCELLED | RUN_CHECK_ONLY | RUN_UPDATE_AVAILABLE, "", 0, "failed"},
  };
  for (const auto& verdict : verdicts) {
    SCOPED_TRACE(verdict.message);
    ResetRunFactsForTesting();
    RunFlags = verdict.flags;
    const std::size_t before = Log().size();
    EXPECT_EQ(Verdict(), verdict.exitCode);
    EXPECT_EQ(Log().substr(before), verdict.message);
    EXPECT_STREQ(OutcomeWord(TheRunFacts().outcome), verdict.outcome);
  }
  // An interrupt that kept something from starting outranks the verdict's word.
  ResetRunFactsForTesting();
  NoteInterrupt("Interrupt received: nothing further is started.\n", false);
  RunFlags = RUN_CANCELLED | RUN_UPDATED;
  EXPECT_EQ(Verdict(), 2);
  EXPECT_STREQ(OutcomeWord(TheRunFacts().outcome), "interrupted");
}

// A replay that the utility called a success is judged by what the marked
// ports hold afterwards, when the run looked.
TEST_F(UpdateDriverTest, ReplayOutcomeFollowsWhatTheMarkedPortsHold) {
  const struct {
    const char* first;
    const char* second;
    const char* outcome;
  } cases[] = {
      {"4.0.556", "4.0.556", "replayed"},
      {"4.0.556", "4.0.555", "updated-with-errors"},
      {"4.0.555", "4.0.555", "failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    ResetRunFactsForTesting();
    for (const char* installed : {c.first, c.second}) {
      NicRecord nic;
      nic.installedText = installed;
      nic.installedVersion.Parse(installed);
      nic.availableVersion.Parse("4.0.556");
      NotePort(nic, PortStanding::kServed);
      TheRunFacts().ports.back().markedForFlash = true;
    }
    RunFlags = RUN_UPDATED | RUN_READ_REPORT;
    EXPECT_EQ(Verdict(), 2);
    EXPECT_STREQ(OutcomeWord(TheRunFacts().outcome), c.outcome);
  }
}

}  // namespace
