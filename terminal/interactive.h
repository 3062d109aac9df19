// terminal/interactive.h: the interactive face of the terminal program, used when standard input
// and output are both terminals: a title heading, an editable input line, the response line and
// the framed box for the last response.
// Leaves this file: RunInteractive. Tested by tests/terminal/interactive_test.cpp (under a pty).
#pragma once

namespace mimoza {

// RunInteractive: runs one conversation on the controlling terminal until Ctrl+D on an empty
// line or Ctrl+C; the working directory is already the data directory and the generator is
// seeded. Restores the terminal on every way out. Returns the process exit code.
int RunInteractive();

}  // namespace mimoza
