// app/last_turn.h: the dialog's three requests of the core about the last turn: why it answered
// as it did, forget what it showed, and put back the newest backup of Dictionary.txt. All texts
// are code page 932.
// Leaves this file: Confirm, LastTurn. Tested by tests/app/chat_dialog_test.cpp.
//
// Each of WhyText, Forget and Restore is the one place where the dialog calls the core's
// operation of that purpose; the core's forget and restore are still to come, and until they do
// these say what they can (see last_turn.cpp). Wiring one changes that function alone: the
// dialog's keys, menu items, boxes and tests stay as they are.
#pragma once

#include <functional>
#include <string>

#include "conversation/conversation.h"
#include "conversation/turn_record.h"

namespace mimoza {

// Confirm: asks the user a question (its text, code page 932) in a Yes/No box; true for Yes.
using Confirm = std::function<bool(const std::string& question)>;

// The dialog's side of the core's record of the last turn. The dialog owns one beside its
// conversation, for the whole run; it records every turn of that conversation.
class LastTurn {
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
  std::string Forget(const Confirm& confirm);

  // Restore: the newest backup not made by a restore is named to confirm with what putting it
  // back undoes, and put back only on Yes (the file it replaces is backed up first). Returns
  // what to tell the user: what was put back, why nothing was (no backup, a failure), or empty
  // when confirm said No.
  std::string Restore(const Confirm& confirm);

 private:
  Conversation& conversation;
  TurnRecorder turn;  // told how each turn runs
};

}  // namespace mimoza
