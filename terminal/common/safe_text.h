// terminal/common/safe_text.h: text from the data files or the user -> text that may be written to
// a terminal: no control character reaches it, so a dictionary answer can neither send commands
// to a terminal nor break the one line a response takes.
// Leaves this file: IsControlChar, AppendSanitized, DropFinalBreak, SanitizeLine, Visible. Tested
// by tests/terminal/interactive_test.cpp and, through the piped face and the program's messages,
// tests/terminal/program_test.cpp.
#pragma once

#include <string>
#include <string_view>

namespace mimoza {

// IsControlChar: C0, DEL and C1, the code points a terminal may take for commands.
bool IsControlChar(char32_t c);

// AppendSanitized: appends one code point as a line shows it: a tab or a line break as a space,
// another control character as U+FFFD, anything else as itself.
void AppendSanitized(std::string& out, char32_t c);

// DropFinalBreak: the text without the one line break that ends it (LF, CR LF or CR), if any: a
// quip keeps the break that ended its line in its file, and it is no empty line after the text.
std::string_view DropFinalBreak(std::string_view text);

// SanitizeLine: UTF-8 text as one line: its final line break dropped, every other one (CR LF
// counts once) and every tab a space, other control characters and malformed UTF-8 U+FFFD.
std::string SanitizeLine(std::string_view utf8);

// Visible: text from the user's environment (a path, an option, an editor's name, a file's bytes)
// as a message quotes it: well-formed printable UTF-8 as it is, and every control character and
// every byte of a malformed sequence as \xHH, so that it can be seen and cannot send commands to
// the terminal.
std::string Visible(std::string_view text);

}  // namespace mimoza
