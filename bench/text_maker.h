// bench/text_maker.h: generated dictionaries and lines of Japanese text, the same for every
// benchmark and tool that measures the dictionary.
// Dictionaries: Japanese keys of 2 to 12 characters, two thirds plain words and the rest
// alternations, classes, quantifiers, anchors and ".*", each with one to three answers, CR LF
// line ends. Leaves this file: TextMaker. Used by bench/dictionary_bench.cpp and
// bench/make_dictionary.cpp.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace mimoza::bench {

// Characters as code page 932 bytes: hiragana carry most of the text, then kanji, then katakana,
// drawn from pools small enough that words repeat across keys and lines as in real chat.
class TextMaker {
 public:
  explicit TextMaker(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

  std::string Char() {
    const uint32_t kind = Below(10);
    if (kind < 6) return Wide(0x82, 0x9F + Below(0x53));  // ぁ to ん
    if (kind < 9) {                                       // 120 kanji of the first level
      const uint32_t k = Below(120);
      return Wide(0x88 + k / 24, 0x9F + k % 24 * 2);
    }
    return Wide(0x83, 0x40 + Below(0x3F));  // ァ to ミ: trail bytes 0x40 to 0x7E
  }

  std::string Word(uint32_t chars) {
    std::string word;
    for (uint32_t i = 0; i < chars; ++i) word += Char();
    return word;
  }

  // Key: two thirds plain words; the rest one of six pattern shapes.
  std::string Key() {
    const uint32_t chars = 2 + Below(11);
    if (Below(3) < 2) return Word(chars);
    const uint32_t half = chars / 2 > 0 ? chars / 2 : 1;
    switch (Below(6)) {
      case 0:
        return Word(half) + "|" + Word(chars - half) + (Below(2) ? "|" + Word(2) : "");
      case 1:
        return "[" + Char() + Char() + "]" + Word(chars - 1);
      case 2:
        return Word(half) + Char() + (Below(2) ? "+" : "?") + Word(chars - half);
      case 3:
        return "^" + Word(chars);
      case 4:
        return Word(chars) + "$";
      default:
        return Word(half) + ".*" + Word(chars - half);
    }
  }

  std::string Dictionary(int entries) {
    std::string text;
    for (int i = 0; i < entries; ++i) {
      text += "<KEY>" + Key() + "</KEY>\r\n";
      const uint32_t answers = 1 + Below(3);
      for (uint32_t a = 0; a < answers; ++a) text += "<ANS>" + Word(2 + Below(15)) + "</ANS>\r\n";
    }
    return text;
  }

  // Line: bytes of text, ending in an ASCII byte when the length is odd.
  std::string Line(size_t bytes) {
    std::string line;
    while (line.size() + 2 <= bytes) line += Char();
    if (line.size() < bytes) line += "!";
    return line;
  }

 private:
  static std::string Wide(uint32_t lead, uint32_t trail) {
    return {static_cast<char>(lead), static_cast<char>(trail)};
  }
  std::mt19937 rng_;
};

}  // namespace mimoza::bench
