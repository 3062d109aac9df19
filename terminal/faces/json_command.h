// terminal/faces/json_command.h: the JSON-lines protocol's text layer: one input line -> a command,
// and UTF-8 text -> a JSON string for the output events.
// Leaves this file: CommandKind, Command, ParseCommand, AppendJsonString.
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

// AppendJsonString: appends text as a quoted JSON string; quotes, backslashes and control
// characters are escaped, every other byte is copied (the text is expected to be UTF-8).
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace mimoza
