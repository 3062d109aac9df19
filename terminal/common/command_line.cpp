// terminal/common/command_line.cpp: argv -> options and words; the XDG folders -> the data
// directory.
// Leaves this file: NextArgument, XdgPath, DefaultDataDirectory, EnterDataDirectory.
// Tested through the program by tests/terminal/program_test.cpp.
#include "terminal/common/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

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

std::string XdgPath(const char* variable, const char* homeFallback, const char* name) {
  const std::string tail = std::string("/mimoza") + (name[0] != '\0' ? "/" : "") + name;
  const char* base = std::getenv(variable);
  if (base != nullptr && base[0] == '/') return base + tail;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/" + homeFallback + tail;
  return {};
}

std::string DefaultDataDirectory() { return XdgPath("XDG_DATA_HOME", ".local/share", ""); }

bool EnterDataDirectory(const char* command, const std::string& dir, bool create) {
  if (dir.empty()) {
    std::fprintf(stderr, "%s: no data directory: set HOME or XDG_DATA_HOME, or use --dir\n",
                 command);
    return false;
  }
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
      std::fprintf(stderr, "%s: cannot create the data directory %s: %s\n", command, dir.c_str(),
                   error.message().c_str());
      return false;
    }
  }
  if (chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "%s: cannot use the data directory %s: %s\n", command, dir.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace mimoza
