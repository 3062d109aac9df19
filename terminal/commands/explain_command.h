// terminal/commands/explain_command.h: `mimoza explain`: what Mimoza would do with a line, and
// why, without changing anything.
// Leaves this file: kExplainOptions, kExplainHelp, RunExplain. Tested through the built program
// by tests/terminal/program_test.cpp.
#pragma once

#include "terminal/common/command_line.h"

namespace mimoza {

// No short forms: a line may start with one "-" ("-_-"); options start with two, and "--" ends
// them.
inline constexpr CommandOption kExplainOptions[] = {kDirOption};

// What `mimoza explain --help` says below its usage line.
extern const char kExplainHelp[];

// RunExplain: `mimoza explain [--dir DIR] [--] [LINE...]`: explains each LINE, or each line of
// standard input when none is given, in UTF-8 on standard output. Reads the data directory (the
// default one unless --dir says otherwise) and writes nothing. Returns the exit code:
// ExitFailure when the data directory cannot be entered, the input read or the output written.
int RunExplain(const SubcommandCall& call);

}  // namespace mimoza
