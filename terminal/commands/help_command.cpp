// terminal/commands/help_command.cpp: `mimoza help [COMMAND]` -> a help text of the command table
// on standard output.
// Leaves this file: kHelpHelp, RunHelp. Tested by tests/terminal/program_test.cpp.
#include "terminal/commands/help_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "terminal/common/exit_code.h"

namespace mimoza {

const char kHelpHelp[] =
    "Prints the general help, as mimoza --help does, or with COMMAND that command's\n"
    "own, as mimoza COMMAND --help does.\n";

namespace {

// CommandNames: "explain, check, edit, help": what COMMAND may be.
std::string CommandNames(std::span<const Subcommand> table) {
  std::string names;
  for (const Subcommand& command : table.subspan(1)) {
    names += (names.empty() ? "" : ", ") + std::string(command.name);
  }
  return names;
}

}  // namespace

int RunHelp(const SubcommandCall& call) {
  if (call.words.size() > 1) return UsageError(call, "one command at a time");
  const Subcommand* about =
      call.words.empty() ? &call.table.front() : FindSubcommand(call.table, call.words[0]);
  if (about == nullptr) {
    return UsageError(call, "no command " + std::string(call.words[0]) +
                                " (the commands: " + CommandNames(call.table) + ")");
  }
  const std::string text = HelpText(call.table, *about);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "mimoza help: cannot write the output: %s\n", std::strerror(errno));
    return ExitFailure;
  }
  return ExitOk;
}

}  // namespace mimoza
