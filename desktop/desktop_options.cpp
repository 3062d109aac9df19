// desktop/desktop_options.cpp: argv -> DesktopOptions; a data directory -> its bus name.
// Leaves this file: ParseDesktopOptions, FolderBusName. ParseSeed is private.
// Tested by tests/desktop/window_model_test.cpp.
#include "desktop/desktop_options.h"

#include <cstdio>
#include <string_view>

#include "terminal/command_line.h"

namespace mimoza {
namespace {

// ParseSeed: a decimal number from 0 to 2^32 - 1, nothing else, as `mimoza --seed` reads it (its
// reader is private to the terminal program's main.cpp until the common command line shares it).
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

}  // namespace

bool ParseDesktopOptions(int argc, char** argv, DesktopOptions* options) {
  bool wordsOnly = false;
  for (int i = 1; i < argc;) {
    const char* given = argv[i];
    CommandArgument arg;
    if (!NextArgument("mimoza-gtk", argc, argv, &i, {"--dir", "--seed"}, &wordsOnly, &arg)) {
      return false;
    }
    if (arg.option == "--dir") {
      if (arg.value.empty()) {
        std::fprintf(stderr, "mimoza-gtk: --dir needs a directory\n");
        return false;
      }
      options->dir = arg.value;
    } else if (arg.option == "--seed") {
      if (!ParseSeed(arg.value, &options->seed)) {
        std::fprintf(stderr, "mimoza-gtk: --seed needs a number from 0 to 4294967295\n");
        return false;
      }
      options->hasSeed = true;
    } else if (arg.option == "--no-history") {
      options->noHistory = true;
    } else if (arg.option == "--help" || (arg.option.empty() && arg.value == "-h")) {
      options->help = true;
    } else if (arg.option == "--version") {
      options->version = true;
    } else if (arg.option != "--") {
      std::fprintf(stderr, "mimoza-gtk: unknown %s %s\n",
                   arg.option.empty() ? "argument" : "option", given);
      return false;
    }
  }
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
