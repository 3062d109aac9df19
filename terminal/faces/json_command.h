// terminal/faces/json_command.h: the JSON-lines protocol's input: one input line -> a command
// (the events are written with AppendJsonString, terminal/common/json_text.h).
// Leaves this file: CommandKind, Command, ParseCommand.
// Tested by tests/terminal/json_command_test.cpp; fuzzed by fuzz/jsonl_fuzz.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mimoza {

enum CommandKind {
  CmdError = 0,    // not an accepted command; message says why
  CmdSubmit = 1,   // {"submit":T} or {"submit":T,"ctrl":B}; text and ctrl hold T and B
  CmdClick = 2,    // {"click":true}
  CmdExplain = 3,  // {"explain":T}; text holds T
  CmdForget = 4,   // {"forget":"last"} or {"forget":{"line":N}}, see the fields below
  CmdCancel = 5,   // {"cancel":true}
};

struct Command {
  CommandKind kind = CmdError;
  std::string text;     // CmdSubmit, CmdExplain: the text, UTF-8 as sent (may hold NULs)
  bool ctrl = false;    // CmdSubmit: Ctrl held while submitting
  std::string message;  // CmdError: what was wrong, for the error event
  // CmdForget: the last entry learned ({"forget":"last"}, with "all" beside it), or the answer
  // starting on line `line` ({"forget":{"line":N,"column":C,"all":B}}), the one standing at
  // column C where two start there (0 when not given: the first); all: yes to what a terminal
  // would ask first.
  bool forgetLast = false;
  uint32_t line = 0;
  uint32_t column = 0;
  bool all = false;
};

// ParseCommand: reads one line (without its LF) as a command. Anything but exactly one of the
// accepted objects, with only whitespace around it, gives CmdError; nothing else can fail.
Command ParseCommand(std::string_view line);

}  // namespace mimoza
