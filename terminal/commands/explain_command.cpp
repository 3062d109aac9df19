// terminal/commands/explain_command.cpp: `mimoza explain` lines (or input lines) -> the report of
// what Mimoza would do with each line, on standard output.
// Leaves this file: kExplainHelp, RunExplain. DictionaryNote is private.
// Tested by tests/terminal/program_test.cpp.
#include "terminal/commands/explain_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/explanation.h"
#include "terminal/common/line_reader.h"
#include "terminal/common/words.h"

namespace mimoza {

const char kExplainHelp[] =
    "Explains what Mimoza would do with each LINE (or each input line) as its next turn:\n"
    "the keys of Dictionary.txt that match, the answers they pool with their exact odds,\n"
    "the quip's chance, and what happens when nothing is found. Reads the data directory\n"
    "(--dir, else the default one) and changes nothing in it.\n";

namespace {

// DictionaryNote: a word on a Dictionary.txt that is there but cannot be read (a lookup then
// finds nothing in it); empty otherwise.
std::string DictionaryNote(Language language) {
  if (ProbeDictionary().readError == 0) return {};
  return Words(language, MsgExplainUnreadable) + "\n";
}

}  // namespace

int RunExplain(const SubcommandCall& call) {
  // The directory is entered, never made: explaining writes nothing.
  if (!EnterDataDirectory("mimoza explain", DataDirectoryOr(call.Value("--dir")), false)) {
    return ExitFailure;
  }
  Dictionary dictionary;
  const Language language = TerminalLanguage();
  const std::string note = DictionaryNote(language);
  bool first = true;
  const auto explain = [&](std::string utf8) {
    if (!utf8.empty() && utf8.back() == '\r') utf8.pop_back();  // a CR LF line end
    const std::string line = PrepareLine(utf8);
    std::string out = first ? note : "\n";
    first = false;
    out += line.empty() ? "> \n  " + Words(language, MsgExplainEmptyLine) + "\n"
                        : ShownText(ExplainReport(dictionary, line, language));
    std::fwrite(out.data(), 1, out.size(), stdout);
  };
  if (!call.words.empty()) {
    for (const std::string_view utf8 : call.words) explain(std::string(utf8));
  } else {
    std::string utf8;
    for (LineResult result; (result = ReadLine(stdin, utf8)) != LineEnd;) {
      if (result == LineFailed) {
        std::fprintf(stderr, "mimoza explain: cannot read the input: %s\n", std::strerror(errno));
        return ExitFailure;
      }
      explain(utf8);
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "mimoza explain: cannot write the output: %s\n", std::strerror(errno));
    return ExitFailure;
  }
  return ExitOk;
}

}  // namespace mimoza
