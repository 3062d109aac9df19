// terminal/faces/json_command.h: the JSON-lines protocol's input: one input line -> a command
// (the events are written with AppendJsonString, terminal/common/json_text.h).
// Leaves this file: CommandKind, Command, ParseCommand.
// Tested by tests/terminal/json_command_test.cpp; fuzzed by fuzz/jsonl_fuzz.cpp.
#pragma once

#include <string>
#include <string_view>

namespace mimoza {

enum CommandKind {
  CmdError = 0,    // not an accepted command; message says why
  CmdSubmit = 1,   // {"submit":T} or {"submit":T,"ctrl":B}; text and ctrl hold T and B
  CmdClick = 2,    // {"click":true}
  CmdExplain = 3,  // {"explain":T}; text holds T
};

struct Command {
  CommandKind kind = CmdError;
  std::string text;     // CmdSubmit, CmdExplain: the text, UTF-8 as sent (may hold NULs)
  bool ctrl = false;    // CmdSubmit: Ctrl held while submitting
  std::string message;  // CmdError: what was wrong, for the error event
};

// ParseCommand: reads one line (without its LF) as a command. Anything but exactly one of the
// accepted objects, with only whitespace around it, gives CmdError; nothing else can fail.
Command ParseCommand(std::string_view line);

}  // namespace mimoza
