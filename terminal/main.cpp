// terminal/main.cpp: command line -> data directory, seed and one of the three faces.
// Leaves this file: main. ParseOptions, ParseSeed and CheckDictionary are private. Tested by
// tests/terminal/program_test.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "knowledge/knowledge.h"
#include "terminal/check_command.h"
#include "terminal/command_line.h"
#include "terminal/edit_command.h"
#include "terminal/explain.h"
#include "terminal/interactive.h"
#include "terminal/stream_faces.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoData = 1;  // the data directory or its dictionary cannot be used

constexpr const char* kUsage =
    "usage: mimoza [--dir DIR] [--seed N] [--jsonl] [--no-history] [--help] [--version]\n"
    "       mimoza explain [--dir DIR] [LINE...]\n"
    "       mimoza check [--dir DIR] [--format=text|json]\n"
    "       mimoza edit [--dir DIR]\n";

constexpr const char* kHelp =
    "Mimoza, a small chat companion that learns from you.\n"
    "\n"
    "usage: mimoza [--dir DIR] [--seed N] [--jsonl] [--no-history] [--help] [--version]\n"
    "       mimoza explain [--dir DIR] [LINE...]\n"
    "       mimoza check [--dir DIR] [--format=text|json]\n"
    "       mimoza edit [--dir DIR]\n"
    "\n"
    "  --dir DIR   data directory (default $XDG_DATA_HOME/mimoza, else\n"
    "              ~/.local/share/mimoza); created when missing\n"
    "  --seed N    seed the random choices with N (0 to 4294967295) for a\n"
    "              reproducible session; default: the clock\n"
    "  --jsonl     machine protocol: JSON commands on stdin, JSON events on stdout\n"
    "  --no-history\n"
    "              in a terminal, neither load nor save the lines typed (kept in\n"
    "              $XDG_STATE_HOME/mimoza/history or ~/.local/state/mimoza/history)\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "In a terminal: Enter submits the line, Ctrl+Enter (or Alt+Enter) submits it with\n"
    "Ctrl held, F2 or a click on a response shows it whole, F3 tells why the last turn\n"
    "said what it said, PgUp/PgDn and the wheel scroll, Up/Down walk the lines typed\n"
    "(earlier sessions' too), Ctrl+Z suspends, Ctrl+D on an empty line or Ctrl+C quits.\n"
    "With standard input not a terminal, each input line is one submission and each\n"
    "response is printed as one line.\n"
    "\n"
    "mimoza explain tells, for each LINE (or each input line), which keys match it,\n"
    "the answers they pool with their exact odds, the quip's chance and what the turn\n"
    "would do; it changes nothing. mimoza check reports what is broken in both data\n"
    "files; mimoza edit edits Dictionary.txt in your editor as UTF-8, checked before\n"
    "it replaces the file.\n"
    "\n"
    "Data files, in the data directory: Dictionary.txt (keys and answers, prompts,\n"
    "the yes/no lists; created and appended by learning) and Boke.dat (quips, one a\n"
    "line, code page 932; optional).\n"
    "\n"
    "When Mimoza knows nothing for a line it asks whether it may learn it, then what\n"
    "it should answer, and stores the pair in Dictionary.txt. Submitting a line with\n"
    "Ctrl held offers to add an answer to a line that already got one.\n";

struct Options {
  std::string dir;  // empty: the default data directory
  uint32_t seed = 0;
  bool hasSeed = false;
  bool jsonl = false;
  bool noHistory = false;
  bool help = false;
  bool version = false;
};

// ParseSeed: a decimal number from 0 to 2^32 - 1, nothing else; leading zeros are allowed and
// mean what they always do.
bool ParseSeed(std::string_view text, uint32_t& seed) {
  if (text.empty()) return false;
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  if (text.size() > 10) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  seed = static_cast<uint32_t>(value);
  return true;
}

// ParseOptions: reads argv into options ("--dir DIR" and "--dir=DIR" alike). Returns false,
// after saying why on stderr, for an unknown option, a stray argument or a bad value.
bool ParseOptions(int argc, char** argv, Options& options) {
  bool wordsOnly = false;
  for (int i = 1; i < argc;) {
    const char* given = argv[i];
    mimoza::CommandArgument arg;
    if (!mimoza::NextArgument("mimoza", argc, argv, &i, {"--dir", "--seed"}, &wordsOnly, &arg)) {
      return false;
    }
    if (arg.option == "--dir") {
      if (arg.value.empty()) {
        std::fprintf(stderr, "mimoza: --dir needs a directory\n");
        return false;
      }
      options.dir = arg.value;
    } else if (arg.option == "--seed") {
      if (!ParseSeed(arg.value, options.seed)) {
        std::fprintf(stderr, "mimoza: --seed needs a number from 0 to 4294967295\n");
        return false;
      }
      options.hasSeed = true;
    } else if (arg.option == "--jsonl") {
      options.jsonl = true;
    } else if (arg.option == "--no-history") {
      options.noHistory = true;
    } else if (arg.option == "--help" || (arg.option.empty() && arg.value == "-h")) {
      options.help = true;
    } else if (arg.option == "--version") {
      options.version = true;
    } else if (arg.option != "--") {
      std::fprintf(stderr, "mimoza: unknown %s %s\n", arg.option.empty() ? "argument" : "option",
                   given);
      return false;
    }
  }
  return true;
}

// CheckDictionary: says once on stderr what is wrong with a Dictionary.txt that is there: one
// that cannot be read leaves nothing to answer from (false: the program stops), one that cannot
// be written still answers but cannot learn. A missing one is made on first use.
bool CheckDictionary(const std::string& dir) {
  struct stat st {};
  if (stat(mimoza::kDictionaryFile, &st) != 0) return true;
  const int fd = open(mimoza::kDictionaryFile, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int readError = fd < 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (fd >= 0) close(fd);
  if (readError != 0) {
    std::fprintf(stderr, "mimoza: cannot read %s/Dictionary.txt: %s\n", dir.c_str(),
                 readError == EINVAL ? "not a regular file" : std::strerror(readError));
    return false;
  }
  if (access(mimoza::kDictionaryFile, W_OK) != 0) {
    std::fprintf(stderr,
                 "mimoza: cannot write %s/Dictionary.txt (%s): Mimoza answers but cannot learn\n",
                 dir.c_str(), std::strerror(errno));
  }
  return true;
}

// ClockSeed: milliseconds of a monotonic clock, so two runs a moment apart still differ.
uint32_t ClockSeed() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

int main(int argc, char** argv) {
  // Subcommands read their own options.
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "check") return mimoza::RunCheck(argc - 1, argv + 1);
  if (command == "edit") return mimoza::RunEdit(argc - 1, argv + 1);
  if (command == "explain") return mimoza::RunExplain(argc - 1, argv + 1);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("mimoza %s\n", MIMOZA_VERSION);
    return 0;
  }
  // A file-size limit then makes a write fail (and the pair go unstored, said so) instead of
  // killing the process in the middle of a turn.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string dir = options.dir.empty() ? mimoza::DefaultDataDirectory() : options.dir;
  if (!mimoza::EnterDataDirectory("mimoza", dir, true)) return kExitNoData;
  if (!CheckDictionary(dir)) return kExitNoData;
  mimoza::srand(options.hasSeed ? options.seed : ClockSeed());
  if (options.jsonl) return mimoza::RunJsonLines(stdin, stdout);
  // The screen face needs a terminal at both ends; otherwise lines go in and out as text.
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return mimoza::RunPiped(stdin, stdout);
  mimoza::InteractiveOptions interactive;
  interactive.history = !options.noHistory;
  return mimoza::RunInteractive(interactive);
}
