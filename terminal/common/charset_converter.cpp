// terminal/common/charset_converter.cpp: bytes of one charset -> bytes of another, through iconv,
// up to what cannot be converted.
// Leaves this file: CharsetConverter's members. Tested by tests/terminal/encoding_test.cpp.
#include "terminal/common/charset_converter.h"

#include <cerrno>

namespace mimoza {

bool CharsetConverter::Open(const char* to, const char* from) {
  Close();
  cd = iconv_open(to, from);
  return Ready();
}

void CharsetConverter::Close() {
  if (Ready()) iconv_close(cd);
  cd = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

bool CharsetConverter::Ready() const {
  return cd != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

ConvertStop CharsetConverter::Convert(std::string_view text, std::string* out, size_t* taken) {
  *taken = 0;
  if (!Ready()) return ConvertInvalid;
  char buffer[4096];
  char* in = const_cast<char*>(text.data());  // iconv's signature; it never writes the input
  size_t inLeft = text.size();
  ConvertStop stop = ConvertDone;
  while (inLeft > 0 && stop == ConvertDone) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, static_cast<size_t>(outPtr - buffer));
    // E2BIG only means the buffer is full; EILSEQ and EINVAL (cut short) stop the conversion.
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      stop = errno == EINVAL ? ConvertIncomplete : ConvertInvalid;
    }
  }
  *taken = static_cast<size_t>(in - text.data());
  if (stop != ConvertDone) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return stop;
}

void CharsetConverter::Finish(std::string* out) {
  if (!Ready()) return;
  char buffer[64];
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out->append(buffer, static_cast<size_t>(outPtr - buffer));
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace mimoza
