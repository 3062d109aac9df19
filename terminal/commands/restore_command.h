// terminal/commands/restore_command.h: `mimoza restore`: lists the backups of Dictionary.txt, or
// puts one back, keeping a backup of the file it replaces.
// Leaves this file: kRestoreOptions, kRestoreHelp, RunRestore. Tested by
// tests/terminal/store_commands_test.cpp (the built program).
#pragma once

#include "terminal/common/command_line.h"

namespace mimoza {

inline constexpr CommandOption kRestoreOptions[] = {
    kHelpOption, kDirOption, {"--list"}, {"--yes", 'y'}};

// What `mimoza restore --help` says below its usage line.
extern const char kRestoreHelp[];

// RunRestore: `mimoza restore [--dir DIR] [--yes] [--list | BACKUP]`. Returns the exit code:
// ExitOk when the list was printed or the backup put back (or Dictionary.txt held it already),
// ExitFailure when nothing was put back (said why), ExitUsage for a bad command line.
int RunRestore(const SubcommandCall& call);

}  // namespace mimoza
