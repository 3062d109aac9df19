// terminal/commands/check_command.h: `mimoza check`, and the forms of the checker's diagnostics on
// a terminal: one text line each (file:line:column: severity: message [rule]) or one JSON object.
// Leaves this file: IsCheckFormat, IsCheckSeverity, kCheckOptions, kCheckHelp, RunCheck,
// DiagnosticLine, DiagnosticJson, CheckSummary, TurnCostLine.
// Tested by tests/terminal/program_test.cpp (through the built program).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "conversation/messages.h"
#include "knowledge/dictionary_check.h"
#include "terminal/common/command_line.h"

namespace mimoza {

// IsCheckFormat: a value of --format: "text" or "json".
bool IsCheckFormat(std::string_view value);
// IsCheckSeverity: a value of --severity: "error", "warning" or "note".
bool IsCheckSeverity(std::string_view value);

inline constexpr CommandOption kCheckOptions[] = {
    kHelpOption,
    kDirOption,
    {"--format", 0, true, IsCheckFormat, "text or json"},
    {"--severity", 0, true, IsCheckSeverity, "error, warning or note"},
    {"--quiet", 'q'}};

// What `mimoza check --help` says below its usage line.
extern const char kCheckHelp[];

// RunCheck: `mimoza check [--dir DIR] [--format=text|json] [--severity=LEVEL] [-q]`; the data
// directory is the default one without --dir. Reads Dictionary.txt and Boke.dat there, writes
// nothing, prints the diagnostics of LEVEL and above (-q: errors only) and, in text, a summary
// of all of them and the worst-case turn. Returns the exit code: ExitFailure when there is an
// error (shown or not) or the check cannot run.
int RunCheck(const SubcommandCall& call);

// DiagnosticLine: "Dictionary.txt:3:1: error: message [rule]" and a line feed, UTF-8, the
// message in language (the severity and the rule are names, the same in every language); a
// diagnostic of the whole file has no line and column.
std::string DiagnosticLine(const CheckDiagnostic& diagnostic, Language language);

// DiagnosticJson: {"file":..,"line":..,"column":..,"severity":..,"rule":..,"message":..} and a
// line feed; line and column are 0 for the whole file, the message in language.
std::string DiagnosticJson(const CheckDiagnostic& diagnostic, Language language);

// CheckSummary: "2 errors, 1 warning, 3 notes", or "no problems found", in language.
std::string CheckSummary(const std::vector<CheckDiagnostic>& diagnostics, Language language);

// TurnCostLine: "worst-case turn: N search steps, about M ms (...)" and a line feed, UTF-8.
std::string TurnCostLine(const CheckFigures& figures, Language language);

}  // namespace mimoza
