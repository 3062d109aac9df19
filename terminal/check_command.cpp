// terminal/check_command.cpp: `mimoza check` command line -> the checker's diagnostics on
// standard output, as text lines or JSON objects.
// Leaves this file: RunCheck, DiagnosticLine, DiagnosticJson, CheckSummary. ParseCheckOptions is
// private. Tested by tests/terminal/program_test.cpp.
#include "terminal/check_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

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
constexpr const char* kFileNames[] = {"Dictionary.txt", "Boke.dat"};

struct CheckCommandOptions {
  std::string dir;
  bool json = false;
  bool help = false;
};

// ParseCheckOptions: argv[1..] into options ("--dir DIR" and "--dir=DIR" alike). False, after
// saying why on stderr, for anything it does not know.
bool ParseCheckOptions(int argc, char** argv, CheckCommandOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (arg.substr(0, 2) == "--" && equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      hasValue = true;
    }
    const bool takesValue = arg == "--dir" || arg == "--format";
    if (takesValue && !hasValue) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "mimoza check: %s needs a value\n", argv[i]);
        return false;
      }
      value = argv[++i];
    } else if (!takesValue && hasValue) {
      std::fprintf(stderr, "mimoza check: unknown option %s\n", argv[i]);
      return false;
    }
    if (arg == "--dir" && !value.empty()) {
      options.dir = value;
    } else if (arg == "--format" && (value == "text" || value == "json")) {
      options.json = value == "json";
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else {
      std::fprintf(stderr, "mimoza check: bad option %s\n", argv[i]);
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

int RunCheck(int argc, char** argv, const std::string& defaultDirectory) {
  CheckCommandOptions options;
  if (!ParseCheckOptions(argc, argv, options)) {
    std::fputs(kCheckUsage, stderr);
    return kCheckExitUsage;
  }
  if (options.help) {
    std::fputs(kCheckHelp, stdout);
    return 0;
  }
  const std::string dir = options.dir.empty() ? defaultDirectory : options.dir;
  if (dir.empty()) {
    std::fputs("mimoza check: no data directory: set HOME or XDG_DATA_HOME, or use --dir\n",
               stderr);
    return 1;
  }
  // Nothing is made: a folder that is not there is said to be missing, not created.
  if (chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "mimoza check: cannot use the data directory %s: %s\n", dir.c_str(),
                 std::strerror(errno));
    return 1;
  }
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
