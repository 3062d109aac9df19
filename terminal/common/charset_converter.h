// terminal/common/charset_converter.h: text in one charset -> text in another, through iconv: the
// one loop over iconv that the code page 932 edge, `mimoza edit` and a terminal's own charset use.
// Leaves this file: ConvertStop, CharsetConverter. Tested by tests/terminal/encoding_test.cpp
// (through ToCp932, ToUtf8 and TerminalCharset) and tests/terminal/edit_test.cpp.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mimoza {

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
