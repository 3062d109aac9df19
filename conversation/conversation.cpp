// conversation/conversation.cpp: submitted lines -> responses and the three-turn learning
// dialogue, carried out through a ConversationHost.
// Leaves this file: Conversation's operations; DrawResponse and ShowPrompt are its private
// steps. Tested by tests/conversation/conversation_test.cpp.
#include "conversation/conversation.h"

#include <cstring>

namespace mimoza {
namespace {

constexpr const char* kQuipFile = "Boke.dat";
// A line this long (two double-byte characters) is worth offering for learning; anything
// shorter that finds nothing is cleared instead.
constexpr size_t kMinLearnBytes = 4;
// One turn in ten answers with a quip even when the dictionary knows the line.
constexpr int32_t kQuipRollMax = 9;
constexpr int32_t kQuipRoll = 1;

// Responses are fetched with a limit of a whole text buffer, so they need one byte more.
using ResponseBuffer = char[kTextBufferSize + 1];

}  // namespace

// DrawResponse: the answer or quip of one turn, in every state. Returns whether either file
// yielded one; response stays as it was when neither did.
bool Conversation::DrawResponse(const char* line, char* response) {
  if (RandomInt(0, kQuipRollMax) == kQuipRoll) {
    return PickQuip(kQuipFile, response, kTextBufferSize);
  }
  if (dictionary.LookupAnswer(line, PatternKey, response, kTextBufferSize)) return true;
  return PickQuip(kQuipFile, response, kTextBufferSize);
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
  dictionary.LookupOrSeed(key.key, key.defaultText, matchMode, response, kTextBufferSize);
  host.SetResponseLine(response);
}

void Conversation::SubmitLine(const char* line) {
  if (line == nullptr || line[0] == '\0') return;  // hosts filter empty lines; be safe anyway
  ResponseBuffer response = {};
  const bool found = DrawResponse(line, response);

  switch (state) {
    case Idle:
      if (found && host.IsControlKeyDown()) {
        ShowPrompt(kOfferAddKey, response);
        CopyBounded(pendingKey, line, kMaxLineBytes);
        state = AwaitingConsent;
      } else if (found) {
        host.SetResponseLine(response);
      } else if (std::strlen(line) < kMinLearnBytes) {
        host.SetResponseLine(nullptr);
        host.SetInputText(nullptr);
      } else {
        ShowPrompt(kOfferLearnKey, response);
        CopyBounded(pendingKey, line, kMaxLineBytes);
        state = AwaitingConsent;
      }
      break;
    case AwaitingConsent:
      // Only a clear No refuses; a reply matching neither list counts as consent.
      if (ClassifyReply(dictionary, line) == No) {
        host.SetResponseLine("");
        state = Idle;
      } else {
        ShowPrompt(kAskAnswerKey, response);
        state = AwaitingAnswer;
      }
      break;
    case AwaitingAnswer:
      // Whatever this line says is the answer; "いいえ" here is stored, not read as a refusal.
      // A pair that could not be stored is not announced as learned.
      if (AppendEntry(pendingKey, line)) {
        ShowPrompt(kLearnedKey, response);
      } else {
        host.SetResponseLine(nullptr);
      }
      state = Idle;
      break;
  }

  // Even when the response line was cleared, a click shows what this turn drew.
  CopyBounded(lastResponse, response, kMaxLineBytes);
}

void Conversation::ShowLastResponse() {
  if (lastResponse[0] != '\0') host.ShowInfoBox(kInfoCaption, lastResponse);
}

}  // namespace mimoza
