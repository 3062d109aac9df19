// terminal/commands/check_command.h: `mimoza check`, and the forms of the checker's diagnostics on
// a terminal: one text line each (file:line:column: severity: message [rule]) or one JSON object.
// Leaves this file: RunCheck, DiagnosticLine, DiagnosticJson, CheckSummary, kCheckExitUsage.
// Tested by tests/terminal/program_test.cpp (through the built program).
#pragma once

#include <string>
#include <vector>

#include "knowledge/dictionary_check.h"

namespace mimoza {

// Exit codes of the commands: 0 nothing wrong, 1 an error found (or the check could not run),
// 2 a bad command line.
inline constexpr int kCheckExitUsage = 2;

// RunCheck: `mimoza check [--dir DIR] [--format=text|json]` with argv[0] "check"; the data
// directory is the default one without --dir. Reads Dictionary.txt and Boke.dat there, writes
// nothing, prints the diagnostics and, in text, a summary line. Returns the exit code.
int RunCheck(int argc, char** argv);

// DiagnosticLine: "Dictionary.txt:3:1: error: message [rule]" and a line feed, UTF-8; a
// diagnostic of the whole file has no line and column.
std::string DiagnosticLine(const CheckDiagnostic& diagnostic);

// DiagnosticJson: {"file":..,"line":..,"column":..,"severity":..,"rule":..,"message":..} and a
// line feed; line and column are 0 for the whole file.
std::string DiagnosticJson(const CheckDiagnostic& diagnostic);

// CheckSummary: "2 errors, 1 warning, 3 notes", or "no problems found".
std::string CheckSummary(const std::vector<CheckDiagnostic>& diagnostics);

}  // namespace mimoza
