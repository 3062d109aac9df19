// terminal/commands/check_command.cpp: `mimoza check` command line -> the checker's diagnostics on
// standard output, as text lines or JSON objects.
// Leaves this file: kCheckHelp, IsCheckFormat, IsCheckSeverity, RunCheck, DiagnosticLine,
// DiagnosticJson, CheckSummary, TurnCostLine. Tested by tests/terminal/program_test.cpp.
#include "terminal/commands/check_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/json_text.h"
#include "terminal/common/words.h"

namespace mimoza {

const char kCheckHelp[] =
    "Reads Dictionary.txt and Boke.dat in the data directory (nothing is written) and prints\n"
    "one diagnostic a line, FILE:LINE:COLUMN: error|warning|note: message [rule], then a\n"
    "summary of them all and the worst-case cost of a turn; with --format=json, one JSON\n"
    "object a diagnostic. --severity=error|warning|note shows that severity and the graver\n"
    "ones (default: note, everything); -q, --quiet shows errors only. Exit code: 1 when there\n"
    "is an error, shown or not, 0 otherwise, 2 for a bad command line.\n";

namespace {

// Indexed by CheckSeverity.
constexpr const char* kSeverityNames[] = {"error", "warning", "note"};
constexpr const char* kFileNames[] = {kDictionaryFile, kQuipFile};

// LowestShown: the least grave severity the command line asks to see.
CheckSeverity LowestShown(const SubcommandCall& call) {
  if (call.Has("--quiet")) return CheckError;
  const std::string_view given = call.Value("--severity");
  for (int32_t severity = CheckError; severity <= CheckNote; ++severity) {
    if (given == kSeverityNames[severity]) return static_cast<CheckSeverity>(severity);
  }
  return CheckNote;
}

}  // namespace

bool IsCheckFormat(std::string_view value) { return value == "text" || value == "json"; }

bool IsCheckSeverity(std::string_view value) {
  return value == kSeverityNames[CheckError] || value == kSeverityNames[CheckWarning] ||
         value == kSeverityNames[CheckNote];
}

std::string DiagnosticLine(const CheckDiagnostic& diagnostic, Language language) {
  std::string line = kFileNames[diagnostic.file];
  if (diagnostic.line > 0) {
    line += ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column);
  }
  line += std::string(": ") + kSeverityNames[diagnostic.severity] + ": " +
          ToUtf8(ComposeCheck(language, diagnostic.message)) + " [" +
          kCheckRuleNames[diagnostic.rule] + "]\n";
  return line;
}

std::string DiagnosticJson(const CheckDiagnostic& diagnostic, Language language) {
  std::string json = "{\"file\":";
  AppendJsonString(json, kFileNames[diagnostic.file]);
  json += ",\"line\":" + std::to_string(diagnostic.line);
  json += ",\"column\":" + std::to_string(diagnostic.column);
  json += ",\"severity\":";
  AppendJsonString(json, kSeverityNames[diagnostic.severity]);
  json += ",\"rule\":";
  AppendJsonString(json, kCheckRuleNames[diagnostic.rule]);
  json += ",\"message\":";
  AppendJsonString(json, ToUtf8(ComposeCheck(language, diagnostic.message)));
  json += "}\n";
  return json;
}

std::string CheckSummary(const std::vector<CheckDiagnostic>& diagnostics, Language language) {
  size_t counts[3] = {};
  for (const CheckDiagnostic& diagnostic : diagnostics) ++counts[diagnostic.severity];
  return ToUtf8(
      ComposeCheckSummary(language, counts[CheckError], counts[CheckWarning], counts[CheckNote]));
}

std::string TurnCostLine(const CheckFigures& figures, Language language) {
  const std::string steps = std::to_string(figures.turnSteps);
  const std::string milliseconds = std::to_string(TurnMilliseconds(figures.turnSteps));
  const std::string turn = std::to_string(kTurnSteps);
  const std::string turnMilliseconds = std::to_string(kTurnMilliseconds);
  return Words(language, figures.turnCut ? MsgTurnCostCut : MsgTurnCost,
               {steps, milliseconds, turn, turnMilliseconds}) +
         "\n";
}

int RunCheck(const SubcommandCall& call) {
  const bool json = call.Value("--format") == "json";
  const CheckSeverity lowest = LowestShown(call);
  // Nothing is made: a folder that is not there is said to be missing, not created.
  if (!EnterDataDirectory("mimoza check", DataDirectoryOr(call.Value("--dir")), false)) {
    return ExitFailure;
  }
  std::vector<CheckDiagnostic> diagnostics;
  CheckFigures figures;
  if (!CheckDataFiles(CheckOptions{}, &diagnostics, &figures)) {
    std::fputs("mimoza check: out of memory\n", stderr);
    return ExitFailure;
  }
  const Language language = TerminalLanguage();
  bool errors = false;
  std::string out;
  for (const CheckDiagnostic& diagnostic : diagnostics) {
    errors = errors || diagnostic.severity == CheckError;
    if (diagnostic.severity > lowest) continue;
    out += json ? DiagnosticJson(diagnostic, language) : DiagnosticLine(diagnostic, language);
  }
  if (!json) out += CheckSummary(diagnostics, language) + "\n" + TurnCostLine(figures, language);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "mimoza check: cannot write the output: %s\n", std::strerror(errno));
    return ExitFailure;
  }
  return errors ? ExitFailure : ExitOk;
}

}  // namespace mimoza
