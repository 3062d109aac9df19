// terminal/common/utf8.cpp: UTF-8 bytes <-> code points, and code points -> terminal cells.
// Leaves this file: Utf8SequenceLength, DecodeUtf8, AppendUtf8, CharWidth, DisplayWidth.
// Tested by tests/terminal/encoding_test.cpp.
#include "terminal/common/utf8.h"

#include <cwchar>

namespace mimoza {

size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

namespace {

// MalformedLength: how many bytes one replacement stands for at a malformed sequence: the byte
// and the continuation bytes after it, up to the length its high bits announce.
size_t MalformedLength(const unsigned char* p, size_t avail) {
  const size_t announced = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 1;
  size_t length = 1;
  while (length < announced && length < avail && (p[length] & 0xC0) == 0x80) ++length;
  return length;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, size_t pos, size_t* length, bool* wellFormed) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const size_t avail = text.size() - pos;
  const size_t want = Utf8SequenceLength(p[0]);
  if (wellFormed != nullptr) *wellFormed = false;
  *length = MalformedLength(p, avail);
  if (want == 0 || want > avail) return kReplacementChar;
  // The second byte's range is narrowed where the longest form would be overlong (E0, F0), a
  // surrogate (ED) or beyond U+10FFFF (F4); later bytes are any continuation byte.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (p[0] == 0xE0) low = 0xA0;
  if (p[0] == 0xED) high = 0x9F;
  if (p[0] == 0xF0) low = 0x90;
  if (p[0] == 0xF4) high = 0x8F;
  if (want > 1 && (p[1] < low || p[1] > high)) return kReplacementChar;
  char32_t value = want == 1 ? p[0] : p[0] & (0x7F >> want);
  for (size_t i = 1; i < want; ++i) {
    if ((p[i] & 0xC0) != 0x80) return kReplacementChar;
    value = (value << 6) | (p[i] & 0x3F);
  }
  *length = want;
  if (wellFormed != nullptr) *wellFormed = true;
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementChar;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

int32_t CharWidth(char32_t c) {
  const int width = wcwidth(static_cast<wchar_t>(c));
  return width < 0 ? 1 : width;
}

int32_t DisplayWidth(std::string_view utf8) {
  int32_t width = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    size_t length = 0;
    width += CharWidth(DecodeUtf8(utf8, pos, &length));
    pos += length;
  }
  return width;
}

}  // namespace mimoza
