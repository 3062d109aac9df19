// conversation/explain.cpp: a line and the data files -> what the next idle turn would do with
// it, with the exact odds of each text it could show, without drawing or writing anything.
// Leaves this file: QuipRollOutputs, LineOddsFor, AnswerOdds, QuipLineOdds, ExplainLine,
// ExplainPrompt, Conversation::ExplainLine. Tested by tests/conversation/conversation_test.cpp
// (against turns that really ran).
//
// An idle turn without Ctrl (Conversation::DrawResponse, then the Idle case of SubmitLine):
// the first draw rolls for a quip; a quip counts only when the quip file gives a line, and the
// dictionary's lookup draws the second. So with answers and quips, the roll's share of outputs
// shows a quip and the rest an answer; with answers only, every roll ends in the lookup; with
// quips only, the roll or the fall-back after the empty lookup shows a quip; with neither, the
// line is offered for learning, or cleared when it is short.
#include <cstring>

#include "conversation/conversation.h"

namespace mimoza {

int32_t QuipRollOutputs() { return OutputsGiving(kQuipRoll, kQuipRollMax + 1); }

LineOdds LineOddsFor(int32_t poolSize, int32_t quipLines, size_t lineBytes) {
  LineOdds odds;
  odds.poolSize = poolSize > 0 ? poolSize : 0;
  odds.quipLines = quipLines > 0 ? quipLines : 0;
  if (odds.poolSize > 0) {
    odds.outcome = OutcomeAnswer;
    odds.quip = odds.quipLines > 0 ? int64_t{QuipRollOutputs()} * kGeneratorOutputs : 0;
  } else if (odds.quipLines > 0) {
    odds.outcome = OutcomeQuip;
    odds.quip = kOddsDenominator;
  } else {
    odds.outcome = lineBytes >= kMinLearnBytes ? OutcomeOffer : OutcomeClear;
    odds.nothing = kOddsDenominator;
  }
  return odds;
}

// The roll decides whether the answer is shown at all, the lookup's own draw which one: a pool's
// answers share what the roll leaves (everything when no quip can be drawn).
int64_t AnswerOdds(const LineOdds& odds, int32_t index) {
  if (odds.outcome != OutcomeAnswer) return 0;
  const int64_t unrolled =
      odds.quipLines > 0 ? kGeneratorOutputs - QuipRollOutputs() : kGeneratorOutputs;
  return unrolled * OutputsGiving(index, odds.poolSize);
}

// The quip's own draw picks the line, whichever way the turn came to draw a quip.
int64_t QuipLineOdds(const LineOdds& odds, int32_t line) {
  if (odds.quipLines == 0) return 0;
  return odds.quip / kGeneratorOutputs * OutputsGiving(line - 1, odds.quipLines);
}

namespace {

// PoolCounter: passes a lookup on to another observer and keeps the size of its pool.
class PoolCounter final : public LookupObserver {
 public:
  explicit PoolCounter(LookupObserver& theInner) : inner(theInner) {}
  void LookupStarted() override { inner.LookupStarted(); }
  void KeyMatched(const MatchedKey& key) override { inner.KeyMatched(key); }
  void AnswerPooled(const char* text, uint64_t line) override { inner.AnswerPooled(text, line); }
  void KeyUnsearched(const UnsearchedKey& key) override { inner.KeyUnsearched(key); }
  void LookupEnded(int32_t size, int32_t drawn) override {
    poolSize = size;
    inner.LookupEnded(size, drawn);
  }
  int32_t PoolSize() const { return poolSize; }

 private:
  LookupObserver& inner;
  int32_t poolSize = 0;
};

}  // namespace

LineOdds ExplainLine(Dictionary& dictionary, const char* line, LookupObserver& observer) {
  if (line == nullptr) line = "";
  PoolCounter counter(observer);
  dictionary.ObserveLookup(line, PatternKey, counter);
  return LineOddsFor(counter.PoolSize(), CountQuips(kQuipFile), std::strlen(line));
}

// Prompts are looked up with patterns once the conversation is open, so keys found inside the
// prompt's key (a learned line such as "SMES") join its pool.
bool ExplainPrompt(Dictionary& dictionary, const ReservedKey& key, LookupObserver& observer) {
  return dictionary.ObserveLookup(key.key, PatternKey, observer, LookupReserved);
}

LineOdds Conversation::ExplainLine(const char* line, LookupObserver& lookupObserver) {
  return mimoza::ExplainLine(dictionary, line, lookupObserver);
}

}  // namespace mimoza
