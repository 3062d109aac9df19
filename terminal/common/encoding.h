// terminal/common/encoding.h: the terminal's edge between UTF-8 (what the terminal speaks) and code
// page 932 (what the core speaks), converted with iconv.
// Leaves this file: ToCp932, ToUtf8, CutToLine, PrepareLine, ConvertStop, CharsetConverter. Tested
// by tests/terminal/encoding_test.cpp.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>
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

// Where CharsetConverter::Convert stopped.
enum ConvertStop : int8_t {
  ConvertDone = 0,    // the whole text was converted
  ConvertInvalid,     // at a sequence that is malformed or has no form in the target
  ConvertIncomplete,  // at a sequence cut short by the end of the text
};

// CharsetConverter: one iconv descriptor from one charset to another. Every conversion of the
// terminal program runs through its Convert: the code page 932 edge, the exact conversions of
// `mimoza edit` and a terminal's own charset; one descriptor serves many texts.
class CharsetConverter {
 public:
  CharsetConverter() = default;
  CharsetConverter(const char* to, const char* from) { Open(to, from); }
  CharsetConverter(const CharsetConverter&) = delete;
  CharsetConverter& operator=(const CharsetConverter&) = delete;
  ~CharsetConverter() { Close(); }

  // Open: converts from `from` to `to` from now on; false when iconv cannot convert between the
  // two at all (then nothing converts).
  bool Open(const char* to, const char* from);
  void Close();
  bool Ready() const;
  // Convert: appends to *out what text converts to, up to the first sequence it cannot convert,
  // and sets *taken to the bytes of text converted before it. A whole text leaves the shift state
  // where the text left it, so that a stream can go on in the next call; a stop resets it, since
  // the caller skips the sequence. A converter that is not Ready stops at once (ConvertInvalid).
  ConvertStop Convert(std::string_view text, std::string* out, size_t* taken);
  // Finish: appends what returns a stateful target to its initial state, and resets.
  void Finish(std::string* out);

 private:
  iconv_t cd = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
};

}  // namespace mimoza
