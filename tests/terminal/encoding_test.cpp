// tests/terminal/encoding_test.cpp: the UTF-8 / code page 932 edge (ToCp932, ToUtf8, CutToLine)
// and the one UTF-8 decoder and encoder beneath it and the key decoder; the edge to a terminal
// whose locale is not UTF-8 (TerminalCharset); the language of the terminal's words.
#include "terminal/common/encoding.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "base/cp932_forms.h"
#include "terminal/common/utf8.h"
#include "terminal/common/words.h"
#include "terminal/faces/charset.h"
#include "terminal/faces/keys.h"

namespace mimoza {
namespace {

TEST(EncodingTest, ToCp932) {
  const struct {
    const char* utf8;
    std::string cp932;
  } kCases[] = {
      {"abc", "abc"},
      {"\\~", "\\~"},  // code page 932 keeps the backslash and tilde of ASCII
      {"こんにちは", "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD"},
      {"ｱ", "\xB1"},                              // half-width katakana is one byte
      {"①", "\x87\x40"},                          // a vendor extension of code page 932
      {"～", "\x81\x60"},                         // full-width tilde
      {"é", "?"},                                 // no code page 932 form
      {"a😀b", "a?b"},                             // four-byte character without a form: one "?"
      {"\xFF", "?"},                              // never valid in UTF-8
      {"\xE3\x81", "?"},                          // a three-byte character cut short at the end
      {"\xE3\x81z", "?z"},                        // ... and in the middle
      {"\xC0\xAF", "??"},                         // overlong "/"
      {"\x80x", "?x"},                            // a lone continuation byte
      {"あ\xED\xA0\x80い", "\x82\xA0?\x82\xA2"},  // an encoded surrogate
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ToCp932(c.utf8), c.cp932) << c.utf8;
  }
  EXPECT_EQ(ToCp932(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(EncodingTest, ToUtf8) {
  const struct {
    std::string cp932;
    const char* utf8;
  } kCases[] = {
      {"abc\\~", "abc\\~"},
      {"\x82\xA0\x82\xA2", "あい"},
      {"\xB1", "ｱ"},
      {"\x87\x40", "①"},
      {"\x81\x60", "～"},
      {"x\x81", "x\xEF\xBF\xBD"},      // a lead byte cut off at the end
      {"\x85\x40z", "\xEF\xBF\xBDz"},  // an unassigned double-byte code: one U+FFFD
      {"\x81 z", "\xEF\xBF\xBD z"},    // a lead byte before a byte that cannot trail
      {"\xFD"
       "a",
       "\xEF\xBF\xBD"
       "a"},  // a byte code page 932 never uses
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ToUtf8(c.cp932), c.utf8) << c.utf8;
  }
  // Every text a user types survives the round trip.
  const char* kRoundTrip = "ミモザ、覚えていい？ OK 学習した ｶﾀｶﾅ \\ ~ ①";
  EXPECT_EQ(ToUtf8(ToCp932(kRoundTrip)), kRoundTrip);
}

TEST(EncodingTest, CutToLine) {
  const std::string a5997(5997, 'a');
  const struct {
    std::string in;
    std::string out;
  } kCases[] = {
      {"", ""},
      {a5997 + "\x82\xA0", a5997 + "\x82\xA0"},                // exactly 5999 bytes
      {a5997 + "b\x82\xA0", a5997 + "b"},                      // the character would straddle 5999
      {a5997 + "bc\x82\xA0", a5997 + "bc"},                    // cut after 5999 single bytes
      {std::string(6000, '\x82'), std::string(5998, '\x82')},  // pairs, not bytes
      {std::string("ab\0cd", 5), "ab"},                        // a NUL ends the line
      {"ab\x81", "ab"},                                        // a dangling lead byte is dropped
  };
  for (const auto& c : kCases) {
    const std::string cut = CutToLine(c.in);
    EXPECT_TRUE(cut == c.out) << c.in.size() << " bytes cut to " << cut.size();
  }
}

// Every scalar value survives encoding and decoding, whole strings and byte by byte through the
// key decoder alike; every other value of the code space becomes one replacement.
TEST(EncodingTest, EveryCodePointRoundTrips) {
  KeyDecoder keys;
  for (char32_t c = 0x20; c <= 0x10FFFF; ++c) {
    const bool scalar = !(c >= 0xD800 && c <= 0xDFFF);
    std::string bytes;
    AppendUtf8(bytes, c);
    size_t length = 0;
    bool wellFormed = false;
    ASSERT_EQ(DecodeUtf8(bytes, 0, &length, &wellFormed), scalar ? c : kReplacementChar)
        << static_cast<uint32_t>(c);
    ASSERT_EQ(length, bytes.size());
    if (c >= 0x7F && c < 0xA0) continue;  // controls are no typed characters
    Key key;
    for (const char b : bytes) key = keys.Feed(static_cast<unsigned char>(b));
    ASSERT_EQ(key.kind, KeyChar) << static_cast<uint32_t>(c);
    ASSERT_EQ(key.codePoint, scalar ? c : kReplacementChar) << static_cast<uint32_t>(c);
  }
}

// Every two-byte code, converted to UTF-8 and back as typed text is, lands on the code
// TypedForm names (base/cp932_forms.h): itself, or for the 398 characters code page 932 gives two
// codes, the one of kCp932DuplicateRuns. The table cannot drift from the conversion.
TEST(EncodingTest, TypedTextHoldsTheFormsOfTheTable) {
  int32_t duplicates = 0;
  int32_t defined = 0;
  for (int32_t ordinal = 0; ordinal < 60 * 188; ++ordinal) {
    const uint16_t code = Cp932Code(ordinal);
    ASSERT_EQ(Cp932Ordinal(code), ordinal);
    const std::string bytes{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    const std::string utf8 = ToUtf8(bytes);
    if (utf8 == "\xEF\xBF\xBD") {  // no character: nothing to type
      EXPECT_EQ(TypedForm(code), code);
      continue;
    }
    ++defined;
    const std::string typed = ToCp932(utf8);
    ASSERT_EQ(typed.size(), 2u) << std::hex << code;
    const auto back = static_cast<uint16_t>(static_cast<unsigned char>(typed[0]) << 8 |
                                            static_cast<unsigned char>(typed[1]));
    EXPECT_EQ(back, TypedForm(code)) << std::hex << code;
    EXPECT_EQ(TypedForm(back), back) << "typed text holds typed forms: " << std::hex << code;
    duplicates += back != code;
  }
  EXPECT_EQ(duplicates, 398);
  EXPECT_GT(defined, 7000);
}

// What a terminal of each charset is sent: its own bytes for what it shows at the width wcwidth
// gives, else "?" in every cell the character takes (none for a combining mark).
TEST(EncodingTest, TerminalCharsetKeepsWidths) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  const struct {
    const char* charset;
    const char* utf8;
    std::string shown;
  } kCases[] = {
      {"ANSI_X3.4-1968", "a\x1b[1m日本é", "a\x1b[1m?????"},
      {"ISO-8859-1", "é日e\xcc\x81", "\xE9??e"},
      {"EUC-JP", "日本ｱ", "\xC6\xFC\xCB\xDC\x8E\xB1"},  // half-width katakana: one cell
      {"EUC-JP", "┌é", "??"},             // two cells in an EUC-JP terminal, one by wcwidth
      {"no-such-charset", "aあ", "a??"},  // taken as ASCII
  };
  for (const auto& c : kCases) {
    TerminalCharset terminal;
    terminal.Open(c.charset);
    EXPECT_EQ(terminal.FromUtf8(c.utf8), c.shown) << c.charset << " " << c.utf8;
  }
  // Input: a character split between two reads is kept whole; a byte that starts none is U+FFFD.
  TerminalCharset eucJp;
  ASSERT_TRUE(eucJp.Open("EUC-JP"));
  EXPECT_EQ(eucJp.ToUtf8("a\xC6"), "a");
  EXPECT_EQ(eucJp.ToUtf8("\xFC\x1b[A"), "日\x1b[A");
  EXPECT_EQ(eucJp.ToUtf8("\xFF"
                         "b"),
            "\xEF\xBF\xBD"
            "b");
  TerminalCharset ascii;
  ascii.Open("ANSI_X3.4-1968");
  EXPECT_EQ(ascii.ToUtf8("\xE3\x81\x82z"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz");

  EXPECT_EQ(CharsetOfLocaleName("de_DE.ISO-8859-1@euro"), "ISO-8859-1");
  EXPECT_FALSE(IsUtf8Charset("UTF-16"));
}

// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty names the language; the
// core's lines reach the terminal with their controls made harmless.
TEST(EncodingTest, TheLocaleChoosesTheLanguage) {
  const struct {
    const char* all;
    const char* messages;
    const char* lang;
    Language language;
  } kCases[] = {
      {nullptr, nullptr, nullptr, LanguageEnglish},
      {nullptr, nullptr, "ja_JP.UTF-8", LanguageJapanese},
      {"", "ja_JP.eucJP", "C.UTF-8", LanguageJapanese},
      {"C.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", LanguageEnglish},
      {"ja", nullptr, nullptr, LanguageJapanese},
      {nullptr, nullptr, "en_US.UTF-8", LanguageEnglish},
      {nullptr, nullptr, "jam", LanguageJapanese},  // only the first two letters count
  };
  const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string saved[3];
  bool had[3] = {};
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(kNames[i]);
    had[i] = value != nullptr;
    if (had[i]) saved[i] = value;
  }
  for (const auto& c : kCases) {
    const char* values[] = {c.all, c.messages, c.lang};
    for (int i = 0; i < 3; ++i) {
      if (values[i] == nullptr) {
        unsetenv(kNames[i]);
      } else {
        setenv(kNames[i], values[i], 1);
      }
    }
    EXPECT_EQ(TerminalLanguage(), c.language) << (c.lang != nullptr ? c.lang : "-");
  }
  for (int i = 0; i < 3; ++i) {
    if (had[i]) {
      setenv(kNames[i], saved[i].c_str(), 1);
    } else {
      unsetenv(kNames[i]);
    }
  }
  EXPECT_EQ(ShownText("a\x1b[2J\x80\tb\n\x82\xA0\n"),
            "a\xEF\xBF\xBD[2J\xEF\xBF\xBD b\n"
            "あ\n");
  EXPECT_EQ(Words(LanguageJapanese, MsgHistoryNotSaved, {"/tmp/é"}),
            "送った行を保存できません: /tmp/é");
}

}  // namespace
}  // namespace mimoza
