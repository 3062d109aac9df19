// terminal/common/command_line.cpp: argv -> the command it names, its options and words, and the
// usage and help texts of the command table.
// Leaves this file: IsNotEmpty, ParseSeed, IsSeed, SeedOrClock, SubcommandCall's members,
// ReadCommandLine, FindSubcommand, UsageText, HelpText, UsageError, RunCommandLine. FindLong,
// FindShort, Fail, Record and ReadShortOptions are private.
// Tested by tests/terminal/command_line_test.cpp and tests/terminal/program_test.cpp.
#include "terminal/common/command_line.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"

namespace mimoza {
namespace {

// Every command takes --help, listed or not.
constexpr CommandOption kImplicitHelp = {"--help"};

const CommandOption* FindLong(const Subcommand& command, std::string_view name) {
  for (const CommandOption& option : command.options) {
    if (name == option.name) return &option;
  }
  return name == kImplicitHelp.name ? &kImplicitHelp : nullptr;
}

const CommandOption* FindShort(const Subcommand& command, char letter) {
  for (const CommandOption& option : command.options) {
    if (option.shortName != 0 && option.shortName == letter) return &option;
  }
  return nullptr;
}

bool HasShortForms(const Subcommand& command) {
  return std::any_of(command.options.begin(), command.options.end(),
                     [](const CommandOption& option) { return option.shortName != 0; });
}

// Fail: says on stderr why the command line is wrong, its quoted arguments made visible;
// returns false.
bool Fail(const SubcommandCall& call, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", call.Program().c_str(), Visible(why).c_str());
  return false;
}

// Record: the option with its value, when the option accepts that value.
bool Record(const CommandOption& option, std::string_view value, SubcommandCall* call) {
  if (option.accepts != nullptr && !option.accepts(value)) {
    return Fail(*call, std::string(option.name) + " needs " + option.needs);
  }
  call->options.push_back(GivenOption{option.name, value});
  return true;
}

// ReadShortOptions: "-xy", "-xvalue" or "-x value" at args[*at]; *at moves past a value given
// apart.
bool ReadShortOptions(const Subcommand& command, std::span<char* const> args, size_t* at,
                      SubcommandCall* call) {
  const std::string_view arg = args[*at];
  for (size_t i = 1; i < arg.size(); ++i) {
    const CommandOption* option = FindShort(command, arg[i]);
    if (option == nullptr) return Fail(*call, "unknown option -" + std::string(1, arg[i]));
    if (!option->takesValue) {
      call->options.push_back(GivenOption{option->name, {}});
    } else if (i + 1 < arg.size()) {
      return Record(*option, arg.substr(i + 1), call);
    } else if (*at + 1 < args.size()) {
      return Record(*option, args[++*at], call);
    } else {
      return Fail(*call, "-" + std::string(1, arg[i]) + " needs a value");
    }
  }
  return true;
}

}  // namespace

bool IsNotEmpty(std::string_view value) { return !value.empty(); }

bool ParseSeed(std::string_view text, uint32_t* seed) {
  if (text.empty()) return false;
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  if (text.size() > 10) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  *seed = static_cast<uint32_t>(value);
  return true;
}

bool IsSeed(std::string_view value) {
  uint32_t seed = 0;
  return ParseSeed(value, &seed);
}

uint32_t SeedOrClock(std::string_view given) {
  uint32_t seed = 0;
  if (ParseSeed(given, &seed)) return seed;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool SubcommandCall::Has(std::string_view name) const {
  return std::any_of(options.begin(), options.end(),
                     [name](const GivenOption& given) { return given.name == name; });
}

std::string_view SubcommandCall::Value(std::string_view name) const {
  for (auto given = options.rbegin(); given != options.rend(); ++given) {
    if (given->name == name) return given->value;
  }
  return {};
}

// The program's name is the first word of the command's usage line ("mimoza", "mimoza-gtk").
std::string SubcommandCall::Program() const {
  if (command == nullptr) return "mimoza";
  const std::string_view usage = command->usage;
  std::string program(usage.substr(0, usage.find(' ')));
  if (program.empty()) program = "mimoza";
  if (command->name[0] != '\0') program += std::string(" ") + command->name;
  return program;
}

bool ReadCommandLine(const Subcommand& command, std::span<char* const> args, SubcommandCall* call) {
  const bool shortForms = HasShortForms(command);
  bool wordsOnly = false;
  for (size_t at = 0; at < args.size(); ++at) {
    const std::string_view arg = args[at];
    if (wordsOnly || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && !shortForms)) {
      if (!command.takesWords) return Fail(*call, "unknown argument " + std::string(arg));
      call->words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      wordsOnly = true;
      continue;
    }
    if (arg[1] != '-') {
      if (!ReadShortOptions(command, args, &at, call)) return false;
      continue;
    }
    const size_t equals = arg.find('=');
    const CommandOption* option = FindLong(command, arg.substr(0, equals));
    if (option == nullptr) return Fail(*call, "unknown option " + std::string(arg));
    if (equals != std::string_view::npos) {
      if (!option->takesValue) return Fail(*call, std::string(arg) + " takes no value");
      if (!Record(*option, arg.substr(equals + 1), call)) return false;
    } else if (!option->takesValue) {
      call->options.push_back(GivenOption{option->name, {}});
    } else if (at + 1 < args.size()) {
      if (!Record(*option, args[++at], call)) return false;
    } else {
      return Fail(*call, std::string(arg) + " needs a value");
    }
  }
  return true;
}

const Subcommand* FindSubcommand(std::span<const Subcommand> table, std::string_view name) {
  for (const Subcommand& command : table) {
    if (command.name[0] != '\0' && name == command.name) return &command;
  }
  return nullptr;
}

std::string UsageText(std::span<const Subcommand> table, const Subcommand& command) {
  if (&command != &table.front()) return std::string("usage: ") + command.usage + "\n";
  std::string text;
  for (const Subcommand& row : table) {
    text += (text.empty() ? "usage: " : "       ") + std::string(row.usage) + "\n";
  }
  return text;
}

std::string HelpText(std::span<const Subcommand> table, const Subcommand& command) {
  if (&command != &table.front()) return UsageText(table, command) + "\n" + command.help;
  std::string text = std::string(command.summary) + "\n\n" + UsageText(table, command) + "\n" +
                     command.help + "\nCommands (mimoza help COMMAND tells more):\n";
  size_t width = 0;
  for (const Subcommand& row : table.subspan(1)) width = std::max(width, std::strlen(row.name));
  for (const Subcommand& row : table.subspan(1)) {
    text += "  " + std::string(row.name) + std::string(width + 2 - std::strlen(row.name), ' ') +
            row.summary + "\n";
  }
  return text;
}

int UsageError(const SubcommandCall& call, const std::string& message) {
  Fail(call, message);
  std::fputs(UsageText(call.table, *call.command).c_str(), stderr);
  return ExitUsage;
}

int RunCommandLine(std::span<const Subcommand> table, int argc, char** argv) {
  const Subcommand* named = argc > 1 ? FindSubcommand(table, argv[1]) : nullptr;
  SubcommandCall call;
  call.command = named != nullptr ? named : &table.front();
  call.table = table;
  const int first = named != nullptr ? 2 : 1;
  const std::span<char* const> args(argv + first, static_cast<size_t>(std::max(argc - first, 0)));
  if (!ReadCommandLine(*call.command, args, &call)) {
    std::fputs(UsageText(table, *call.command).c_str(), stderr);
    return ExitUsage;
  }
  if (call.Has("--help")) {
    std::fputs(HelpText(table, *call.command).c_str(), stdout);
    return ExitOk;
  }
  return call.command->run(call);
}

}  // namespace mimoza
