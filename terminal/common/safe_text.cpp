// terminal/common/safe_text.cpp: any UTF-8 text -> a line without control characters.
// Leaves this file: IsControlChar, AppendSanitized, DropFinalBreak, SanitizeLine, Visible.
// Tested by tests/terminal/interactive_test.cpp and tests/terminal/program_test.cpp.
#include "terminal/common/safe_text.h"

#include <cstdio>

#include "terminal/common/utf8.h"

namespace mimoza {

bool IsControlChar(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

void AppendSanitized(std::string& out, char32_t c) {
  if (c == '\n' || c == '\r' || c == '\t') {
    out += ' ';
  } else {
    AppendUtf8(out, IsControlChar(c) ? kReplacementChar : c);
  }
}

std::string_view DropFinalBreak(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

std::string SanitizeLine(std::string_view utf8) {
  utf8 = DropFinalBreak(utf8);
  std::string out;
  out.reserve(utf8.size());
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length) {
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    if (c == '\r' && pos + 1 < utf8.size() && utf8[pos + 1] == '\n') continue;  // one break
    AppendSanitized(out, c);
  }
  return out;
}

std::string Visible(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t length = 0;
  for (size_t pos = 0; pos < text.size(); pos += length) {
    bool wellFormed = false;
    const char32_t c = DecodeUtf8(text, pos, &length, &wellFormed);
    if (wellFormed && !IsControlChar(c)) {
      out.append(text.substr(pos, length));
      continue;
    }
    for (size_t i = pos; i < pos + length; ++i) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i]));
      out += hex;
    }
  }
  return out;
}

}  // namespace mimoza
