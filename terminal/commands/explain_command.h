// terminal/commands/explain_command.h: `mimoza explain`: what Mimoza would do with a line, and
// why, without changing anything.
// Leaves this file: RunExplain. Tested through the built program by
// tests/terminal/program_test.cpp.
#pragma once

namespace mimoza {

// RunExplain: `mimoza explain [--dir DIR] [LINE...]` (argv[0] is "explain"): explains each LINE,
// or each line of standard input when none is given, in UTF-8 on standard output. Reads the data
// directory (the default one unless --dir says otherwise) and writes nothing. Returns the exit
// code: 0, 2 on bad usage, 1 when the data directory cannot be entered or the output written.
int RunExplain(int argc, char** argv);

}  // namespace mimoza
