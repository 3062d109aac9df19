// conversation/conversation.cpp: submitted lines -> responses and the three-turn learning
// dialogue, carried out through a ConversationHost.
// Leaves this file: Conversation's operations; RunTurn, DrawResponse and FetchPrompt are its
// private steps. Tested by tests/conversation/conversation_test.cpp.
//
// A turn first works out everything it will show (its lookups and searches, within the turn's
// budget), then stores a learned pair, then calls the host. An abandoned turn stops before the
// store and calls no host operation; once the pair is stored the turn runs to its end, so the
// host sees a turn whole or not at all.
#include "conversation/conversation.h"

#include <cstring>

#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Responses are fetched with a limit of a whole text buffer, so they need one byte more.
using ResponseBuffer = char[kTextBufferSize + 1];

// A learned key holds at most a whole text buffer of key text (what the dictionary reads of a
// key), and a NUL.
constexpr size_t kLearnedKeyBytes = kTextBufferSize + 1;

// LearnedKey: the key a learned line is stored under: the line itself when, as a pattern, it
// compiles, matches its own line and cannot match the empty text; otherwise the line quoted, so
// that it matches exactly where the line occurs. A line such as "え??" would otherwise answer
// every line (and take over the learning prompts), and "C++" would never find itself again.
// Whether it finds itself is searched within the turn's slice for one search; a line whose search
// runs out of it is quoted too.
void LearnedKey(const char* line, char* key, TurnBudget& budget) {
  PatternWork work;
  work.stepLimit = budget.Take(kSingleSearchSteps);
  work.stop = budget.StopFlag();
  PatternPtr pattern;
  const bool found = MatchesWithin(line, line, &work, &pattern);
  budget.Spent(work.steps);
  if (found && !MatchesEmptyText(pattern.get())) {
    CopyBounded(key, line, kMaxLineBytes);
    return;
  }
  // Quoting can make the key longer than a line; the dictionary reads keys only that far, and a
  // quoted key cut short still matches its line.
  QuoteMetacharacters(line, key, kLearnedKeyBytes);
}

}  // namespace

// DrawResponse: the answer or quip of one turn, in every state. Returns whether either file
// yielded one; response stays as it was when neither did. A quip counts only when the quip file
// gives a line: on a quip roll without one the turn falls through to the dictionary, and a miss
// there is then a line nothing was found for (there is no second pick).
// An observer hears the roll, the quip file's size, and which line a quip is; when the roll's
// quip took the turn, it still hears the lookup the quip made needless, drawing nothing from it.
bool Conversation::DrawResponse(const char* line, char* response) {
  const int32_t roll = RandomInt(0, kQuipRollMax);
  const bool quipRoll = roll == kQuipRoll;
  if (observer != nullptr) observer->QuipRolled(roll, CountQuips(kQuipFile));
  QuipPick pick;
  if (quipRoll && PickQuip(kQuipFile, response, kTextBufferSize, &pick)) {
    if (observer != nullptr) {
      observer->QuipDrawn(pick);
      dictionary.ObserveLookup(line, PatternKey, *observer);
    }
    return true;
  }
  if (dictionary.LookupAnswer(line, PatternKey, response, kTextBufferSize, observer)) return true;
  if (quipRoll || !PickQuip(kQuipFile, response, kTextBufferSize, &pick)) return false;
  if (observer != nullptr) observer->QuipDrawn(pick);
  return true;
}

Conversation::Conversation(ConversationHost& theHost) : host(theHost) {}

// The title is looked up while matchMode is still ExactKey, so a learned key whose pattern
// happens to match "<SMES0>" cannot rename the window; every later prompt uses patterns.
void Conversation::OpenConversation() {
  ResponseBuffer title = {};  // the default when the file lacks it and cannot take it
  dictionary.LookupOrSeed(kTitleKey.key, kTitleKey.defaultText, matchMode, title, kTextBufferSize);
  host.SetTitle(title);
  matchMode = PatternKey;
  state = Idle;  // an opening starts afresh; no learning dialogue carries over
}

// FetchPrompt: fetches the prompt under key (seeding its default) into response. When the
// dictionary cannot be read, response keeps the turn's answer or quip, which is shown in the
// prompt's place.
void Conversation::FetchPrompt(const ReservedKey& key, char* response) {
  if (observer != nullptr) observer->PromptStarted(key);
  dictionary.LookupOrSeed(key.key, key.defaultText, matchMode, response, kTextBufferSize, observer);
}

bool Conversation::SubmitLine(const char* line) {
  if (line == nullptr || line[0] == '\0') return false;  // hosts filter empty lines; be safe
  abandon.store(false);
  turnRunning.store(true);
  TurnBudget budget(&abandon);
  dictionary.SetTurn(&budget);
  const bool ran = RunTurn(line, budget);
  dictionary.SetTurn(nullptr);
  turnRunning.store(false);
  abandon.store(false);
  lastTurnSteps = budget.Used();
  if (!ran && observer != nullptr) observer->TurnAbandoned();
  return ran;
}

void Conversation::RequestAbandon() {
  if (turnRunning.load()) abandon.store(true);
}

// RunTurn: the turn of SubmitLine; false when it was abandoned before it stored anything.
bool Conversation::RunTurn(const char* line, TurnBudget& budget) {
  if (observer != nullptr) observer->TurnStarted(state, line);
  ResponseBuffer response = {};
  const bool found = DrawResponse(line, response);
  if (budget.Stopped()) return false;
  TurnBranch branch = BranchAnswered;
  ReplyKind reply = Neither;
  const ReservedKey* prompt = nullptr;  // the prompt the turn shows, fetched before it is shown
  ConversationState next = state;
  int error = 0;

  switch (state) {
    case Idle:
      if (found && host.IsControlKeyDown()) {
        branch = BranchOfferAdd;
        prompt = &kOfferAddKey;
        next = AwaitingConsent;
      } else if (found) {
        branch = BranchAnswered;
      } else if (std::strlen(line) < kMinLearnBytes) {
        branch = BranchCleared;
      } else {
        branch = BranchOfferLearn;
        prompt = &kOfferLearnKey;
        next = AwaitingConsent;
      }
      break;
    case AwaitingConsent:
      // Only a clear No refuses; a reply matching neither list counts as consent.
      reply = ClassifyReply(dictionary, line);
      if (budget.Stopped()) return false;
      branch = reply == No ? BranchRefused : BranchAskAnswer;
      prompt = reply == No ? nullptr : &kAskAnswerKey;
      next = reply == No ? Idle : AwaitingAnswer;
      break;
    case AwaitingAnswer:
      // Whatever this line says is the answer; "いいえ" here is stored, not read as a refusal.
      // A pair that could not be stored is not announced as learned.
      {
        char key[kLearnedKeyBytes];
        LearnedKey(pendingKey, key, budget);
        if (budget.Stopped()) return false;
        const bool stored = AppendEntry(key, line, &error);
        if (stored) budget.Commit();
        branch = stored ? BranchLearned : BranchNotStored;
        prompt = stored ? &kLearnedKey : nullptr;
      }
      next = Idle;
      break;
  }
  if (prompt != nullptr) FetchPrompt(*prompt, response);
  if (budget.Stopped()) return false;

  // Everything is known: the host is told, in the order of the branch.
  switch (branch) {
    case BranchAnswered:
    case BranchOfferAdd:
    case BranchOfferLearn:
    case BranchAskAnswer:
    case BranchLearned:
      host.SetResponseLine(response);
      break;
    case BranchCleared:
      host.SetResponseLine(nullptr);
      host.SetInputText(nullptr);
      break;
    case BranchRefused:
      host.SetResponseLine("");
      break;
    case BranchNotStored:
      host.SetResponseLine(nullptr);
      host.StoreFailed(error);
      break;
  }
  if (branch == BranchOfferAdd || branch == BranchOfferLearn) {
    CopyBounded(pendingKey, line, kMaxLineBytes);
  }
  state = next;
  if (observer != nullptr) observer->TurnEnded(branch, reply);

  // Even when the response line was cleared, a click shows what this turn drew.
  CopyBounded(lastResponse, response, kMaxLineBytes);
  return true;
}

bool Conversation::CancelDialogue() {
  if (state == Idle) return false;
  state = Idle;
  pendingKey[0] = '\0';
  return true;
}

void Conversation::ShowLastResponse() {
  if (lastResponse[0] != '\0') host.ShowInfoBox(kInfoCaption, lastResponse);
}

}  // namespace mimoza
