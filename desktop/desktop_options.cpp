// desktop/desktop_options.cpp: argv -> DesktopOptions; a data directory -> its bus name.
// Leaves this file: ParseDesktopOptions, FolderBusName.
// Tested by tests/desktop/window_model_test.cpp.
#include "desktop/desktop_options.h"

#include <cstdio>
#include <span>
#include <string_view>

#include "terminal/common/command_line.h"

namespace mimoza {
namespace {

constexpr CommandOption kDesktopOptions[] = {
    kHelpOption, kDirOption, kSeedOption, {"--no-history"}, {"--version"},
};

// The window's command line is one command of its own, read by the same frame as `mimoza`'s.
constexpr Subcommand kDesktopCommand = {
    "", "mimoza-gtk [--dir DIR] [--seed N] [--no-history] [--help] [--version]", "", "",
    kDesktopOptions};

}  // namespace

bool ParseDesktopOptions(int argc, char** argv, DesktopOptions* options) {
  SubcommandCall call;
  call.command = &kDesktopCommand;
  if (argc < 1 || !ReadCommandLine(kDesktopCommand, std::span<char* const>(argv + 1, argc - 1),
                                   &call)) {
    return false;
  }
  options->dir = std::string(call.Value("--dir"));
  options->hasSeed = call.Has("--seed");
  if (options->hasSeed) ParseSeed(call.Value("--seed"), &options->seed);
  options->noHistory = call.Has("--no-history");
  options->help = call.Has("--help");
  options->version = call.Has("--version");
  return true;
}

std::string FolderBusName(const std::string& dir) {
  // FNV-1a, 64 bits: stable across runs and builds, which std::hash need not be. A bus name's
  // element may not start with a digit, hence the "D".
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : dir) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(MIMOZA_APP_ID) + ".Folder.D" + hex;
}

}  // namespace mimoza
