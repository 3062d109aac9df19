// conversation/conversation.cpp: submitted lines -> responses and the three-turn learning
// dialogue, carried out through a ConversationHost.
// Leaves this file: Conversation's operations; DrawResponse and ShowPrompt are its private
// steps. Tested by tests/conversation/conversation_test.cpp.
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
void LearnedKey(const char* line, char* key) {
  const PatternPtr pattern(CompilePattern(line));
  if (pattern != nullptr && PatternFound(pattern.get(), line) && !MatchesEmptyText(pattern.get())) {
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
  ResponseBuffer title = {};
  dictionary.LookupOrSeed(kTitleKey.key, kTitleKey.defaultText, matchMode, title, kTextBufferSize);
  host.SetTitle(title);
  matchMode = PatternKey;
  state = Idle;  // an opening starts afresh; no learning dialogue carries over
}

// ShowPrompt: fetches the prompt under key (seeding its default) into response and shows it.
// When the dictionary can be neither read nor appended, response keeps the turn's answer or
// quip and that is shown in the prompt's place.
void Conversation::ShowPrompt(const ReservedKey& key, char* response) {
  if (observer != nullptr) observer->PromptStarted(key);
  dictionary.LookupOrSeed(key.key, key.defaultText, matchMode, response, kTextBufferSize, observer);
  host.SetResponseLine(response);
}

void Conversation::SubmitLine(const char* line) {
  if (line == nullptr || line[0] == '\0') return;  // hosts filter empty lines; be safe anyway
  if (observer != nullptr) observer->TurnStarted(state, line);
  ResponseBuffer response = {};
  const bool found = DrawResponse(line, response);
  TurnBranch branch = BranchAnswered;
  ReplyKind reply = Neither;

  switch (state) {
    case Idle:
      if (found && host.IsControlKeyDown()) {
        branch = BranchOfferAdd;
        ShowPrompt(kOfferAddKey, response);
        CopyBounded(pendingKey, line, kMaxLineBytes);
        state = AwaitingConsent;
      } else if (found) {
        host.SetResponseLine(response);
      } else if (std::strlen(line) < kMinLearnBytes) {
        branch = BranchCleared;
        host.SetResponseLine(nullptr);
        host.SetInputText(nullptr);
      } else {
        branch = BranchOfferLearn;
        ShowPrompt(kOfferLearnKey, response);
        CopyBounded(pendingKey, line, kMaxLineBytes);
        state = AwaitingConsent;
      }
      break;
    case AwaitingConsent:
      // Only a clear No refuses; a reply matching neither list counts as consent.
      reply = ClassifyReply(dictionary, line);
      if (reply == No) {
        branch = BranchRefused;
        host.SetResponseLine("");
        state = Idle;
      } else {
        branch = BranchAskAnswer;
        ShowPrompt(kAskAnswerKey, response);
        state = AwaitingAnswer;
      }
      break;
    case AwaitingAnswer:
      // Whatever this line says is the answer; "いいえ" here is stored, not read as a refusal.
      // A pair that could not be stored is not announced as learned.
      {
        char key[kLearnedKeyBytes];
        LearnedKey(pendingKey, key);
        int error = 0;
        if (AppendEntry(key, line, &error)) {
          branch = BranchLearned;
          ShowPrompt(kLearnedKey, response);
        } else {
          branch = BranchNotStored;
          host.SetResponseLine(nullptr);
          host.StoreFailed(error);
        }
      }
      state = Idle;
      break;
  }
  if (observer != nullptr) observer->TurnEnded(branch, reply);

  // Even when the response line was cleared, a click shows what this turn drew.
  CopyBounded(lastResponse, response, kMaxLineBytes);
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
