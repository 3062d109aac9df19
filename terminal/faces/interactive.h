// terminal/faces/interactive.h: the interactive face of the terminal program, used when standard
// input and output are both terminals: a title heading, the transcript of the session, an editable
// input line with the history of earlier sessions, and a framed box for a whole response.
// Leaves this file: InteractiveOptions, RunInteractive. Tested by
// tests/terminal/interactive_test.cpp (under a pty).
#pragma once

namespace mimoza {

struct InteractiveOptions {
  bool history = true;  // load and save the history file (HistoryPath)
};

// RunInteractive: runs one conversation on the controlling terminal until Ctrl+D on an empty
// line or Ctrl+C; the working directory is already the data directory and the generator is
// seeded. Restores the terminal on every way out, and while stopped by job control. Returns the
// process exit code.
int RunInteractive(const InteractiveOptions& options);

}  // namespace mimoza
