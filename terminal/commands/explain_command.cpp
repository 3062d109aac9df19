// terminal/commands/explain_command.cpp: `mimoza explain` command line and input lines -> the
// report of what Mimoza would do with each line, on standard output.
// Leaves this file: RunExplain. DictionaryNote is private.
// Tested by tests/terminal/program_test.cpp.
#include "terminal/commands/explain_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "terminal/common/command_line.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/explanation.h"
#include "terminal/common/line_reader.h"

namespace mimoza {
namespace {

// DictionaryNote: a word on a Dictionary.txt that is there but cannot be read (a lookup then
// finds nothing in it); empty otherwise.
std::string DictionaryNote() {
  if (ProbeDictionary().readError == 0) return {};
  return "(Dictionary.txt cannot be read: nothing is found in it)\n";
}

constexpr const char* kExplainUsage = "usage: mimoza explain [--dir DIR] [--] [LINE...]\n";

}  // namespace

int RunExplain(int argc, char** argv) {
  std::string dir;
  std::vector<std::string> lines;
  bool wordsOnly = false;
  for (int i = 1; i < argc;) {
    const char* given = argv[i];
    CommandArgument arg;
    // A line may start with one "-" ("-_-"): options start with two, and "--" ends them.
    if (!NextArgument("mimoza explain", argc, argv, &i, {"--dir"}, &wordsOnly, &arg)) {
      std::fputs(kExplainUsage, stderr);
      return 2;
    }
    if (arg.option.empty()) {
      lines.emplace_back(arg.value);
    } else if (arg.option == "--help") {
      std::fputs(kExplainUsage, stdout);
      std::fputs(
          "Explains what Mimoza would do with each LINE (or each input line) as its next turn:\n"
          "the keys of Dictionary.txt that match, the answers they pool with their exact odds,\n"
          "the quip's chance, and what happens when nothing is found. Reads the data directory\n"
          "(--dir, else the default one) and changes nothing in it.\n",
          stdout);
      return 0;
    } else if (arg.option == "--dir" && !arg.value.empty()) {
      dir = arg.value;
    } else if (arg.option != "--") {
      std::fprintf(stderr, "mimoza explain: bad option %s\n%s", given, kExplainUsage);
      return 2;
    }
  }
  // The directory is entered, never made: explaining writes nothing.
  if (!EnterDataDirectory("mimoza explain", dir.empty() ? DefaultDataDirectory() : dir, false)) {
    return 1;
  }
  Dictionary dictionary;
  const std::string note = DictionaryNote();
  bool first = true;
  const auto explain = [&](std::string utf8) {
    if (!utf8.empty() && utf8.back() == '\r') utf8.pop_back();  // a CR LF line end
    const std::string line = PrepareLine(utf8);
    std::string out = first ? note : "\n";
    first = false;
    out += line.empty() ? "> \n  an empty line runs no turn\n" : ExplainReport(dictionary, line);
    std::fwrite(out.data(), 1, out.size(), stdout);
  };
  if (!lines.empty()) {
    for (const std::string& utf8 : lines) explain(utf8);
  } else {
    std::string utf8;
    for (LineResult result; (result = ReadLine(stdin, utf8)) != LineEnd;) {
      if (result == LineFailed) {
        std::fprintf(stderr, "mimoza explain: cannot read the input: %s\n", std::strerror(errno));
        return 1;
      }
      explain(utf8);
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "mimoza explain: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace mimoza
