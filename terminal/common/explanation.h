// terminal/common/explanation.h: why Mimoza says what it says, for the terminal program: the
// record of a lookup and of a turn as they run, the "なぜ" box of the last turn, the JSON-lines
// explanation event, and the report of `mimoza explain`.
// Leaves this file: kWhyCaption, LookupRecorder, TurnRecorder, ExplanationEvent, ExplainReport.
// Tested by tests/terminal/explain_test.cpp and, through the built program,
// tests/terminal/program_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversation/conversation.h"

namespace mimoza {

// The caption of the box that explains the last turn, "なぜ".
inline constexpr char kWhyCaption[] = "\xE3\x81\xAA\xE3\x81\x9C";

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
    std::string text;  // as a draw copies it
    int32_t key = -1;  // index in keys of the key it follows; -1 when that key was not kept
    bool cut = false;  // text is only the beginning of the answer
  };
  // A key the lookup could not search to its end (it counts as not matching).
  struct Unsearched {
    uint64_t line = 0;
    std::string text;
    UnsearchedReason reason = UnsearchedSteps;
  };

  void LookupStarted() override;
  void KeyMatched(const MatchedKey& key) override;
  void AnswerPooled(const char* text) override;
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
  void AnswerPooled(const char* text) override { Current().AnswerPooled(text); }
  void LookupEnded(int32_t size, int32_t index) override { Current().LookupEnded(size, index); }
  void KeyUnsearched(const UnsearchedKey& key) override { Current().KeyUnsearched(key); }
  void TurnAbandoned() override { abandoned = true; }

  // Describe: the turn as the "なぜ" box shows it, UTF-8; empty before the first turn.
  std::string Describe() const;

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

// ExplanationEvent: the JSON-lines answer to {"explain":T} (without its line end): what the next
// idle turn would do with T, from the conversation's dictionary; changes nothing. utf8 is T as
// sent; the event's line is T as explained (converted to code page 932 and cut, then back to
// UTF-8), and spans count its characters; "unsearched" lists the keys not searched to their end,
// when there are some.
std::string ExplanationEvent(Conversation& conversation, std::string_view utf8);

// ExplainReport: the report `mimoza explain` prints for one line (code page 932, not empty): the
// keys that match it, the answers they pool with their exact odds, the quip's chance and what
// the turn would do; the dictionary is only read.
std::string ExplainReport(Dictionary& dictionary, const std::string& line);

}  // namespace mimoza
