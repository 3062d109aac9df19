// terminal/commands/ask.cpp: a question -> yes or no, from the terminal.
// Leaves this file: CanAsk, AskYesNo. Tested through the commands by
// tests/terminal/store_commands_test.cpp and tests/terminal/edit_test.cpp.
#include "terminal/commands/ask.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>

namespace mimoza {

bool CanAsk() { return isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0; }

bool AskYesNo(const std::string& question, bool byDefault) {
  for (;;) {
    std::printf("%s %s ", question.c_str(), byDefault ? "[Y/n]" : "[y/N]");
    std::fflush(stdout);
    char answer[64];
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
      std::putchar('\n');
      return byDefault;
    }
    std::string word;
    for (const char* c = answer; *c != '\0' && *c != '\n' && *c != '\r'; ++c) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    if (word.empty()) return byDefault;
    if (word == "y" || word == "yes") return true;
    if (word == "n" || word == "no") return false;
  }
}

}  // namespace mimoza
