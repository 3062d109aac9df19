// terminal/faces/forget_events.h: the JSON-lines face's forget and cancel: a command -> what it
// does to Dictionary.txt or the dialogue -> the events that say so.
// Leaves this file: ForgetEvents, CancelEvent. Tested by tests/terminal/store_commands_test.cpp
// (through the program) and tests/terminal/json_command_test.cpp (the commands' reading).
#pragma once

#include <string>

#include "conversation/conversation.h"
#include "terminal/faces/json_command.h"

namespace mimoza {

// ForgetEvents: forgets what a CmdForget names in Dictionary.txt of the working directory and
// returns the event lines, each ending in "\n": one {"event":"forgotten",...} for each answer
// that went, in file order, or one {"event":"error",...} when nothing went (what a terminal would
// ask about first is an error here, unless the command says "all":true).
std::string ForgetEvents(const Command& command);

// CancelEvent: drops the learning dialogue waiting for its consent or its answer, if any, and
// returns {"event":"cancelled","dropped":B} and "\n".
std::string CancelEvent(Conversation& conversation);

}  // namespace mimoza
