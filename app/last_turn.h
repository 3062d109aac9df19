// app/last_turn.h: the dialog's three requests of the core about the last turn: why it answered
// as it did, forget what it showed, and put back the newest backup of Dictionary.txt. All texts
// are code page 932.
// Leaves this file: Confirm, LastTurn. Tested by tests/app/chat_dialog_test.cpp.
//
// Each of WhyText, Forget and Restore is the one place where the dialog calls the core's
// operation of that purpose (conversation/turn_record.h, knowledge/dictionary_store.h).
#pragma once

#include <functional>
#include <string>

#include "conversation/conversation.h"
#include "conversation/turn_record.h"
#include "knowledge/dictionary_store.h"

namespace mimoza {

// Confirm: asks the user a question (its text, code page 932) in a Yes/No box; true for Yes.
using Confirm = std::function<bool(const std::string& question)>;

// The dialog's side of the core's record of the last turn. The dialog owns one beside its
// conversation, for the whole run; it records every turn of that conversation, passing what the
// engine tells it on to the record.
class LastTurn final : private TurnObserver {
 public:
  explicit LastTurn(Conversation& conversation);
  LastTurn(const LastTurn&) = delete;
  LastTurn& operator=(const LastTurn&) = delete;

  // WhyText: the record of the last turn in the core's Japanese words: keys with their lines
  // and matched spans, the pool with chances and each answer's line, the roll, what was drawn,
  // the branch of the dialogue. Lines end in "\n"; any length. Before the first turn, a line
  // saying there is none yet.
  std::string WhyText() const;

  // Forget: what the last turn showed (the pair just learned, else the answer drawn) is shown
  // to confirm, and removed from Dictionary.txt only on Yes, with a backup first. Returns what
  // to tell the user: what was removed and where the backup is, why nothing could be removed
  // (nothing shown, or the file changed or cannot be written), or empty when confirm said No.
  // Once the file is changed, by this or by Restore, there is nothing to forget until the next
  // turn: the record's lines may no longer be the file's.
  std::string Forget(const Confirm& confirm);

  // Restore: the newest backup not made by a restore is named to confirm with what putting it
  // back undoes, and put back only on Yes (the file it replaces is backed up first). Returns
  // what to tell the user: what was put back, why nothing was (no backup, a failure), or empty
  // when confirm said No.
  std::string Restore(const Confirm& confirm);

 private:
  void TurnStarted(ConversationState state, const char* line) override;
  void QuipRolled(int32_t roll, int32_t quipLines) override { turn.QuipRolled(roll, quipLines); }
  void QuipDrawn(const QuipPick& pick) override { turn.QuipDrawn(pick); }
  void PromptStarted(const ReservedKey& key) override { turn.PromptStarted(key); }
  void TurnEnded(TurnBranch branch, ReplyKind reply) override { turn.TurnEnded(branch, reply); }
  void LookupStarted() override { turn.LookupStarted(); }
  void KeyMatched(const MatchedKey& key) override { turn.KeyMatched(key); }
  void AnswerPooled(const char* text, uint64_t line) override { turn.AnswerPooled(text, line); }
  void LookupEnded(int32_t size, int32_t index) override { turn.LookupEnded(size, index); }

  // PlanShown: the forget plan of what the last turn showed; its problem is ForgetNothingLearned
  // when it showed nothing of the file.
  ForgetPlan PlanShown() const;
  // ProblemWords: why a plan of PlanShown has nothing to forget.
  std::string ProblemWords(const ForgetPlan& plan) const;

  Conversation& conversation;
  TurnRecorder turn;     // the record of the last turn
  bool changed = false;  // this dialog changed Dictionary.txt since the last turn
};

}  // namespace mimoza
