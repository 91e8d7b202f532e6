#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ui/test_support.h"
#include "ui/user_interface.h"

namespace {

// A UserInterface whose answers come from a file holding the given input;
// the console output of every test is captured, and Console() hands it over.
class AskTest : public testing::Test {
 protected:
  void SetUp() override {
    RunFlags = 0;
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    RunFlags = 0;
    if (!consoleTaken_)
      Console();
    if (input_)
      std::fclose(input_);
  }

  std::string Console() {
    consoleTaken_ = true;
    return testing::internal::GetCapturedStdout();
  }

  void Type(const std::string& input) {
    const std::string path = inputDir_.File("answers.txt");
    WriteBinaryFile(path, input);
    input_ = std::fopen(path.c_str(), "r");
    ASSERT_NE(input_, nullptr);
    log_.ui().SetInput(input_);
  }

  // Asks with the empty-line answer YES and the silent answer YES, so that the
  // fallback NO is told apart from both.
  std::int32_t AskDefaultYes() {
    return log_.ui().Ask("Update?", ANSWER_YES, ANSWER_YES, ANSWER_YES, "y");
  }

  TempDir inputDir_;
  InstalledLog log_;
  std::FILE* input_ = nullptr;
  bool consoleTaken_ = false;
};

TEST_F(AskTest, RecognisedAnswersInAnyCase) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"y", ANSWER_YES},       {"Y", ANSWER_YES},         {"yes", ANSWER_YES},
      {"YES", ANSWER_YES},     {"yEs", ANSWER_YES},       {"q", ANSWER_QUIT},
      {"Q", ANSWER_QUIT},      {"Quit", ANSWER_QUIT},     {"c", ANSWER_SKIP},
      {"C", ANSWER_SKIP},      {"n", ANSWER_NO},          {"No", ANSWER_NO},
      {"nonsense", ANSWER_NO}, {"never mind", ANSWER_NO},
  };
  std::string input;
  for (const auto& [line, expected] : cases)
    input += line + "\n";
  Type(input);
  for (const auto& [line, expected] : cases)
    EXPECT_EQ(AskDefaultYes(), expected) << line;
}

TEST_F(AskTest, AlmostRecognisedAnswersCountAsNo) {
  const std::vector<std::string> lines = {" y", "y ", "ye", "yess", "cancel", "quitnow",
                                          "x",  "qu", "c ", "\ty",  "1"};
  std::string input;
  for (const auto& line : lines)
    input += line + "\n";
  Type(input);
  for (const auto& line : lines)
    EXPECT_EQ(AskDefaultYes(), ANSWER_NO) << "'" << line << "'";
}

TEST_F(AskTest, EmptyLineGivesTheEmptyLineAnswerAndLastLineNeedsNoNewline) {
  Type("\n\ny");
  EXPECT_EQ(log_.ui().Ask("A?", ANSWER_NO, ANSWER_NO, ANSWER_YES, "y"), ANSWER_YES);
  EXPECT_EQ(log_.ui().Ask("B?", ANSWER_YES, ANSWER_YES, ANSWER_NO, "n"), ANSWER_NO);
  EXPECT_EQ(log_.ui().Ask("C?", ANSWER_NO, ANSWER_NO, ANSWER_NO, "n"), ANSWER_YES);
}

// A line typed at a Windows terminal, or written there, ends in CR LF: the CR
// belongs to the line end and the answer means what it means without it. Every
// trailing CR goes, as the Windows runtime folds a CR before CR LF into the line.
TEST_F(AskTest, CarriageReturnBeforeTheLineEndIsNotPartOfTheAnswer) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"y\r\n", ANSWER_YES},  {"No\r\n", ANSWER_NO},   {"quit\r\n", ANSWER_QUIT},
      {"c\r\n", ANSWER_SKIP}, {"y\r\r\n", ANSWER_YES}, {"\r\n", ANSWER_SKIP},
      {"y\rx\n", ANSWER_NO},  {"y\r", ANSWER_YES},  // the last line, without its LF
  };
  std::string input;
  for (const auto& [line, expected] : cases)
    input += line;
  Type(input);
  for (const auto& [line, expected] : cases)
    EXPECT_EQ(log_.ui().Ask("Update?", ANSWER_NO, ANSWER_NO, ANSWER_SKIP, "n"), expected) << line;
#ifndef _WIN32
  // The log keeps what was read, CR and all (the Windows runtime reads CR LF as
  // LF before the program sees it).
  EXPECT_NE(log_.Text().find("(n):y\r\n"), std::string::npos);
  EXPECT_NE(log_.Text().find("(n):\r\n"), std::string::npos);
#endif
}

// An interrupt ends the wait for an answer as q does: one that came before the
// question is not read at all, one that broke the read off is told from the
// end of the input. The question's line ends, unanswered, and nothing else is said.
TEST_F(AskTest, InterruptAnswersQuit) {
  Type("y\n");
  static bool arrived = false;
  static bool brokeOffRead = false;
  log_.ui().SetInterruptProbe([] { return arrived; }, [] { return brokeOffRead; });
  arrived = true;
  EXPECT_EQ(AskDefaultYes(), ANSWER_QUIT);
  arrived = false;
  EXPECT_EQ(AskDefaultYes(), ANSWER_YES) << "the typed answer was left for the next question";
  brokeOffRead = true;
  EXPECT_EQ(AskDefaultYes(), ANSWER_QUIT) << "the read failed at the end of the input";
  log_.ui().SetInterruptProbe(nullptr, nullptr);
  const std::string question = "Update? y/n/q/c (y):";
  EXPECT_EQ(Console(), question + "\n" + question + question + "\n");
  EXPECT_EQ(log_.Text(), question + "\n" + question + "y\n" + question + "\n");
}

TEST_F(AskTest, QuestionOnConsoleAndLogWithTheAnswerVerbatimAfterIt) {
  Type("Yes\n");
  EXPECT_EQ(log_.ui().Ask("Port 1:\nUpdate it?", ANSWER_NO, ANSWER_YES, ANSWER_NO, "n"),
            ANSWER_YES);
  EXPECT_EQ(Console(), "Port 1:\nUpdate it? y/n/q/c (n):");
  EXPECT_EQ(log_.Text(), "Port 1:\nUpdate it? y/n/q/c (n):Yes\n");
}

TEST_F(AskTest, PromptIsNotTakenAsAFormat) {
  Type("n\n");
  log_.ui().Ask("100%s %d sure?", ANSWER_NO, ANSWER_NO, ANSWER_NO, "n");
  EXPECT_EQ(log_.Text(), "100%s %d sure? y/n/q/c (n):n\n");
}

TEST_F(AskTest, LongLineIsReadIn79CharacterPieces) {
  const std::string first(79, 'y');
  Type(first + "quit\n");
  EXPECT_EQ(AskDefaultYes(), ANSWER_NO);
  EXPECT_EQ(AskDefaultYes(), ANSWER_QUIT);
  EXPECT_EQ(log_.Text(), "Update? y/n/q/c (y):" + first + "Update? y/n/q/c (y):quit\n");
}

TEST_F(AskTest, QuestionLongerThan256IsWrittenInFull) {
  const std::string prompt(1000, 'p');
  Type("c\n");
  EXPECT_EQ(log_.ui().Ask(prompt, ANSWER_NO, ANSWER_NO, ANSWER_NO, "n"), ANSWER_SKIP);
  EXPECT_EQ(Console(), prompt + " y/n/q/c (n):");
  EXPECT_EQ(log_.Text(), prompt + " y/n/q/c (n):c\n");
}

TEST_F(AskTest, EndOfInputAnswersNoWithItsMessageEveryTime) {
  Type("");
  EXPECT_EQ(AskDefaultYes(), ANSWER_NO);
  EXPECT_EQ(AskDefaultYes(), ANSWER_NO);
  const std::string oneAsk = "Update? y/n/q/c (y):Unknown input problem!\nQuit...\n";
  EXPECT_EQ(Console(), oneAsk + oneAsk);
  EXPECT_EQ(log_.Text(), oneAsk + oneAsk);
}

TEST_F(AskTest, SilentAndAssumeDefaultAnswerWithoutAskingOrReading) {
  Type("q\n");
  log_.ui().Configure(true, false, false);
  EXPECT_EQ(log_.ui().Ask("S?", ANSWER_NO, ANSWER_YES, ANSWER_SKIP, "n"), ANSWER_NO);
  RunFlags = RUN_FORCE;
  EXPECT_EQ(log_.ui().Ask("S?", ANSWER_NO, ANSWER_YES, ANSWER_SKIP, "n"), ANSWER_YES);

  // Assume-default ignores RUN_FORCE.
  log_.ui().Configure(false, false, true);
  EXPECT_EQ(log_.ui().Ask("D?", ANSWER_NO, ANSWER_YES, ANSWER_SKIP, "n"), ANSWER_NO);
  RunFlags = 0;
  EXPECT_EQ(log_.ui().Ask("D?", ANSWER_YES, ANSWER_NO, ANSWER_SKIP, "y"), ANSWER_YES);

  // None of them asked or read: the typed answer is still there for a
  // question that is really asked, and only that one shows.
  log_.ui().Configure(false, false, false);
  EXPECT_EQ(AskDefaultYes(), ANSWER_QUIT);
  EXPECT_EQ(Console(), "Update? y/n/q/c (y):");
  EXPECT_EQ(log_.Text(), "Update? y/n/q/c (y):q\n");
}

}  // namespace
