// terminal/common/exit_code.h: the exit codes of every mimoza command, and of the desktop window.
// Leaves this file: ExitCode. Tested through the program by tests/terminal/program_test.cpp.
#pragma once

namespace mimoza {

enum ExitCode : int {
  ExitOk = 0,       // done; for mimoza check: no error found
  ExitFailure = 1,  // it could not be done (said on stderr), or mimoza check found an error
  ExitUsage = 2,    // a bad command line (the usage follows), or no terminal where one is needed
};

}  // namespace mimoza
