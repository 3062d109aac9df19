// terminal/faces/charset.h: the terminal's character set where the locale says it is not UTF-8: the
// interactive face's UTF-8 frames -> bytes that terminal can show, and the bytes typed there ->
// UTF-8, converted with iconv.
// Leaves this file: LocaleCharset, CharsetOfLocaleName, IsUtf8Charset, TerminalCharset.
// Tested by tests/terminal/encoding_test.cpp; fuzzed by fuzz/terminal_input_fuzz.cpp.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "terminal/common/charset_converter.h"

namespace mimoza {

// LocaleCharset: the character set the user's locale names for LC_CTYPE. The C library is asked
// first; a locale this system lacks leaves it at "C", so then the name in LC_ALL, LC_CTYPE or
// LANG (the first one set) is read with CharsetOfLocaleName. Leaves LC_CTYPE as it found it.
std::string LocaleCharset();

// CharsetOfLocaleName: the character set a locale name such as "ja_JP.eucJP@x" spells after its
// "."; "ANSI_X3.4-1968" (ASCII, what "C" and "POSIX" use) when it spells none.
std::string CharsetOfLocaleName(std::string_view locale);

// IsUtf8Charset: "UTF-8", "utf8" and the like, in any case.
bool IsUtf8Charset(std::string_view charset);

// One per terminal. Characters with no form in the charset, and characters that a terminal of
// that charset shows wider or narrower than wcwidth says, are shown as "?" in the cells they
// would take, so the face's layout keeps its widths whatever the terminal can show.
class TerminalCharset {
 public:
  TerminalCharset() = default;
  TerminalCharset(const TerminalCharset&) = delete;
  TerminalCharset& operator=(const TerminalCharset&) = delete;

  // Open: converts to and from charset from now on. A charset iconv cannot open is taken as
  // ASCII, which every charset a locale may use begins with; returns false then.
  bool Open(const std::string& charset);
  // Name: the charset as Open was given it.
  const std::string& Name() const { return name; }
  // Shows: whether the terminal shows c as itself.
  bool Shows(char32_t c);
  // FromUtf8: UTF-8 text (malformed bytes count as U+FFFD) -> the terminal's bytes.
  std::string FromUtf8(std::string_view utf8);
  // ToUtf8: bytes read from the terminal -> UTF-8. A character cut short at the end of bytes is
  // kept for the next call; a byte that starts no character becomes U+FFFD.
  std::string ToUtf8(std::string_view bytes);

 private:
  // How one character is shown: its own bytes, or "?" for each cell it would take.
  struct Shown {
    std::string bytes;
    bool itself = false;
  };
  const Shown& ShownAs(char32_t c);
  bool Encode(char32_t c, std::string* bytes);

  // A character cut short takes at most this many bytes (GB18030 and EUC-TW use four); more
  // waiting bytes mean the first one starts no character.
  static constexpr size_t kMaxPendingBytes = 8;

  CharsetConverter toTerminal;  // not Ready: the terminal is taken as ASCII
  CharsetConverter fromTerminal;
  std::string name;
  bool halfWidthKanaAfterSs2 = false;  // EUC-JP: 0x8E xx is one cell, not two
  // What each character seen so far is shown as. Bounded by the characters the engine's code
  // page 932 and the terminal's charset have, some ten thousand.
  std::unordered_map<char32_t, Shown> shown;
  std::string pendingInput;  // the start of a character cut short between two reads
};

}  // namespace mimoza
