// terminal/common/store_words.h: the results of forget, restore and the safe replace
// (knowledge/dictionary_store.h) -> the English the terminal's commands and its JSON-lines face
// say, UTF-8, every text of the file quoted safely. (The interactive face and the windows say them
// in their language: conversation/take_back_words.h.)
// Leaves this file: QuotedText, StoreResultText, OwnerChangeText, ForgetProblemText,
// PooledText, RemovedLines. Tested through the commands by tests/terminal/store_commands_test.cpp.
#pragma once

#include <string>
#include <vector>

#include "conversation/messages.h"
#include "knowledge/dictionary_store.h"

namespace mimoza {

// QuotedText: a code page 932 text of the file in double quotes, UTF-8, on one line (control
// characters shown as U+FFFD, line breaks as spaces), whole.
std::string QuotedText(const std::string& cp932);

// StoreResultText: why a replacement did not happen, for a message that names the data
// directory dir and goes on to say what was not done: "DIR/Dictionary.txt is being edited
// (process 42); try again once that edit ends", "cannot write the new DIR/Dictionary.txt: No
// space left on device". Empty for StoreDone.
std::string StoreResultText(const StoreResult& result, const std::string& dir);

// OwnerChangeText: what a replacement would change of the file's owner or group, as the first
// part of a question.
std::string OwnerChangeText(const OwnerChange& change);

// ForgetProblemText: why a forget plan has nothing to forget (its problem is not ForgetFine).
std::string ForgetProblemText(const ForgetPlan& plan, const std::string& dir);

// PooledText: which keys pool the answers a plan forgets, for the question before it goes on.
std::string PooledText(const ForgetPlan& plan);

// RemovedLines: what a plan removes, one line each ("line 4: the answer "..." of the key "..."
// on line 3"), each ending in "\n".
std::string RemovedLines(const ForgetPlan& plan);

}  // namespace mimoza
