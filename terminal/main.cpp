// terminal/main.cpp: the table of mimoza's commands -> the program; without a command, the chat:
// command line -> data directory, seed and one of the three faces.
// Leaves this file: main. kCommands, RunChat and CheckDictionary are private. Tested
// by tests/terminal/program_test.cpp.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "knowledge/knowledge.h"
#include "terminal/commands/check_command.h"
#include "terminal/commands/edit_command.h"
#include "terminal/commands/explain_command.h"
#include "terminal/commands/forget_command.h"
#include "terminal/commands/help_command.h"
#include "terminal/commands/restore_command.h"
#include "terminal/common/command_line.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/words.h"
#include "terminal/faces/interactive.h"
#include "terminal/faces/stream_faces.h"

namespace {

using mimoza::CommandOption;
using mimoza::Subcommand;
using mimoza::SubcommandCall;

// What `mimoza --help` says between its usage lines and the list of commands.
constexpr char kChatHelp[] =
    "  --dir DIR   data directory (default $XDG_DATA_HOME/mimoza, else\n"
    "              ~/.local/share/mimoza); created when missing\n"
    "  --seed N    seed the random choices with N (0 to 4294967295) for a\n"
    "              reproducible session; default: the clock\n"
    "  --jsonl     machine protocol: JSON commands on stdin, JSON events on stdout\n"
    "  --no-history\n"
    "              in a terminal, neither load nor save the lines typed (kept in\n"
    "              $XDG_STATE_HOME/mimoza/history or ~/.local/state/mimoza/history)\n"
    "              nor the turns shown to the next session (in .../transcripts/)\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "In a terminal: Enter submits the line, Ctrl+Enter (or Alt+Enter) submits it with\n"
    "Ctrl held, F2 or a click on a response shows it whole, F3 tells why the last turn\n"
    "said what it said, PgUp/PgDn and the wheel scroll, Up/Down walk the lines typed\n"
    "(earlier sessions' too) and Ctrl+R searches them, Alt+B/Alt+F move by words and\n"
    "Ctrl+W/Alt+D delete them, Ctrl+Y puts back what was deleted, Esc or Ctrl+G leave\n"
    "a box or a search, Ctrl+Z suspends, Ctrl+D on an empty line or Ctrl+C quits.\n"
    "With standard input not a terminal, each input line is one submission and each\n"
    "response is printed as one line.\n"
    "\n"
    "Data files, in the data directory: Dictionary.txt (keys and answers, prompts,\n"
    "the yes/no lists; created and appended by learning) and Boke.dat (quips, one a\n"
    "line, code page 932; optional).\n"
    "\n"
    "When Mimoza knows nothing for a line it asks whether it may learn it, then what\n"
    "it should answer, and stores the pair in Dictionary.txt. Submitting a line with\n"
    "Ctrl held offers to add an answer to a line that already got one.\n";

constexpr CommandOption kChatOptions[] = {
    mimoza::kHelpOption, mimoza::kDirOption, mimoza::kSeedOption,
    {"--jsonl"},         {"--no-history"},   {"--version"},
};

// CheckDictionary: says once on stderr what is wrong with Dictionary.txt: one that is there but
// cannot be read leaves nothing to answer from (false: the program stops), one that cannot be
// opened for appending (a symbolic link to nowhere included) still answers but cannot learn.
bool CheckDictionary(const std::string& dir) {
  const mimoza::DictionaryAccess access = mimoza::ProbeDictionary(true);
  if (access.readError != 0) {
    mimoza::ReportUnreadableDictionary("mimoza", dir, access.readError);
    return false;
  }
  if (access.writeError != 0) {
    const std::string notice =
        mimoza::Words(mimoza::TerminalLanguage(), mimoza::MsgDictionaryUnwritable,
                      {mimoza::Visible(dir), std::strerror(access.writeError)});
    std::fprintf(stderr, "mimoza: %s\n", notice.c_str());
  }
  return true;
}

// RunChat: `mimoza` without a command: a conversation on the face that suits standard input and
// output.
int RunChat(const SubcommandCall& call) {
  if (call.Has("--version")) {
    std::printf("mimoza %s\n", MIMOZA_VERSION);
    return mimoza::ExitOk;
  }
  // A file-size limit then makes a write fail (and the pair go unstored, said so) instead of
  // killing the process in the middle of a turn.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string dir = mimoza::DataDirectoryOr(call.Value("--dir"));
  if (!mimoza::EnterDataDirectory("mimoza", dir, true)) return mimoza::ExitFailure;
  if (!CheckDictionary(dir)) return mimoza::ExitFailure;
  mimoza::srand(mimoza::SeedOrClock(call.Value("--seed")));
  if (call.Has("--jsonl")) return mimoza::RunJsonLines(stdin, stdout);
  // The screen face needs a terminal at both ends; otherwise lines go in and out as text.
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return mimoza::RunPiped(stdin, stdout);
  mimoza::InteractiveOptions interactive;
  interactive.history = !call.Has("--no-history");
  return mimoza::RunInteractive(interactive);
}

// Every command of the program, the chat first (it runs when no command is named); the general
// help lists the others in this order. Adding a command is one row here and its entry point.
constexpr Subcommand kCommands[] = {
    {"", "mimoza [--dir DIR] [--seed N] [--jsonl] [--no-history] [--help] [--version]",
     "Mimoza, a small chat companion that learns from you.", kChatHelp, kChatOptions, false,
     RunChat},
    {"explain", "mimoza explain [--dir DIR] [--] [LINE...]",
     "which keys match each LINE, the odds of each answer; changes nothing", mimoza::kExplainHelp,
     mimoza::kExplainOptions, true, mimoza::RunExplain},
    {"check", "mimoza check [--dir DIR] [--format=text|json] [--severity=error|warning|note] [-q]",
     "reports what is broken in Dictionary.txt and Boke.dat", mimoza::kCheckHelp,
     mimoza::kCheckOptions, false, mimoza::RunCheck},
    {"edit", "mimoza edit [--dir DIR]",
     "edits Dictionary.txt in your editor; checked before it is replaced", mimoza::kEditHelp,
     mimoza::kEditOptions, false, mimoza::RunEdit},
    {"forget", "mimoza forget [--dir DIR] [--yes] LINE[:COLUMN]... | --last",
     "removes answers (and keys left without any) from Dictionary.txt, with a backup",
     mimoza::kForgetHelp, mimoza::kForgetOptions, true, mimoza::RunForget},
    {"restore", "mimoza restore [--dir DIR] [--yes] [--list | BACKUP]",
     "puts a backup of Dictionary.txt back, or lists them", mimoza::kRestoreHelp,
     mimoza::kRestoreOptions, true, mimoza::RunRestore},
    {"help", "mimoza help [COMMAND]", "this text, or with COMMAND that command's own",
     mimoza::kHelpHelp, mimoza::kHelpOptions, true, mimoza::RunHelp},
};

}  // namespace

int main(int argc, char** argv) {
  // A closed output pipe (mimoza | head -1) ends the program as it ends every filter, even when
  // the parent left SIGPIPE ignored; a write error is then only what the system says it is.
  std::signal(SIGPIPE, SIG_DFL);
  return mimoza::RunCommandLine(kCommands, argc, argv);
}
