// terminal/common/command_line.h: the frame of the mimoza commands: a table of commands, each with
// its usage, help, options and entry point; one reader of every command line; the help texts.
// Leaves this file: CommandOption, kHelpOption, kDirOption, IsNotEmpty, GivenOption,
// SubcommandCall, Subcommand, ReadCommandLine, FindSubcommand, UsageText, HelpText, UsageError,
// RunCommandLine. Tested by tests/terminal/command_line_test.cpp and, through the program, by
// tests/terminal/program_test.cpp.
//
// Adding a command is one row of the table (terminal/main.cpp) and its entry point:
//   {"forget", "mimoza forget [--dir DIR] LINE...", "one line of summary", kForgetHelp,
//    kForgetOptions, true, RunForget},
//   int RunForget(const SubcommandCall& call);  // returns an ExitCode
// The frame reads the options the row declares, answers --help, and says what is wrong with a
// command line (exit code 2) before the entry point runs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mimoza {

// One option a command takes. "--help" is every command's without being listed; a command lists
// it (kHelpOption) only to give it its short form.
struct CommandOption {
  const char* name = nullptr;                         // the long form, "--dir"
  char shortName = 0;                                 // 'h' for "-h"; 0: no short form
  bool takesValue = false;                            // "--dir DIR", "--dir=DIR", "-d DIR", "-dDIR"
  bool (*accepts)(std::string_view value) = nullptr;  // null: any value
  const char* needs = nullptr;  // what a refused value lacks: "--dir needs" "a directory"
};

// IsNotEmpty: a value that says something.
bool IsNotEmpty(std::string_view value);

// ParseSeed: a decimal number from 0 to 2^32 - 1, nothing else; leading zeros are allowed and
// mean what they always do. False, leaving *seed alone, for anything else.
bool ParseSeed(std::string_view text, uint32_t* seed);
// IsSeed: a value ParseSeed takes.
bool IsSeed(std::string_view value);
// SeedOrClock: the seed given (a value IsSeed accepts), or with none milliseconds of a monotonic
// clock, so that two runs a moment apart still differ.
uint32_t SeedOrClock(std::string_view given);

inline constexpr CommandOption kHelpOption = {"--help", 'h'};
inline constexpr CommandOption kDirOption = {"--dir", 0, true, IsNotEmpty, "a directory"};
inline constexpr CommandOption kSeedOption = {"--seed", 0, true, IsSeed,
                                              "a number from 0 to 4294967295"};

// One option as given: its long name (also when it was given in its short form) and its value.
struct GivenOption {
  std::string_view name;
  std::string_view value;  // empty for an option that takes none
};

struct Subcommand;

// What the frame read of one command line, for the command's entry point.
struct SubcommandCall {
  const Subcommand* command = nullptr;
  std::span<const Subcommand> table;    // every command, for help
  std::vector<GivenOption> options;     // in the order given
  std::vector<std::string_view> words;  // the arguments that are no options, in order

  // Has: whether the option was given.
  bool Has(std::string_view name) const;
  // Value: the value the option was given last; empty when it was not given.
  std::string_view Value(std::string_view name) const;
  // Program: what the command's messages start with: "mimoza", "mimoza check", "mimoza-gtk".
  std::string Program() const;
};

// A row of the command table.
struct Subcommand {
  const char* name = "";     // the word after "mimoza"; "" for the chat itself, the first row
  const char* usage = "";    // the usage line without "usage: "
  const char* summary = "";  // one line for the general help's list of commands (the first
                             // row's opens the general help)
  const char* help = "";     // what --help prints below the usage line
  std::span<const CommandOption> options;
  bool takesWords = false;                           // arguments that are no options are its
  int (*run)(const SubcommandCall& call) = nullptr;  // the entry point; returns an ExitCode
};

// ReadCommandLine: the arguments after the command's name into call->options and call->words.
// "--name", "--name=value" and "--name value" for long options; "-x", "-xvalue", "-x value" and
// flags together ("-xy") for the short forms, where the command declares any (else an argument
// that starts with one "-" is a word, such as a line "-_-"); every argument after "--" is a word.
// False, after saying why on stderr: an unknown option, a value missing, given to an option that
// takes none or refused, or a word for a command that takes none.
bool ReadCommandLine(const Subcommand& command, std::span<char* const> args, SubcommandCall* call);

// FindSubcommand: the row named name (not the first row's ""), or null.
const Subcommand* FindSubcommand(std::span<const Subcommand> table, std::string_view name);

// UsageText: "usage: " and the command's usage line; for the first row, every row's.
std::string UsageText(std::span<const Subcommand> table, const Subcommand& command);

// HelpText: what --help prints: the usage and the help text; for the first row (the general
// help), its summary first and the list of the other commands last.
std::string HelpText(std::span<const Subcommand> table, const Subcommand& command);

// UsageError: "PROGRAM: message" and the usage on stderr, for an entry point that finds its
// command line wrong; returns ExitUsage.
int UsageError(const SubcommandCall& call, const std::string& message);

// RunCommandLine: runs the command argv[1] names, with the arguments after it (the first row,
// with every argument, when argv[1] names none); returns the exit code. A bad command line gets
// the usage on stderr and ExitUsage, --help the help text on stdout and ExitOk.
int RunCommandLine(std::span<const Subcommand> table, int argc, char** argv);

}  // namespace mimoza
