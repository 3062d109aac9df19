// terminal/encoding.cpp: UTF-8 terminal text <-> code page 932 core text, through iconv.
// Leaves this file: ToCp932, ToUtf8, CutToLine, ExactConverter. Cp932CharLength and Convert are
// private. Tested by
// tests/terminal/encoding_test.cpp.
#include "terminal/encoding.h"

#include <errno.h>

#include "base/cp932.h"
#include "conversation/conversation.h"
#include "terminal/utf8.h"

namespace mimoza {
namespace {

// Cp932CharLength: the length of the code page 932 character starting at [p, end): two for a
// lead byte followed by a byte that can trail it, else one.
size_t Cp932CharLength(const unsigned char* p, const unsigned char* end) {
  return ValidCharacterLength(reinterpret_cast<const char*>(p), 0, static_cast<size_t>(end - p));
}

// Convert: runs iconv from one encoding to the other over [in, in + length), appending to out.
// At a sequence iconv cannot convert it appends replacement, skips the sequence's length as
// measured by skipLength (on the input bytes) and goes on. Returns false when iconv cannot open
// the pair at all.
bool Convert(const char* to, const char* from, const char* in, size_t length,
             std::string_view replacement,
             size_t (*skipLength)(const unsigned char*, const unsigned char*), std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;  // NOLINT(performance-no-int-to-ptr)
  char buffer[1024];
  char* inPtr = const_cast<char*>(in);  // iconv's signature; it never writes the input
  size_t inLeft = length;
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ (no form in the target, or malformed) or EINVAL (cut short at the end).
    const auto* p = reinterpret_cast<const unsigned char*>(inPtr);
    size_t skip = skipLength(p, p + inLeft);
    if (skip == 0 || skip > inLeft) skip = 1;
    out.append(replacement);
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  }
  iconv_close(cd);
  return true;
}

}  // namespace

// The input is first split into well-formed and malformed stretches, so that iconv only ever
// fails on a well-formed character that has no code page 932 form; that character is skipped
// whole.
std::string ToCp932(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* begin = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = begin + utf8.size();
  const auto* p = begin;
  // Well-formed characters are handed to iconv in runs; one it cannot map is skipped whole.
  const auto unmappable = [](const unsigned char* at, const unsigned char* stop) {
    size_t length = 0;
    DecodeUtf8(std::string_view(reinterpret_cast<const char*>(at), static_cast<size_t>(stop - at)),
               0, &length);
    return length;
  };
  while (p < end) {
    const auto* run = p;
    size_t length = 0;
    bool wellFormed = true;
    while (p < end) {
      DecodeUtf8(utf8, static_cast<size_t>(p - begin), &length, &wellFormed);
      if (!wellFormed) break;
      p += length;
    }
    if (p > run && !Convert("CP932", "UTF-8", reinterpret_cast<const char*>(run),
                            static_cast<size_t>(p - run), "?", unmappable, out)) {
      out.append(static_cast<size_t>(p - run), '?');
    }
    if (p < end) {
      out.push_back('?');  // one malformed sequence, its maximal ill-formed prefix
      p += length;
    }
  }
  return out;
}

std::string ToUtf8(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  std::string replacement;
  AppendUtf8(replacement, kReplacementChar);
  if (!Convert("UTF-8", "CP932", cp932.data(), cp932.size(), replacement, Cp932CharLength, out)) {
    out.assign(cp932.size(), '?');
  }
  return out;
}

std::string CutToLine(std::string_view cp932) {
  const size_t nul = cp932.find('\0');
  if (nul != std::string_view::npos) cp932 = cp932.substr(0, nul);
  return std::string(cp932.substr(0, FitLineLength(cp932.data(), cp932.size(), kMaxLineBytes)));
}

ExactConverter::ExactConverter(const char* to, const char* from) : cd(iconv_open(to, from)) {}

ExactConverter::~ExactConverter() {
  if (Ready()) iconv_close(cd);
}

bool ExactConverter::Ready() const {
  return cd != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

bool ExactConverter::Convert(std::string_view text, std::string* out, size_t* failedAt) {
  *failedAt = 0;
  if (!Ready()) return false;
  char buffer[4096];
  char* in = const_cast<char*>(text.data());  // iconv's signature; it never writes the input
  size_t inLeft = text.size();
  bool whole = true;
  while (inLeft > 0 && whole) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, static_cast<size_t>(outPtr - buffer));
    // E2BIG only means the buffer is full; EILSEQ and EINVAL (cut short) stop the conversion.
    whole = result != static_cast<size_t>(-1) || errno == E2BIG;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state for the next text
  if (!whole) *failedAt = static_cast<size_t>(in - text.data());
  return whole;
}

}  // namespace mimoza
