// terminal/common/words.cpp: the locale -> the terminal's language; the message table's code page
// 932 -> UTF-8.
// Leaves this file: LanguageOfLocale, TerminalLanguage, Words, ShownText. Tested as words.h says.
#include "terminal/common/words.h"

#include <cstdlib>
#include <span>

#include "terminal/common/encoding.h"
#include "terminal/common/safe_text.h"

namespace mimoza {

Language LanguageOfLocale(std::string_view locale) {
  return locale.substr(0, 2) == "ja" ? LanguageJapanese : LanguageEnglish;
}

Language TerminalLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return LanguageOfLocale(value);
  }
  return LanguageEnglish;
}

// The text is converted first and filled after, so that an argument is taken as the UTF-8 it is.
std::string Words(Language language, MessageId id,
                  std::initializer_list<std::string_view> arguments) {
  return FillPlaceholders(ToUtf8(MessageText(language, id)),
                          std::span<const std::string_view>(arguments.begin(), arguments.size()),
                          true);
}

std::string ShownText(std::string_view cp932) {
  const std::string utf8 = ToUtf8(cp932);
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    size_t end = utf8.find('\n', at);
    const bool broken = end != std::string::npos;
    if (!broken) end = utf8.size();
    out += SanitizeLine(std::string_view(utf8).substr(at, end - at));
    if (broken) out += '\n';
    at = end + 1;
  }
  return out;
}

}  // namespace mimoza
