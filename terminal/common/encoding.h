// terminal/common/encoding.h: the terminal's edge between UTF-8 (what the terminal speaks) and code
// page 932 (what the core speaks), converted with iconv.
// Leaves this file: ToCp932, ToUtf8, CutToLine, PrepareLine. Tested by
// tests/terminal/encoding_test.cpp.
#pragma once

#include <string>
#include <string_view>

namespace mimoza {

// ToCp932: converts UTF-8 text; a character with no code page 932 form, and every malformed UTF-8
// sequence, becomes "?".
std::string ToCp932(std::string_view utf8);

// ToUtf8: converts code page 932 text; a byte sequence with no Unicode form becomes U+FFFD.
std::string ToUtf8(std::string_view cp932);

// CutToLine: cuts code page 932 text to at most kMaxLineBytes at a character boundary, and at its
// first NUL.
std::string CutToLine(std::string_view cp932);

// PrepareLine: what a face submits for a UTF-8 line: converted to code page 932 and cut as
// CutToLine cuts. Empty means nothing is submitted.
std::string PrepareLine(std::string_view utf8);

}  // namespace mimoza
