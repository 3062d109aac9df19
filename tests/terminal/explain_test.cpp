// tests/terminal/explain_test.cpp: the record of a turn and the explanation of a line, against
// the turns that really ran: same seed, same files, with and without an observer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "terminal/common/encoding.h"
#include "terminal/common/explanation.h"
#include "terminal/common/words.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

// A host that keeps what the engine shows, one "|"-ended item each.
class ShownHost final : public ConversationHost {
 public:
  void SetTitle(const char*) override {}
  void SetResponseLine(const char* text) override {
    shown += std::string(text == nullptr ? "(null)" : text) + "|";
  }
  void SetInputText(const char*) override { shown += "(input)|"; }
  bool IsControlKeyDown() override { return false; }
  void ShowInfoBox(const char*, const char*) override {}
  std::string shown;
};

class ExplainTest : public testing::InTempDir {
 protected:
  // Files: both data files as the system keeps them (code page 932, CR LF); null removes one.
  static void Files(const char* dictionary, const char* quips) {
    for (const auto& [name, utf8] :
         {std::pair{"Dictionary.txt", dictionary}, {"Boke.dat", quips}}) {
      std::filesystem::remove(name);
      if (utf8 == nullptr) continue;
      std::string text;
      for (const char c : ToCp932(utf8))
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
      std::ofstream(name, std::ios::binary) << text;
    }
  }
  static std::string Read(const char* name) { return testing::ReadBytes(name); }
};

// SeedRolling: the index-th seed whose first draw, RandomInt(0, 9), gives roll.
uint32_t SeedRolling(int32_t roll, int index) {
  uint32_t seed = 100000;
  for (int found = -1; found < index;) {
    srand(++seed);
    if (RandomInt(0, 9) == roll) ++found;
  }
  return seed;
}

// QuipLine: the 1-based line of the quip file as the engine shows it (with its LF).
std::string QuipLine(const char* quips, int32_t line) {
  std::istringstream in(quips);
  std::string text;
  for (int32_t i = 0; i < line; ++i) std::getline(in, text);
  return ToCp932(text + "\n");
}

constexpr const char* kCats =
    "<KEY><SMES0></KEY>\n<ANS>ミモザ</ANS>\n<KEY>ねこ</KEY>\n<ANS>にゃーん</ANS>\n"
    "<ANS>ごろごろ</ANS>\n<KEY>いぬ</KEY>\n<ANS>わん</ANS>\n<KEY>好き$</KEY>\n<ANS>すき</ANS>\n"
    "<ANS>にゃーん</ANS>\n";
constexpr const char* kQuips = "ぼけ\nつっこみ\nなんでやねん\n";

TEST_F(ExplainTest, TheTraceAgreesWithTheTurnThatRan) {
  const struct {
    const char* name;
    const char* quips;
    const char* line;
    int32_t roll;
    TurnOutcome outcome;  // as explained beforehand
    bool quipDrawn;
    TurnBranch branch;
  } kCases[] = {
      {"answer", kQuips, "ねこが好き", 0, OutcomeAnswer, false, BranchAnswered},
      {"the roll's quip beats the answer", kQuips, "ねこが好き", 1, OutcomeAnswer, true,
       BranchAnswered},
      {"a roll of 1 without quips falls through", nullptr, "ねこが好き", 1, OutcomeAnswer, false,
       BranchAnswered},
      {"quip for a line the dictionary does not know", kQuips, "うさぎ", 7, OutcomeQuip, true,
       BranchAnswered},
      {"offer", nullptr, "うさぎ", 1, OutcomeOffer, false, BranchOfferLearn},
      {"clear", nullptr, "ab", 0, OutcomeClear, false, BranchCleared},
  };
  for (const auto& c : kCases) {
    for (int variant = 0; variant < 3; ++variant) {
      SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(variant));
      const uint32_t seed = SeedRolling(c.roll, variant);
      const std::string line = ToCp932(c.line);
      // The turn with its record, after an explanation of the same line.
      Files(kCats, c.quips);
      ShownHost host;
      Conversation engine(host);
      TurnRecorder trace;
      engine.SetTurnObserver(&trace);
      engine.OpenConversation();
      LookupRecorder explained;
      const LineOdds odds = engine.ExplainLine(line.c_str(), explained);
      srand(seed);
      engine.SubmitLine(line.c_str());
      const int32_t after = rand();
      // The same turn without either.
      Files(kCats, c.quips);
      ShownHost plainHost;
      Conversation plain(plainHost);
      plain.OpenConversation();
      srand(seed);
      plain.SubmitLine(line.c_str());
      EXPECT_EQ(host.shown, plainHost.shown);
      EXPECT_EQ(rand(), after);

      EXPECT_EQ(odds.outcome, c.outcome);
      EXPECT_EQ(trace.roll, c.roll);
      EXPECT_EQ(trace.quipLines, c.quips != nullptr ? 3 : 0);
      EXPECT_EQ(trace.quipDrawn, c.quipDrawn);
      EXPECT_EQ(trace.branch, c.branch);
      // The lookup the turn ran (or the quip made needless) is the one explained.
      ASSERT_EQ(trace.response.keys.size(), explained.keys.size());
      for (size_t k = 0; k < explained.keys.size(); ++k) {
        EXPECT_EQ(trace.response.keys[k].line, explained.keys[k].line);
        EXPECT_EQ(trace.response.keys[k].text, explained.keys[k].text);
        EXPECT_EQ(trace.response.keys[k].spanStart, explained.keys[k].spanStart);
        EXPECT_EQ(trace.response.keys[k].spanEnd, explained.keys[k].spanEnd);
      }
      ASSERT_EQ(trace.response.poolSize, odds.poolSize);
      for (int32_t i = 0; i < odds.poolSize; ++i) {
        EXPECT_EQ(trace.response.answers[i].text, explained.answers[i].text);
      }
      // What was shown is what the record says was drawn, and it had a chance.
      if (c.quipDrawn) {
        EXPECT_EQ(host.shown, QuipLine(c.quips, trace.quip.line) + "|");
        EXPECT_EQ(trace.response.drawn, -1);
        EXPECT_GT(QuipLineOdds(odds, trace.quip.line), 0);
      } else if (c.branch == BranchAnswered) {
        ASSERT_GE(trace.response.drawn, 0);
        EXPECT_EQ(host.shown, trace.response.answers[trace.response.drawn].text + "|");
        EXPECT_GT(AnswerOdds(odds, trace.response.drawn), 0);
      } else {
        EXPECT_EQ(odds.nothing, kOddsDenominator);
      }
      EXPECT_EQ(trace.prompt, c.branch == BranchOfferLearn ? &kOfferLearnKey : nullptr);
      EXPECT_NE(ShownText(DescribeTurn(trace, LanguageEnglish))
                    .find("quip roll: " + std::to_string(c.roll)),
                std::string::npos);
    }
  }
}

TEST_F(ExplainTest, OddsAddUpToOne) {
  for (int32_t pool : {0, 1, 2, 3, 7, 10, 4096, 32769, 65536}) {
    for (int32_t quips : {0, 1, 3, 12, 32768, 60000}) {
      for (size_t bytes : {size_t{2}, size_t{4}}) {
        const LineOdds odds = LineOddsFor(pool, quips, bytes);
        int64_t answers = 0;
        for (int32_t i = 0; i < pool; ++i) answers += AnswerOdds(odds, i);
        int64_t lines = 0;
        for (int32_t i = 1; i <= quips; ++i) lines += QuipLineOdds(odds, i);
        EXPECT_EQ(answers + odds.quip + odds.nothing, kOddsDenominator) << pool << " " << quips;
        EXPECT_EQ(lines, odds.quip) << pool << " " << quips;
      }
    }
  }
  EXPECT_EQ(QuipRollOutputs(), 3277);
  EXPECT_EQ(LineOddsFor(5, 1, 2).quip, int64_t{3277} * kGeneratorOutputs);
}

// A learned line that is a sound pattern is stored as it is, so "SMES" matches every prompt's
// key: its answer joins the pools the prompts are drawn from, and the record says so, with the
// answer's own line (the line after its key's).
TEST_F(ExplainTest, ALearnedKeyJoinsAPromptsPool) {
  Files(nullptr, nullptr);
  ShownHost host;
  Conversation engine(host);
  TurnRecorder trace;
  engine.SetTurnObserver(&trace);
  engine.OpenConversation();
  for (const char* line : {"SMES", "うん", "えす", "いぬいぬ", "うん"}) {
    engine.SubmitLine(ToCp932(line).c_str());
  }
  ASSERT_EQ(trace.branch, BranchAskAnswer);
  ASSERT_EQ(trace.prompt, &kAskAnswerKey);
  const std::string text = Read("Dictionary.txt");
  const size_t at = text.find("<KEY>SMES</KEY>");
  ASSERT_NE(at, std::string::npos);
  const auto line = static_cast<uint64_t>(std::count(text.data(), text.data() + at, '\n') + 1);
  bool joined = false;
  for (const LookupRecorder::Answer& answer : trace.promptPool.answers) {
    if (answer.key < 0 || answer.text != ToCp932("えす")) continue;
    const LookupRecorder::Key& key = trace.promptPool.keys[static_cast<size_t>(answer.key)];
    joined = key.text == "SMES" && key.line == line && answer.line == line + 1;
  }
  EXPECT_TRUE(joined);
  const std::string why = ShownText(DescribeTurn(trace, LanguageEnglish));
  EXPECT_NE(why.find("Dictionary.txt:" + std::to_string(line + 1) + " (key SMES)"),
            std::string::npos)
      << why;
}

// Explaining reads the files and the generator's state but changes neither: the files stay byte
// for byte, nothing is seeded, and the next turn draws what it would have drawn anyway.
TEST_F(ExplainTest, ExplainingChangesNothing) {
  for (const char* utf8 : {"ねこが好き", "うさぎ", "ab", "SMES"}) {
    SCOPED_TRACE(utf8);
    Files("<KEY>ねこ</KEY>\n<ANS>にゃーん</ANS>\n<ANS>ごろごろ</ANS>\n", kQuips);
    const std::string quips = Read("Boke.dat");
    ShownHost explainedHost;
    Conversation explained(explainedHost);
    explained.OpenConversation();
    ShownHost plainHost;
    Conversation plain(plainHost);
    plain.OpenConversation();
    const std::string opened = Read("Dictionary.txt");  // with the title seeded by opening

    srand(4242);
    EXPECT_FALSE(ExplanationEvent(explained, utf8).empty());
    LookupRecorder prompt;
    Dictionary separate;
    ExplainPrompt(separate, kOfferLearnKey, prompt);
    EXPECT_EQ(Read("Dictionary.txt"), opened);
    EXPECT_EQ(Read("Boke.dat"), quips);
    explained.SubmitLine(ToCp932(utf8).c_str());
    srand(4242);
    plain.SubmitLine(ToCp932(utf8).c_str());
    EXPECT_EQ(explainedHost.shown, plainHost.shown);
    EXPECT_EQ(explained.State(), plain.State());
  }
}

}  // namespace
}  // namespace mimoza
