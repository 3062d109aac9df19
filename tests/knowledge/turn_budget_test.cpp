// tests/knowledge/turn_budget_test.cpp: lookups within their slice of a turn's budget: hostile
// dictionaries (a thousand distinct slow keys before an ordinary one) on a short and on a whole
// line, the same verdicts whatever the keys' order, a second lookup or a fresh dictionary; and a
// dictionary without slow keys answering exactly as every key searched on its own would.
#include <random>
#include <set>
#include <string>
#include <vector>

#include "knowledge/dictionary_format.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::Cp932;
using testing::InTempDir;
using testing::WriteBytes;

// What a lookup decided: the matched keys and those not searched to their end, by text.
class Verdicts final : public LookupObserver {
 public:
  void LookupStarted() override {}
  void KeyMatched(const MatchedKey& key) override {
    matched.insert(std::string(key.text, key.length));
  }
  void AnswerPooled(const char*, uint64_t) override {}
  void LookupEnded(int32_t, int32_t) override {}
  void KeyUnsearched(const UnsearchedKey& key) override {
    unsearched.insert(std::string(key.text, key.length));
  }
  bool operator==(const Verdicts& other) const {
    return matched == other.matched && unsearched == other.unsearched;
  }
  std::set<std::string> matched;
  std::set<std::string> unsearched;
};

std::string Entry(const std::string& key, const std::string& answer) {
  return "<KEY>" + key + "</KEY>\r\n<ANS>" + answer + "</ANS>\r\n";
}

class TurnBudgetTest : public InTempDir {
 protected:
  // Observe: one line's lookup in a turn of its own; the steps it took must fit its slices.
  static Verdicts Observe(Dictionary& dictionary, const std::string& line) {
    Verdicts verdicts;
    TurnBudget turn;
    dictionary.SetTurn(&turn);
    dictionary.ObserveLookup(line.c_str(), PatternKey, verdicts);
    dictionary.SetTurn(nullptr);
    EXPECT_LE(turn.Used(), kLineLookupSteps + kLineSpanSteps);
    return verdicts;
  }
};

TEST_F(TurnBudgetTest, HostileDictionariesStayWithinTheTurn) {
  const std::string shortLine = Cp932("今日はいい天気ですね。");
  const std::string longLine(kMaxLineBytes, 'a');
  const struct {
    const char* open;  // a slow key: open, then first + i, then close
    int first;
    const char* close;
    const std::string* line;
    std::string ordinary;  // a key that needs a search and must still match
  } kCases[] = {
      {"(.?){", 3000, "}.{5990}", &shortLine, Cp932("^今日.*ね。$")},
      {"(.?){", 3000, "}.{5990}", &longLine, "^aa"},
      {"(a?){", 8000, "}a{5990}", &shortLine, Cp932("^今日.*ね。$")},
      {"(a?){", 8000, "}a{5990}", &longLine, "^aa"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.open) + c.close + (c.line == &longLine ? " on a whole line" : ""));
    std::vector<std::string> slow;
    slow.reserve(1000);
    for (int i = 0; i < 1000; ++i) slow.push_back(c.open + std::to_string(c.first + i) + c.close);
    std::string text;
    for (const std::string& key : slow) text += Entry(key, "slow");
    text += Entry(c.ordinary, "ordinary");
    WriteBytes("Dictionary.txt", text);

    Dictionary kept;
    const Verdicts first = Observe(kept, *c.line);
    EXPECT_EQ(first.matched, std::set<std::string>{c.ordinary});
    EXPECT_FALSE(first.unsearched.empty());
    EXPECT_EQ(first.unsearched.count(c.ordinary), 0u);
    char out[kLineBufferBytes + 1] = {};
    EXPECT_TRUE(kept.LookupAnswer(c.line->c_str(), PatternKey, out, kMaxLineBytes));
    EXPECT_STREQ(out, "ordinary");
    // A second turn, a fresh dictionary and the file in reverse order decide alike.
    EXPECT_TRUE(Observe(kept, *c.line) == first);
    Dictionary fresh;
    EXPECT_TRUE(Observe(fresh, *c.line) == first);
    std::string reversed = Entry(c.ordinary, "ordinary");
    for (auto key = slow.rbegin(); key != slow.rend(); ++key) reversed += Entry(*key, "slow");
    WriteBytes("Dictionary.txt", reversed);
    EXPECT_TRUE(Observe(kept, *c.line) == first);
    // What is kept between lookups stays bounded, held entries included.
    EXPECT_LE(kept.MemoryBytes(), kMaxKeptBytes + 16 * reversed.size());
  }
}

// The keys that need more than the first share share what the first round left: two slow keys
// among a hundred quick ones are searched to their end; among two hundred slow ones, none is.
TEST_F(TurnBudgetTest, KeysThatNeedMoreShareWhatIsLeft) {
  const std::string line(kMaxLineBytes, 'a');
  // Both need a search (no text they must contain is missing); the slow one walks the whole line
  // deep, for more than a share of 200 keys, and finds nothing.
  const auto quick = [](int i) { return "^a\\d|y" + std::to_string(i); };
  const auto slow = [](int i) { return "(a|aa)*\\d|x" + std::to_string(i); };
  std::string text;
  for (int i = 0; i < 100; ++i) text += Entry(quick(i), "quick");
  text += Entry(slow(0), "slow") + Entry(slow(1), "slow");
  WriteBytes("Dictionary.txt", text);
  Dictionary dictionary;
  EXPECT_TRUE(Observe(dictionary, line).unsearched.empty());
  for (int i = 2; i < 200; ++i) text += Entry(slow(i), "slow");
  WriteBytes("Dictionary.txt", text);
  const Verdicts crowded = Observe(dictionary, line);
  EXPECT_EQ(crowded.unsearched.size(), 200u);
  EXPECT_EQ(crowded.unsearched.count(quick(0)), 0u);
}

// The old verdicts, each key searched on its own: the pool a lookup must draw from when no key
// comes near its share.
std::string DrawnAlone(const std::string& stored, const std::string& subject, uint32_t seed) {
  std::string text = stored;
  text.resize(FoldTextLineEnds(text.data(), text.size()));
  DictionaryElements elements;
  if (!elements.Read(text.data(), text.size())) return "<memory>";
  struct Pool {
    std::vector<uint64_t> starts;
    bool Full() const { return starts.size() >= static_cast<size_t>(kMaxAnswers); }
    bool Add(uint64_t start) {
      starts.push_back(start);
      return true;
    }
  } pool;
  WalkEntries(
      elements, text.size(), pool,
      [&](size_t k) {
        const std::string key(elements.KeyText(elements.Keys()[k]));
        return MatchesPattern(key.c_str(), subject.c_str());
      },
      [](size_t) {});
  if (pool.starts.empty()) return "<none>";
  srand(seed);
  const auto start = static_cast<size_t>(
      pool.starts[static_cast<size_t>(RandomInt(0, static_cast<int32_t>(pool.starts.size()) - 1))]);
  return text.substr(start, AnswerTextLength(text.data(), text.size(), start));
}

TEST_F(TurnBudgetTest, WithoutSlowKeysEveryDrawIsAsBefore) {
  const char* const kPieces[] = {"a",   "b",   "\x82\xa0", "\x82\xa2", ".",       "*", "+",
                                 "?",   "|",   "(",        ")",        "[ab]",    "^", "$",
                                 "{2}", "\\d", "1",        "x",        "\x83\x5c"};
  const char* const kSubjects[] = {"a", "b", "\x82\xa0", "\x82\xa2", "1", "x", "ab", "\r\n"};
  std::mt19937 rng(20261211);
  Dictionary dictionary;
  int answered = 0;
  for (int round = 0; round < 60; ++round) {
    std::string stored;
    for (int e = 0; e < 40; ++e) {
      std::string key;
      for (size_t n = rng() % 6 + 1; n > 0; --n) key += kPieces[rng() % std::size(kPieces)];
      stored += Entry(key, "answer" + std::to_string(e));
    }
    std::string subject;
    for (size_t n = rng() % (round % 3 == 0 ? 2000 : 12) + 1; n > 0; --n) {
      subject += kSubjects[rng() % std::size(kSubjects)];
    }
    WriteBytes("Dictionary.txt", stored);
    for (uint32_t seed : {1u, 77u, 4242u}) {
      const std::string expected = DrawnAlone(stored, subject, seed);
      char out[kLineBufferBytes + 1] = {};
      srand(seed);
      const bool found = dictionary.LookupAnswer(subject.c_str(), PatternKey, out, kMaxLineBytes);
      EXPECT_EQ(found ? std::string(out) : "<none>", expected) << stored << " / " << subject;
      answered += found ? 1 : 0;
    }
  }
  EXPECT_GT(answered, 60);
}

}  // namespace
}  // namespace mimoza
