// terminal/check_command.cpp: `mimoza check` command line -> the checker's diagnostics on
// standard output, as text lines or JSON objects.
// Leaves this file: RunCheck, DiagnosticLine, DiagnosticJson, CheckSummary. ParseCheckOptions is
// private. Tested by tests/terminal/program_test.cpp.
#include "terminal/check_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "terminal/command_line.h"
#include "terminal/encoding.h"
#include "terminal/json_command.h"

namespace mimoza {
namespace {

constexpr const char* kCheckUsage = "usage: mimoza check [--dir DIR] [--format=text|json]\n";

constexpr const char* kCheckHelp =
    "usage: mimoza check [--dir DIR] [--format=text|json]\n"
    "\n"
    "Reads Dictionary.txt and Boke.dat in the data directory (nothing is written) and prints\n"
    "one diagnostic a line, FILE:LINE:COLUMN: error|warning|note: message [rule], then a\n"
    "summary; with --format=json, one JSON object a diagnostic. Exit code: 1 when there is an\n"
    "error, 0 otherwise, 2 for a bad command line.\n";

constexpr const char* kSeverityNames[] = {"error", "warning", "note"};
constexpr const char* kFileNames[] = {kDictionaryFile, kQuipFile};

struct CheckCommandOptions {
  std::string dir;
  bool json = false;
  bool help = false;
};

// ParseCheckOptions: argv[1..] into options. False, after saying why on stderr, for anything it
// does not know.
bool ParseCheckOptions(int argc, char** argv, CheckCommandOptions& options) {
  bool wordsOnly = false;
  for (int i = 1; i < argc;) {
    const char* given = argv[i];
    CommandArgument arg;
    if (!NextArgument("mimoza check", argc, argv, &i, {"--dir", "--format"}, &wordsOnly, &arg)) {
      return false;
    }
    if (arg.option == "--dir" && !arg.value.empty()) {
      options.dir = arg.value;
    } else if (arg.option == "--format" && (arg.value == "text" || arg.value == "json")) {
      options.json = arg.value == "json";
    } else if (arg.option == "--help" || (arg.option.empty() && arg.value == "-h")) {
      options.help = true;
    } else if (arg.option != "--") {
      std::fprintf(stderr, "mimoza check: bad option %s\n", given);
      return false;
    }
  }
  return true;
}

std::string Plural(size_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

std::string DiagnosticLine(const CheckDiagnostic& diagnostic) {
  std::string line = kFileNames[diagnostic.file];
  if (diagnostic.line > 0) {
    line += ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column);
  }
  line += std::string(": ") + kSeverityNames[diagnostic.severity] + ": " +
          ToUtf8(diagnostic.message) + " [" + kCheckRuleNames[diagnostic.rule] + "]\n";
  return line;
}

std::string DiagnosticJson(const CheckDiagnostic& diagnostic) {
  std::string json = "{\"file\":";
  AppendJsonString(json, kFileNames[diagnostic.file]);
  json += ",\"line\":" + std::to_string(diagnostic.line);
  json += ",\"column\":" + std::to_string(diagnostic.column);
  json += ",\"severity\":";
  AppendJsonString(json, kSeverityNames[diagnostic.severity]);
  json += ",\"rule\":";
  AppendJsonString(json, kCheckRuleNames[diagnostic.rule]);
  json += ",\"message\":";
  AppendJsonString(json, ToUtf8(diagnostic.message));
  json += "}\n";
  return json;
}

std::string CheckSummary(const std::vector<CheckDiagnostic>& diagnostics) {
  size_t counts[3] = {};
  for (const CheckDiagnostic& diagnostic : diagnostics) ++counts[diagnostic.severity];
  if (diagnostics.empty()) return "no problems found";
  return Plural(counts[CheckError], "error") + ", " + Plural(counts[CheckWarning], "warning") +
         ", " + Plural(counts[CheckNote], "note");
}

int RunCheck(int argc, char** argv) {
  CheckCommandOptions options;
  if (!ParseCheckOptions(argc, argv, options)) {
    std::fputs(kCheckUsage, stderr);
    return kCheckExitUsage;
  }
  if (options.help) {
    std::fputs(kCheckHelp, stdout);
    return 0;
  }
  // Nothing is made: a folder that is not there is said to be missing, not created.
  const std::string dir = options.dir.empty() ? DefaultDataDirectory() : options.dir;
  if (!EnterDataDirectory("mimoza check", dir, false)) return 1;
  std::vector<CheckDiagnostic> diagnostics;
  if (!CheckDataFiles(CheckOptions{}, &diagnostics)) {
    std::fputs("mimoza check: out of memory\n", stderr);
    return 1;
  }
  bool errors = false;
  std::string out;
  for (const CheckDiagnostic& diagnostic : diagnostics) {
    errors = errors || diagnostic.severity == CheckError;
    out += options.json ? DiagnosticJson(diagnostic) : DiagnosticLine(diagnostic);
  }
  if (!options.json) out += CheckSummary(diagnostics) + "\n";
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "mimoza check: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return errors ? 1 : 0;
}

}  // namespace mimoza
