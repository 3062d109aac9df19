// terminal/commands/forget_command.h: `mimoza forget`: takes answers (and keys left without
// answers) out of Dictionary.txt, keeping a backup of the file.
// Leaves this file: kForgetOptions, kForgetHelp, ParseForgetTarget, RunForget. Tested by
// tests/terminal/store_commands_test.cpp (the built program).
#pragma once

#include <string_view>

#include "knowledge/dictionary_store.h"
#include "terminal/common/command_line.h"

namespace mimoza {

inline constexpr CommandOption kForgetOptions[] = {
    kHelpOption, kDirOption, {"--last"}, {"--yes", 'y'}};

// What `mimoza forget --help` says below its usage line.
extern const char kForgetHelp[];

// ParseForgetTarget: "LINE" or "LINE:N", each a number from 1 to 4294967295 in decimal digits.
// False, leaving *target alone, for anything else.
bool ParseForgetTarget(std::string_view word, ForgetTarget* target);

// RunForget: `mimoza forget [--dir DIR] [--yes] LINE[:N]...` or `... --last`: shows what goes,
// asks where an answer is shared by other keys or an entry of several answers goes whole (on a
// terminal; --yes answers yes), then replaces the file. Returns the exit code: ExitOk when it
// was forgotten, ExitFailure when nothing was (said why), ExitUsage for a bad command line.
int RunForget(const SubcommandCall& call);

}  // namespace mimoza
