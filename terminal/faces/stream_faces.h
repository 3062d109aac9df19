// terminal/faces/stream_faces.h: the terminal program's two faces for streams that are not a
// terminal: piped lines in, response lines out; and the JSON-lines machine protocol.
// Leaves this file: RunPiped, RunJsonLines.
// Tested by tests/terminal/program_test.cpp (through the built program) and
// tests/terminal/json_command_test.cpp.
#pragma once

#include <cstdio>
#include <string>

namespace mimoza {

// RunPiped: one submission without Ctrl per input line; every response line the engine sets is
// written as one output line, made safe by SanitizeLine (terminal/common/safe_text.h).
// The working directory is already the data directory and the generator is seeded. Returns the
// exit code: 0 at the end of input, 1 when reading fails or the output cannot be written (said
// on stderr).
int RunPiped(std::FILE* in, std::FILE* out);

// RunJsonLines: the title event, then one command per input line and one event per host
// operation, each flushed. Same preconditions and exit codes as RunPiped.
int RunJsonLines(std::FILE* in, std::FILE* out);

}  // namespace mimoza
