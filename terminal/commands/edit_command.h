// terminal/commands/edit_command.h: `mimoza edit`: Dictionary.txt edited as a UTF-8 copy in the
// user's editor, checked, and put back in place of the old file at once.
// Leaves this file: kEditOptions, kEditHelp, RunEdit. Tested by tests/terminal/edit_test.cpp (the
// built program under a pseudo-terminal, with scripted editors).
#pragma once

#include "terminal/common/command_line.h"

namespace mimoza {

inline constexpr CommandOption kEditOptions[] = {kHelpOption, kDirOption};

// What `mimoza edit --help` says below its usage line.
extern const char kEditHelp[];

// RunEdit: `mimoza edit [--dir DIR]`; the data directory is the default one without --dir. Needs
// a terminal on standard input and output. Returns the exit code: ExitOk when the dictionary was
// replaced or nothing changed, ExitFailure when it was not replaced, ExitUsage without a
// terminal.
int RunEdit(const SubcommandCall& call);

}  // namespace mimoza
