// conversation/turn_record.h: why Mimoza says what it says, for every face: the record of a
// lookup and of a turn as they run, and their words: the record of the last turn (the why box,
// panel and window) and the report of `mimoza explain`, composed from the message table in a
// language, code page 932.
// Leaves this file: LookupRecorder, TurnRecorder, PoolSource, PoolText, DistinctAnswers,
// ReducedFraction, OneLine, DescribeTurn, ExplainReport. Tested by tests/terminal/explain_test.cpp
// (against the turns that ran), tests/conversation/messages_test.cpp (the words in Japanese) and,
// through the built program, tests/terminal/program_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversation/conversation.h"
#include "conversation/messages.h"

namespace mimoza {

// LookupRecorder: what the latest lookup told it, texts kept as code page 932.
class LookupRecorder final : public LookupObserver {
 public:
  // Keys and answer text kept (knowledge/limits.h says why); the rest are only counted, or cut.
  static constexpr size_t kMaxKeys = kMaxExplainKeys;
  static constexpr size_t kMaxAnswerBytes = kMaxExplainAnswerBytes;
  static constexpr size_t kCutAnswerBytes = kCutExplainAnswerBytes;

  struct Key {
    uint64_t line = 0;  // of its "<KEY" in Dictionary.txt (0: unknown)
    std::string text;
    bool spanFound = false;  // its match in the subject, byte offsets
    size_t spanStart = 0;
    size_t spanEnd = 0;
  };
  struct Answer {
    std::string text;   // as a draw copies it
    uint64_t line = 0;  // of its own "<ANS>" in Dictionary.txt (0: unknown)
    int32_t key = -1;   // index in keys of the key it follows; -1 when that key was not kept
    bool cut = false;   // text is only the beginning of the answer
  };
  // A key the lookup could not search to its end (it counts as not matching).
  struct Unsearched {
    uint64_t line = 0;
    std::string text;
    UnsearchedReason reason = UnsearchedSteps;
  };

  void LookupStarted() override;
  void KeyMatched(const MatchedKey& key) override;
  void AnswerPooled(const char* text, uint64_t line) override;
  void LookupEnded(int32_t size, int32_t index) override;
  void KeyUnsearched(const UnsearchedKey& key) override;

  std::vector<Key> keys;
  size_t keysNotKept = 0;
  std::vector<Unsearched> unsearched;  // in file order, at most kMaxKeys
  size_t unsearchedNotKept = 0;
  std::vector<Answer> answers;  // the pool, in order
  int32_t poolSize = 0;         // as the lookup ended: 0 when it yields nothing
  int32_t drawn = -1;           // the index drawn, -1 when none
  int32_t lookups = 0;          // started since the last Clear (a seeded prompt takes two)

  void Clear();

 private:
  size_t answerBytes = 0;
  bool keyKept = false;  // the latest key told was kept
};

// TurnRecorder: the record of the last turn, made while the engine runs it.
class TurnRecorder final : public TurnObserver {
 public:
  void TurnStarted(ConversationState state, const char* line) override;
  void QuipRolled(int32_t roll, int32_t quipLines) override;
  void QuipDrawn(const QuipPick& pick) override;
  void PromptStarted(const ReservedKey& key) override;
  void TurnEnded(TurnBranch branch, ReplyKind reply) override;
  void LookupStarted() override { Current().LookupStarted(); }
  void KeyMatched(const MatchedKey& key) override { Current().KeyMatched(key); }
  void AnswerPooled(const char* text, uint64_t answerLine) override {
    Current().AnswerPooled(text, answerLine);
  }
  void LookupEnded(int32_t size, int32_t index) override { Current().LookupEnded(size, index); }
  void KeyUnsearched(const UnsearchedKey& key) override { Current().KeyUnsearched(key); }
  void TurnAbandoned() override { abandoned = true; }

  bool started = false;
  std::string line;  // code page 932
  ConversationState state = Idle;
  int32_t roll = -1;
  int32_t quipLines = 0;
  bool quipDrawn = false;
  QuipPick quip;
  LookupRecorder response;              // the line's lookup
  const ReservedKey* prompt = nullptr;  // the prompt the turn fetched, if any
  LookupRecorder promptPool;            // its lookup
  TurnBranch branch = BranchAnswered;
  ReplyKind reply = Neither;
  bool abandoned = false;  // the turn was abandoned: nothing of it was shown or stored

 private:
  LookupRecorder& Current() { return prompt != nullptr ? promptPool : response; }
};

// Where an answer of a pool stands, and the key that pooled it.
struct PoolSource {
  uint64_t line;  // of the answer's "<ANS>" (0: unknown)
  int32_t key;    // index in the pool's keys (-1: not kept)
};

// One distinct text of a pool, with its chance summed over the answers that hold it.
struct PoolText {
  std::string text;  // code page 932
  bool cut = false;
  int64_t odds = 0;
  std::vector<PoolSource> sources;  // of the answers that hold it, each source once, pool order
  bool drawn = false;
};

// DistinctAnswers: the pool's texts in the order they first occur, each chance summed from
// oddsOf(index). Cut texts are never merged: two may differ after what was kept.
std::vector<PoolText> DistinctAnswers(const LookupRecorder& pool,
                                      const std::function<int64_t(int32_t)>& oddsOf);

// ReducedFraction: num/den in lowest terms (den > 0).
std::pair<int64_t, int64_t> ReducedFraction(int64_t num, int64_t den);

// OneLine: a text of the files or of the user, as the record quotes it: its final line break
// dropped, every other line break (CR LF counts once) and tab a space, and a lead byte left
// standing last a "?", so that nothing after it in the record is read as its second byte. Other
// control bytes stay: each face shows them its harmless way.
std::string OneLine(std::string_view cp932);

// DescribeTurn: the record of the turn as the why box, panel and window show it, in language:
// code page 932 lines, each ending in "\n"; empty before the first turn.
std::string DescribeTurn(const TurnRecorder& turn, Language language);

// ExplainReport: the report `mimoza explain` prints for one line (code page 932, not empty), in
// language, code page 932 lines: the keys that match it, the answers they pool with their exact
// odds and their lines, the quip's chance and what the turn would do; the dictionary is only read.
std::string ExplainReport(Dictionary& dictionary, const std::string& line, Language language);

}  // namespace mimoza
