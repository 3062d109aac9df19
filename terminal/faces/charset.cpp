// terminal/faces/charset.cpp: UTF-8 frames <-> the bytes of a terminal whose locale is not UTF-8.
// Leaves this file: LocaleCharset, CharsetOfLocaleName, IsUtf8Charset, TerminalCharset.
// Tested by tests/terminal/encoding_test.cpp; fuzzed by fuzz/terminal_input_fuzz.cpp.
#include "terminal/faces/charset.h"

#include <langinfo.h>

#include <clocale>
#include <cstdlib>

#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

constexpr const char* kAscii = "ANSI_X3.4-1968";

bool IsAsciiLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// LegacyCells: the cells a terminal of a multi-byte legacy charset gives a character by its
// encoded form: one byte one cell, more bytes two, save EUC-JP's half-width katakana.
int32_t LegacyCells(const std::string& bytes, bool halfWidthKanaAfterSs2) {
  if (bytes.size() == 1) return 1;
  if (halfWidthKanaAfterSs2 && bytes.size() == 2 && bytes[0] == '\x8E') return 1;
  return 2;
}

}  // namespace

std::string LocaleCharset() {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = current != nullptr ? current : "C";
  std::string charset;
  if (std::setlocale(LC_CTYPE, "") != nullptr) charset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, saved.c_str());
  if (!charset.empty() && charset != kAscii) return charset;
  // The library knew no such locale, or the locale is plain C: the name may still tell.
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (name != nullptr && name[0] != '\0') return CharsetOfLocaleName(name);
  }
  return kAscii;
}

std::string CharsetOfLocaleName(std::string_view locale) {
  const size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return kAscii;
  std::string_view charset = locale.substr(dot + 1);
  charset = charset.substr(0, charset.find('@'));
  return charset.empty() ? kAscii : std::string(charset);
}

bool IsUtf8Charset(std::string_view charset) {
  std::string letters;
  for (const char c : charset) {
    if (IsAsciiLetterOrDigit(c)) letters += static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
  }
  return letters == "UTF8";
}

bool TerminalCharset::Open(const std::string& charset) {
  name = charset;
  if (!toTerminal.Open(charset.c_str(), "UTF-8") || !fromTerminal.Open("UTF-8", charset.c_str())) {
    toTerminal.Close();
    fromTerminal.Close();
    return false;
  }
  std::string kana;
  halfWidthKanaAfterSs2 = Encode(U'\uFF71', &kana) && kana == "\x8E\xB1";  // "ｱ"
  return true;
}

bool TerminalCharset::Shows(char32_t c) { return ShownAs(c).itself; }

// Encode: c in the terminal's charset; false when it has no form there.
bool TerminalCharset::Encode(char32_t c, std::string* bytes) {
  std::string utf8;
  AppendUtf8(utf8, c);
  bytes->clear();
  size_t taken = 0;
  const bool converted = toTerminal.Convert(utf8, bytes, &taken) == ConvertDone;
  toTerminal.Finish(bytes);
  return converted && !bytes->empty();
}

// ShownAs: looked up once per character, since one iconv call per character of every frame
// would cost more than the frame.
const TerminalCharset::Shown& TerminalCharset::ShownAs(char32_t c) {
  const auto known = shown.find(c);
  if (known != shown.end()) return known->second;
  Shown result;
  const int32_t cells = CharWidth(c);
  if (c < 0x80) {
    result.bytes.assign(1, static_cast<char>(c));
    result.itself = true;
  } else if (toTerminal.Ready()) {
    result.itself =
        Encode(c, &result.bytes) && LegacyCells(result.bytes, halfWidthKanaAfterSs2) == cells;
  }
  if (!result.itself) result.bytes.assign(static_cast<size_t>(cells), '?');
  return shown.emplace(c, std::move(result)).first->second;
}

std::string TerminalCharset::FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {  // the escape sequences and most of a frame: no lookup
      out += utf8[pos];
      length = 1;
      continue;
    }
    out += ShownAs(DecodeUtf8(utf8, pos, &length)).bytes;
  }
  return out;
}

std::string TerminalCharset::ToUtf8(std::string_view bytes) {
  pendingInput.append(bytes);
  std::string out;
  if (!fromTerminal.Ready()) {  // ASCII
    for (const char c : pendingInput) {
      AppendUtf8(
          out, static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : kReplacementChar);
    }
    pendingInput.clear();
    return out;
  }
  size_t at = 0;
  while (at < pendingInput.size()) {
    size_t taken = 0;
    const ConvertStop stop =
        fromTerminal.Convert(std::string_view(pendingInput).substr(at), &out, &taken);
    at += taken;
    if (stop == ConvertDone) break;
    // A character cut short waits for the rest, which comes with the next read.
    if (stop == ConvertIncomplete && pendingInput.size() - at < kMaxPendingBytes) break;
    AppendUtf8(out, kReplacementChar);
    ++at;
  }
  pendingInput.erase(0, at);
  return out;
}

}  // namespace mimoza
