// conversation/conversation.h: the conversation engine's public interface.
// One Conversation per window (or terminal): it turns each submitted line into a response and
// runs the three-turn learning dialogue. It reaches its host only through ConversationHost.
// Leaves this file: ConversationState, ConversationHost, Conversation, FitLineLength,
// kTextBufferSize, kInfoCaption. Tested by tests/conversation/conversation_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "knowledge/knowledge.h"

namespace mimoza {

// Text buffers of the conversation hold a whole line and a NUL.
inline constexpr size_t kTextBufferSize = kLineBufferBytes;

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

class Conversation {
 public:
  explicit Conversation(ConversationHost& host);
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;

  // OpenConversation: fetches the title (exact key) and shows it; call once before any line.
  void OpenConversation();
  // SubmitLine: one turn for a non-empty line of at most kMaxLineBytes bytes. A null or empty
  // line does nothing at all (no roll, no lookup), as if the host had filtered it.
  void SubmitLine(const char* line);
  // ShowLastResponse: shows the whole last response in an information box, if there is one.
  void ShowLastResponse();

  ConversationState State() const { return state; }
  const char* PendingKey() const { return pendingKey; }
  const char* LastResponse() const { return lastResponse; }
  MatchMode CurrentMatchMode() const { return matchMode; }

 private:
  bool DrawResponse(const char* line, char* response);
  void ShowPrompt(const ReservedKey& key, char* response);

  ConversationHost& host;
  Dictionary dictionary;  // Dictionary.txt of the working directory, kept across turns
  ConversationState state = Idle;
  char pendingKey[kTextBufferSize] = {};    // the line that becomes a key once learned
  char lastResponse[kTextBufferSize] = {};  // the latest turn's response, for ShowLastResponse
  MatchMode matchMode = ExactKey;           // PatternKey once the conversation is open
};

// FitLineLength: the length of the longest beginning of text[0, length) that is at most limit
// bytes and does not end inside a two-byte code page 932 character; a lead byte standing last in
// the text is left out too. Hosts use it to cut input.
size_t FitLineLength(const char* text, size_t length, size_t limit);

}  // namespace mimoza
