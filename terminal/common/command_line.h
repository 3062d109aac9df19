// terminal/common/command_line.h: what every mimoza command reads of its command line.
// Leaves this file: CommandArgument, NextArgument. Tested through the program by
// tests/terminal/program_test.cpp.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace mimoza {

// One command-line argument: an option (with its value when it takes one) or a word.
struct CommandArgument {
  std::string_view option;  // "--dir"; empty for a word
  std::string_view value;   // the option's value, or the word itself
};

// NextArgument: reads argv[*at] into *argument and moves *at past it, and past an option's value
// given apart ("--dir DIR"; "--dir=DIR" too). Arguments that start with "--" are options; those
// named in valued take a value, the others none. After "--" every argument is a word
// (*wordsOnly says so); a "--" that ends the command line comes back as the option "--", which
// means nothing. False, after a message on stderr naming command, for a valued option
// without a value or a value given to an option that takes none.
bool NextArgument(const char* command, int argc, char* const* argv, int* at,
                  std::initializer_list<std::string_view> valued, bool* wordsOnly,
                  CommandArgument* argument);

}  // namespace mimoza
