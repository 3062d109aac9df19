// conversation/take_back_words.h: forget and restore plans and their results (the dictionary
// store's, knowledge/dictionary_store.h) -> the words a face shows in its Yes/No box and after it,
// from the message table in a language, code page 932.
// And what F4 takes back of the last turn, the same in every face.
// Leaves this file: ShownEntry, PlanForgetShown, ForgetQuestion, ForgottenWords, RestoreQuestion,
// RestoredWords, LostWords, BackupWords, StoreResultWords. Tested through the Windows dialog by
// tests/app/chat_dialog_test.cpp, through the desktop window's seams by
// tests/desktop/window_model_test.cpp and through the terminal by
// tests/terminal/interactive_test.cpp.
#pragma once

#include <string>

#include "conversation/messages.h"
#include "conversation/turn_record.h"
#include "knowledge/dictionary_store.h"

namespace mimoza {

// What the last turn showed of the dictionary, for F4.
enum ShownEntry : int8_t {
  ShownNothing = 0,  // a quip, an offer, a question, a cleared line: nothing of the file
  ShownGone,         // it showed an entry the file no longer holds as it was then
  ShownFound,        // the plan forgets it (or, ForgetUnreadable, says why the file cannot be read)
};

// PlanForgetShown: the plan that forgets what turn showed of Dictionary.txt, on the file as it is
// now: the pair it learned (the file's last learned entry, which must hold just that line as its
// answer: another session may have learned after it), else the answer of the dictionary it drew
// for the line (the first that starts on its line, else the one at the column that holds that
// text). Mimoza's own prompts are not what F4 takes back.
ShownEntry PlanForgetShown(const TurnRecorder& turn, ForgetPlan* plan);

// ForgetQuestion: the question before a forget plan is applied, then what goes, one line each
// (every line ends in "\n"), and the keys that lose a pooled answer too. A long plan lists its
// first answers and counts the rest.
std::string ForgetQuestion(const ForgetPlan& plan, Language language);

// ForgottenWords: one line saying what the plan took out and where backup (as the face shows a
// path) keeps the file as it was.
std::string ForgottenWords(const ForgetPlan& plan, const std::string& backup, Language language);

// RestoreQuestion: the question before a restore plan is applied, naming the backup and when
// (taken from its name's time) and the pairs it would leave out, each on its own line.
std::string RestoreQuestion(const RestorePlan& plan, const LocalTime& taken, Language language);

// RestoredWords: one line saying which backup went back and where backup keeps what it replaced.
std::string RestoredWords(const RestorePlan& plan, const std::string& backup, Language language);

// LostWords: after a restore, the pairs learned since the backup that it did not put back, a
// heading and one line each (every line ends in "\n"); empty when there are none.
std::string LostWords(const RestorePlan& plan, Language language);

// BackupWords: one backup as a list of them shows it: its name, when it was taken, its entries
// and size, and whether a restore made it.
std::string BackupWords(const BackupInfo& backup, Language language);

// StoreResultWords: why a replacement (or the reading before it) did not happen, one line; empty
// for StoreDone.
std::string StoreResultWords(const StoreResult& result, Language language);

}  // namespace mimoza
