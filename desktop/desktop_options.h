// desktop/desktop_options.h: mimoza-gtk's command line -> its options, and a data directory ->
// the session-bus name that makes one window per data directory.
// Leaves this file: DesktopOptions, ParseDesktopOptions, kDesktopUsage, FolderBusName.
// Tested by tests/desktop/window_model_test.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace mimoza {

inline constexpr const char* kDesktopUsage =
    "usage: mimoza-gtk [--dir DIR] [--seed N] [--no-history] [--help] [--version]\n";

struct DesktopOptions {
  std::string dir;  // empty: the default data directory
  uint32_t seed = 0;
  bool hasSeed = false;
  bool noHistory = false;
  bool help = false;
  bool version = false;
};

// ParseDesktopOptions: argv into *options, as `mimoza` reads the same options ("--dir DIR" and
// "--dir=DIR" alike). False, after saying why on stderr, for anything else.
bool ParseDesktopOptions(int argc, char** argv, DesktopOptions* options);

// FolderBusName: the session-bus name the window serving the data directory dir (an absolute,
// canonical path) owns: the application ID, ".Folder." and a hash of the path, so that a second
// start on the same directory finds the first and one on another directory does not.
std::string FolderBusName(const std::string& dir);

}  // namespace mimoza
