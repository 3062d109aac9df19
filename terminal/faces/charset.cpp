// terminal/faces/charset.cpp: UTF-8 frames <-> the bytes of a terminal whose locale is not UTF-8.
// Leaves this file: LocaleCharset, CharsetOfLocaleName, IsUtf8Charset, TerminalCharset.
// Tested by tests/terminal/encoding_test.cpp; fuzzed by fuzz/terminal_input_fuzz.cpp.
#include "terminal/faces/charset.h"

#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>

#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

constexpr const char* kAscii = "ANSI_X3.4-1968";
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

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

TerminalCharset::~TerminalCharset() {
  if (toTerminal != kNoIconv) iconv_close(toTerminal);
  if (fromTerminal != kNoIconv) iconv_close(fromTerminal);
}

bool TerminalCharset::Open(const std::string& charset) {
  name = charset;
  toTerminal = iconv_open(charset.c_str(), "UTF-8");
  fromTerminal = iconv_open("UTF-8", charset.c_str());
  if (toTerminal == kNoIconv || fromTerminal == kNoIconv) {
    if (toTerminal != kNoIconv) iconv_close(toTerminal);
    if (fromTerminal != kNoIconv) iconv_close(fromTerminal);
    toTerminal = fromTerminal = kNoIconv;
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
  char out[16];
  char* in = utf8.data();
  size_t inLeft = utf8.size();
  char* outPtr = out;
  size_t outLeft = sizeof out;
  const bool converted =
      iconv(toTerminal, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
      iconv(toTerminal, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv(toTerminal, nullptr, nullptr, nullptr, nullptr);
  bytes->assign(out, static_cast<size_t>(outPtr - out));
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
  } else if (toTerminal != kNoIconv) {
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
  if (fromTerminal == kNoIconv) {  // ASCII
    for (const char c : pendingInput) {
      AppendUtf8(
          out, static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : kReplacementChar);
    }
    pendingInput.clear();
    return out;
  }
  char buffer[1024];
  char* in = pendingInput.data();
  size_t inLeft = pendingInput.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(fromTerminal, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (errno == EINVAL && inLeft < kMaxPendingBytes) break;  // the rest comes with the next read
    AppendUtf8(out, kReplacementChar);
    ++in;
    --inLeft;
    iconv(fromTerminal, nullptr, nullptr, nullptr, nullptr);
  }
  pendingInput.erase(0, pendingInput.size() - inLeft);
  return out;
}

}  // namespace mimoza
