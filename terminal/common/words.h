// terminal/common/words.h: the terminal's edge of the message table (conversation/messages.h):
// which language the terminal speaks, and its words in UTF-8.
// Leaves this file: LanguageOfLocale, TerminalLanguage, Words, ShownText. Tested by
// tests/terminal/encoding_test.cpp and, through the built program, tests/terminal/program_test.cpp.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "conversation/messages.h"

namespace mimoza {

// LanguageOfLocale: Japanese for a locale name that starts with "ja" (ja_JP.UTF-8, ja), else
// English.
Language LanguageOfLocale(std::string_view locale);

// TerminalLanguage: the language of the user's locale for messages: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty, as LanguageOfLocale reads it. The one place the
// terminal program decides its language; the desktop window and the Windows dialog speak
// Japanese.
Language TerminalLanguage();

// Words: message id in language, UTF-8, its placeholders filled with UTF-8 arguments (a path, the
// system's words, a line being typed).
std::string Words(Language language, MessageId id,
                  std::initializer_list<std::string_view> arguments = {});

// ShownText: code page 932 lines composed in the core (a turn's record, a report) -> UTF-8 a
// terminal can show: each line as SanitizeLine (terminal/common/safe_text.h) makes it, so no
// control character from the files reaches the terminal; the line ends stay.
std::string ShownText(std::string_view cp932);

}  // namespace mimoza
