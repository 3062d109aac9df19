// terminal/common/command_line.cpp: argv -> options and words.
// Leaves this file: NextArgument.
// Tested through the program by tests/terminal/program_test.cpp.
#include "terminal/common/command_line.h"

#include <algorithm>
#include <cstdio>

namespace mimoza {

bool NextArgument(const char* command, int argc, char* const* argv, int* at,
                  std::initializer_list<std::string_view> valued, bool* wordsOnly,
                  CommandArgument* argument) {
  const char* given = argv[*at];
  std::string_view arg = given;
  ++*at;
  *argument = CommandArgument{};
  if (*wordsOnly || arg.substr(0, 2) != "--") {
    argument->value = arg;
    return true;
  }
  if (arg == "--") {
    *wordsOnly = true;
    if (*at < argc) return NextArgument(command, argc, argv, at, valued, wordsOnly, argument);
    argument->option = arg;  // a "--" that ends the command line means nothing
    return true;
  }
  std::string_view value;
  const size_t equals = arg.find('=');
  const bool hasValue = equals != std::string_view::npos;
  if (hasValue) {
    value = arg.substr(equals + 1);
    arg = arg.substr(0, equals);
  }
  const bool takesValue = std::find(valued.begin(), valued.end(), arg) != valued.end();
  if (takesValue && !hasValue) {
    if (*at >= argc) {
      std::fprintf(stderr, "%s: %s needs a value\n", command, given);
      return false;
    }
    value = argv[(*at)++];
  } else if (!takesValue && hasValue) {
    std::fprintf(stderr, "%s: %s takes no value\n", command, given);
    return false;
  }
  argument->option = arg;
  argument->value = value;
  return true;
}

}  // namespace mimoza
