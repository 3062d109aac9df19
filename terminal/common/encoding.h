// terminal/common/encoding.h: the terminal's edge between UTF-8 (what the terminal speaks) and code
// page 932 (what the core speaks), converted with iconv.
// Leaves this file: ToCp932, ToUtf8, CutToLine, ExactConverter. Tested by
// tests/terminal/encoding_test.cpp.
#pragma once

#include <iconv.h>

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

// ExactConverter: iconv from one charset to another with nothing replaced, for texts that must
// come back byte for byte (the dictionary's editable copy); one descriptor serves many texts.
class ExactConverter {
 public:
  ExactConverter(const char* to, const char* from);
  ExactConverter(const ExactConverter&) = delete;
  ExactConverter& operator=(const ExactConverter&) = delete;
  ~ExactConverter();

  // Ready: false when iconv cannot convert between the two at all.
  bool Ready() const;
  // Convert: appends text converted to *out. False at the first sequence that is malformed or
  // has no form in the target: *failedAt is then its offset in text, and *out holds what came
  // before it.
  bool Convert(std::string_view text, std::string* out, size_t* failedAt);

 private:
  iconv_t cd;
};

}  // namespace mimoza
