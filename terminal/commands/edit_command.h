// terminal/commands/edit_command.h: `mimoza edit`: Dictionary.txt edited as a UTF-8 copy in the
// user's editor, checked, and put back in place of the old file at once.
// Leaves this file: RunEdit. Tested by tests/terminal/edit_test.cpp (the built program under a
// pseudo-terminal, with scripted editors).
#pragma once

#include <string>

namespace mimoza {

// RunEdit: `mimoza edit [--dir DIR]` with argv[0] "edit"; the data directory is the default one
// without --dir. Needs a terminal on standard input and output. Returns the exit code: 0 when
// the dictionary was replaced or nothing changed, 1 when it was not replaced, 2 for a bad
// command line or no terminal.
int RunEdit(int argc, char** argv);

}  // namespace mimoza
