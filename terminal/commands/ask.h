// terminal/commands/ask.h: a yes/no question on the terminal, for the commands that change
// Dictionary.txt (edit, forget, restore).
// Leaves this file: CanAsk, AskYesNo. Tested through the commands by
// tests/terminal/store_commands_test.cpp and tests/terminal/edit_test.cpp.
#pragma once

#include <string>

namespace mimoza {

// CanAsk: whether standard input and output are a terminal, where a person can answer.
bool CanAsk();

// AskYesNo: question and " [y/N] " (" [Y/n] " when byDefault is true) on standard output, then
// the answer from standard input: y or yes, n or no, in any case; anything else asks again; an
// empty line or the end of input is byDefault.
bool AskYesNo(const std::string& question, bool byDefault);

}  // namespace mimoza
