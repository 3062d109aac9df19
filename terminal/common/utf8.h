// terminal/common/utf8.h: UTF-8 text, the terminal's side of the edge: code points decoded from and
// encoded to bytes, and their width in terminal cells.
// Leaves this file: kReplacementChar, Utf8SequenceLength, DecodeUtf8, AppendUtf8, CharWidth,
// DisplayWidth. Tested by tests/terminal/encoding_test.cpp and, through their callers, by the
// line editor and screen tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mimoza {

// What every malformed sequence and every character that cannot be shown becomes.
inline constexpr char32_t kReplacementChar = 0xFFFD;

// Utf8SequenceLength: the length of the character a lead byte starts (1 to 4), or 0 for a byte
// that cannot start one (a continuation byte, C0, C1, F5-FF).
size_t Utf8SequenceLength(unsigned char lead);

// DecodeUtf8: the code point starting at text[pos] (pos < text.size()), its length in *length,
// and in *wellFormed (when given) whether the bytes were one well-formed character: no overlong
// form, no surrogate, nothing above U+10FFFF. A malformed sequence reads as one kReplacementChar
// over its first byte and the continuation bytes after it, up to the length that byte announces,
// so one broken character gives one replacement.
char32_t DecodeUtf8(std::string_view text, size_t pos, size_t* length, bool* wellFormed = nullptr);

// AppendUtf8: appends the UTF-8 form of a code point (a surrogate or a value above U+10FFFF
// appends kReplacementChar instead).
void AppendUtf8(std::string& out, char32_t c);

// CharWidth: terminal cells of one code point under the UTF-8 LC_CTYPE (0 for combining marks,
// 2 for wide characters); one that the locale does not know takes 1.
int32_t CharWidth(char32_t c);

// DisplayWidth: terminal cells of UTF-8 text.
int32_t DisplayWidth(std::string_view utf8);

}  // namespace mimoza
