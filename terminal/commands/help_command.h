// terminal/commands/help_command.h: `mimoza help [COMMAND]`: the general help, or one command's.
// Leaves this file: kHelpOptions, kHelpHelp, RunHelp. Tested through the built program by
// tests/terminal/program_test.cpp.
#pragma once

#include "terminal/common/command_line.h"

namespace mimoza {

inline constexpr CommandOption kHelpOptions[] = {kHelpOption};

// What `mimoza help --help` says below its usage line.
extern const char kHelpHelp[];

// RunHelp: prints the general help (what `mimoza --help` prints) on standard output, or with a
// COMMAND what `mimoza COMMAND --help` prints. Returns the exit code: ExitUsage for a COMMAND
// the table does not have, or more than one; ExitFailure when the output cannot be written.
int RunHelp(const SubcommandCall& call);

}  // namespace mimoza
