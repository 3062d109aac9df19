// conversation/conversation.h: the conversation engine's public interface.
// One Conversation per window (or terminal): it turns each submitted line into a response and
// runs the three-turn learning dialogue. It reaches its host only through ConversationHost.
// Leaves this file: ConversationState, ConversationHost, TurnBranch, TurnObserver, Conversation,
// TurnOutcome, LineOdds and the odds functions (conversation/explain.cpp), FitLineLength,
// kTextBufferSize, kInfoCaption. Tested by tests/conversation/conversation_test.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "knowledge/knowledge.h"

namespace mimoza {

// Text buffers of the conversation hold a whole line and a NUL.
inline constexpr size_t kTextBufferSize = kLineBufferBytes;

// A line this long (two double-byte characters) is worth offering for learning; anything
// shorter that finds nothing is cleared instead.
inline constexpr size_t kMinLearnBytes = 4;
// One turn in ten answers with a quip even when the dictionary knows the line: the turn's first
// draw, RandomInt(0, kQuipRollMax), asks for one when it gives kQuipRoll.
inline constexpr int32_t kQuipRollMax = 9;
inline constexpr int32_t kQuipRoll = 1;

// The caption of the box that shows a whole response, "内容"; hosts that show an older response
// in the same box use it too.
inline constexpr char kInfoCaption[] = "\x93\xE0\x97\x65";

enum ConversationState : int8_t {
  Idle = 0,             // no learning dialogue in progress
  AwaitingConsent = 1,  // asked whether to learn (or add to) a line; waits for yes/no
  AwaitingAnswer = 2,   // asked what to answer; the next line is stored as the answer
};

// What a host provides to the engine. Texts are code page 932 bytes; the host converts them.
class ConversationHost {
 public:
  virtual void SetTitle(const char* text) = 0;
  virtual void SetResponseLine(const char* text) = 0;  // null or empty clears the line
  virtual void SetInputText(const char* text) = 0;     // the engine only clears it (null)
  virtual bool IsControlKeyDown() = 0;  // Ctrl as of the input that submitted the line
  virtual void ShowInfoBox(const char* caption, const char* text) = 0;
  // StoreFailed: the learned pair could not be stored; error is the system's error number, or 0
  // when its texts would break the dictionary's tags. A host that can tell the user does; the
  // dialog, like this default, says nothing.
  virtual void StoreFailed(int error) { static_cast<void>(error); }

 protected:
  ~ConversationHost() = default;
};

// Which branch of the state table a turn ran.
enum TurnBranch : int8_t {
  BranchAnswered = 0,  // idle: the answer or quip drawn is shown
  BranchCleared,       // idle: nothing drawn for a line under 4 bytes: both lines cleared
  BranchOfferLearn,    // idle: nothing drawn: the offer to learn the line, <SMES1>
  BranchOfferAdd,      // idle, Ctrl held, something drawn: the offer to add an answer, <SMES4>
  BranchRefused,       // awaiting consent: the reply reads as No: the response line cleared
  BranchAskAnswer,     // awaiting consent: any other reply: the question, <SMES2>
  BranchLearned,       // awaiting the answer: the pair is stored: <SMES3>
  BranchNotStored,     // awaiting the answer: the pair could not be stored
};

// TurnObserver: told how each turn runs while it runs, for a host that explains its turns. The
// lookups of a turn (the line's, then a prompt's) are told through its LookupObserver side.
class TurnObserver : public LookupObserver {
 public:
  // TurnStarted: a turn for the line begins in state.
  virtual void TurnStarted(ConversationState state, const char* line) = 0;
  // QuipRolled: the turn's first draw gave roll (kQuipRoll asks for a quip); the quip file offers
  // quipLines lines (0: none).
  virtual void QuipRolled(int32_t roll, int32_t quipLines) = 0;
  // QuipDrawn: the turn drew this line of the quip file. A lookup told after it is one the quip
  // made needless: told for its pool only, nothing drawn from it.
  virtual void QuipDrawn(const QuipPick& pick) = 0;
  // PromptStarted: the lookups told next fetch the prompt under key (a second one when the first
  // found nothing and its default was stored).
  virtual void PromptStarted(const ReservedKey& key) = 0;
  // TurnEnded: the turn ran branch; reply is how a reply to the offer read (Neither otherwise).
  virtual void TurnEnded(TurnBranch branch, ReplyKind reply) = 0;
  // TurnAbandoned: the turn told since TurnStarted was abandoned (Conversation::RequestAbandon):
  // nothing of it was shown or stored.
  virtual void TurnAbandoned() {}

 protected:
  ~TurnObserver() = default;
};

// What an idle turn without Ctrl does with a line when the quip roll does not take it.
enum TurnOutcome : int8_t {
  OutcomeAnswer = 0,  // an answer of the dictionary's pool
  OutcomeQuip,        // nothing in the dictionary: a quip
  OutcomeOffer,       // nothing at all: the offer to learn the line
  OutcomeClear,       // nothing at all for a line under 4 bytes: the lines are cleared
};

// Chances are whole numbers over kOddsDenominator: a turn's draws are at most two outputs of the
// generator, each taken as equally likely.
inline constexpr int64_t kOddsDenominator = int64_t{kGeneratorOutputs} * kGeneratorOutputs;

// The odds of an idle turn without Ctrl for one line.
struct LineOdds {
  int32_t poolSize = 0;   // answers the dictionary pools for the line
  int32_t quipLines = 0;  // lines the quip file offers (0: no quip can be drawn)
  int64_t quip = 0;       // the chance of a quip
  int64_t nothing = 0;    // the chance of the offer or the clearing
  TurnOutcome outcome = OutcomeClear;
};

// QuipRollOutputs: how many generator outputs make the turn's first draw ask for a quip.
int32_t QuipRollOutputs();

// LineOddsFor: the odds for a line of lineBytes bytes whose lookup pools poolSize answers, with
// quipLines lines of quips. The answers, the quip and nothing add up to kOddsDenominator.
LineOdds LineOddsFor(int32_t poolSize, int32_t quipLines, size_t lineBytes);
// AnswerOdds: the chance that answer index of the pool is shown.
int64_t AnswerOdds(const LineOdds& odds, int32_t index);
// QuipLineOdds: the chance that line (1-based) of the quip file is shown.
int64_t QuipLineOdds(const LineOdds& odds, int32_t line);

// ExplainLine: what the next idle turn without Ctrl does with line: the dictionary's lookup told
// to observer, the odds returned. Reads Dictionary.txt and Boke.dat; draws nothing and writes
// nothing.
LineOdds ExplainLine(Dictionary& dictionary, const char* line, LookupObserver& observer);
// ExplainPrompt: tells observer the pool the prompt under key is drawn from, as a turn after the
// opening looks it up. False when the dictionary has nothing for it: a turn would store the
// built-in default and show that.
bool ExplainPrompt(Dictionary& dictionary, const ReservedKey& key, LookupObserver& observer);

class Conversation {
 public:
  explicit Conversation(ConversationHost& host);
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;

  // OpenConversation: fetches the title (exact key) and shows it; call once before any line.
  void OpenConversation();
  // SubmitLine: one turn for a non-empty line of at most kMaxLineBytes bytes, its searches within
  // the turn's budget (kTurnSteps). A null or empty line does nothing at all (no roll, no
  // lookup), as if the host had filtered it. Returns whether a turn ran to its end: false for
  // such a line, and for a turn abandoned by RequestAbandon.
  bool SubmitLine(const char* line);
  // RequestAbandon: asks the turn SubmitLine is running to stop at once. It then returns with no
  // host operation called, nothing stored and the dialogue's state and last response as before
  // the line, unless it had already stored a learned pair: from that point a turn runs to its
  // end. Without a running turn it does nothing. Safe to call from any thread and from a signal
  // handler (it stores to lock-free atomic flags only).
  void RequestAbandon();
  // ShowLastResponse: shows the whole last response in an information box, if there is one.
  void ShowLastResponse();
  // CancelDialogue: drops a learning dialogue waiting for its consent or its answer: nothing is
  // stored and the state is Idle again. Calls no host operation, so each face says it its own
  // way. Returns whether a dialogue was dropped (false when idle: nothing changes).
  bool CancelDialogue();
  // SetTurnObserver: the observer told how each later turn runs; null (the default) for none,
  // which spares the turns all its work.
  void SetTurnObserver(TurnObserver* turnObserver) { observer = turnObserver; }
  // ExplainLine: ExplainLine over this conversation's dictionary; changes no state.
  LineOdds ExplainLine(const char* line, LookupObserver& lookupObserver);

  ConversationState State() const { return state; }
  // LastTurnSteps: the search steps the last turn took (TurnBudget::Used).
  int64_t LastTurnSteps() const { return lastTurnSteps; }
  const char* PendingKey() const { return pendingKey; }
  const char* LastResponse() const { return lastResponse; }
  MatchMode CurrentMatchMode() const { return matchMode; }

 private:
  bool RunTurn(const char* line, TurnBudget& budget);
  bool DrawResponse(const char* line, char* response);
  void FetchPrompt(const ReservedKey& key, char* response);

  ConversationHost& host;
  Dictionary dictionary;  // Dictionary.txt of the working directory, kept across turns
  ConversationState state = Idle;
  char pendingKey[kTextBufferSize] = {};    // the line that becomes a key once learned
  char lastResponse[kTextBufferSize] = {};  // the latest turn's response, for ShowLastResponse
  MatchMode matchMode = ExactKey;           // PatternKey once the conversation is open
  TurnObserver* observer = nullptr;         // told how each turn runs, when set
  // RequestAbandon sets abandon only while turnRunning is; the searches of the turn watch it.
  std::atomic<bool> turnRunning{false};
  std::atomic<bool> abandon{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "RequestAbandon must be signal-safe");
  int64_t lastTurnSteps = 0;
};

// FitLineLength: the length of the longest beginning of text[0, length) that is at most limit
// bytes and does not end inside a two-byte code page 932 character; a lead byte standing last in
// the text is left out too. Hosts use it to cut input.
size_t FitLineLength(const char* text, size_t length, size_t limit);

}  // namespace mimoza
