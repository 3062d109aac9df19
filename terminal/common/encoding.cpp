// terminal/common/encoding.cpp: UTF-8 terminal text <-> code page 932 core text, through iconv.
// Leaves this file: ToCp932, ToUtf8, CutToLine, PrepareLine. Cp932CharLength and ConvertReplacing
// are private. Tested by tests/terminal/encoding_test.cpp.
#include "terminal/common/encoding.h"

#include "base/cp932.h"
#include "conversation/conversation.h"
#include "pattern/pattern.h"
#include "terminal/common/charset_converter.h"
#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

// Cp932CharLength: the length of the code page 932 character starting at [p, end): two for a
// lead byte followed by a byte that can trail it, else one.
size_t Cp932CharLength(const unsigned char* p, const unsigned char* end) {
  return ValidCharacterLength(reinterpret_cast<const char*>(p), 0, static_cast<size_t>(end - p));
}

// ConvertReplacing: text converted to out, where each sequence the converter cannot convert
// becomes replacement and is skipped by its length as skipLength measures it on the input bytes.
// A converter that is not Ready gives one "?" a byte.
void ConvertReplacing(CharsetConverter& converter, std::string_view text,
                      std::string_view replacement,
                      size_t (*skipLength)(const unsigned char*, const unsigned char*),
                      std::string& out) {
  if (!converter.Ready()) {
    out.append(text.size(), '?');
    return;
  }
  while (!text.empty()) {
    size_t taken = 0;
    if (converter.Convert(text, &out, &taken) == ConvertDone) break;
    text.remove_prefix(taken);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t skip = skipLength(p, p + text.size());
    if (skip == 0 || skip > text.size()) skip = 1;
    out.append(replacement);
    text.remove_prefix(skip);
  }
  converter.Finish(&out);
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
  CharsetConverter converter("CP932", "UTF-8");
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
    if (p > run) {
      ConvertReplacing(
          converter,
          std::string_view(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run)), "?",
          unmappable, out);
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
  CharsetConverter converter("UTF-8", "CP932");
  ConvertReplacing(converter, cp932, replacement, Cp932CharLength, out);
  return out;
}

std::string CutToLine(std::string_view cp932) {
  const size_t nul = cp932.find('\0');
  if (nul != std::string_view::npos) cp932 = cp932.substr(0, nul);
  return std::string(cp932.substr(0, FitLineLength(cp932.data(), cp932.size(), kMaxLineBytes)));
}

std::string PrepareLine(std::string_view utf8) { return CutToLine(ToCp932(utf8)); }

}  // namespace mimoza
