// tests/pattern/lexer_test.cpp: token streams of pattern texts, the escape decoder and the hex
// reader.
#include <gtest/gtest.h>

#include <string>

#include "dump.h"

namespace mimoza {
namespace {

TEST(Lexer, TokenStreams) {
  const struct {
    const char* text;
    const char* tokens;
  } kCases[] = {
      {"", "End"},
      {"a*?b", "Char(a) LazyStar Char(b) End"},
      {"a+?b??c*+?", "Char(a) LazyPlus Char(b) LazyOpt Char(c) Star LazyPlus End"},
      {"(a)|^$", "Open Char(a) Close Bar LineStart LineEnd End"},
      // "はい|うん"
      {"\x82\xCD\x82\xA2|\x82\xA4\x82\xF1",
       "Char(\\x82\\xCD) Char(\\x82\\xA2) Bar Char(\\x82\\xA4) Char(\\x82\\xF1) End"},
      // Trail bytes that look like metacharacters stay inside the character.
      {"\x83\\\x83|\x83[\x83]\x83{\x83}",
       "Char(\\x83\\) Char(\\x83|) Char(\\x83[) Char(\\x83]) Char(\\x83{) Char(\\x83}) End"},
      {"{2,3}", "Repeat(2,3) End"},
      {"{2,3}?", "LazyRepeat(2,3) End"},
      {"{2}", "Repeat(2,2) End"},
      {"{2,}", "Repeat(2,0) End"},
      {"{,3}", "Repeat(0,3) End"},
      {"{}", "Repeat(0,0) End"},
      {"{ 1 , 2 }", "Repeat(1,2) End"},
      {"{1,2,3}", "Repeat(1,23) End"},
      {"{99999999999}", "Repeat(2147483647,2147483647) End"},
      {"a{2", "Char(a) End"},
      {"a{", "Char(a) End"},
      {"[ab", "End"},
      {"[", "End"},
      {"[a-z]", "Class(a-z) End"},
      {"[^a]", "Class(^a) End"},
      {"[]]", "Class(]) End"},
      {"[^]]", "Class(^]) End"},
      {"[]^]x]", "Class(]^]x) End"},
      {"[]", "End"},
      {"[^]", "End"},
      {"[\\d_]", "Class(\\d_) End"},
      {"[\\n]", "Class(\\x0A) End"},
      {"[\\x41]", "Class(A) End"},
      {"[\\-]", "Class(-) End"},
      {"[a\\x00b]", "Class(ab) End"},
      {"[a\\", "End"},
      {"[a\x82", "End"},
      {"[\x82]]", "Class(\\x82]) End"},
      {".", "Class(\\x01-\\xFF) End"},
      {"\\d", "Class(0-9) End"},
      {"\\D\\s\\S", "Class(^0-9) Class(\\x09\\x0D\\x0A ) Class(^\\x09\\x0D\\x0A ) End"},
      {"\\w\\W", "Class(0-9a-zA-Z_) Class(^0-9a-zA-Z_) End"},
      {"\\n\\R\\t", "Char(\\x0A) Char(\\x0D) Char(\\x09) End"},
      {"\\x41", "Char(A) End"},
      {"\\x4", "Char(\\x04) End"},
      {"\\x414", "Char(A) Char(4) End"},
      {"\\xg", "Class() Char(g) End"},
      {"\\x", "Class() End"},
      {"\\q\\.\\\\", "Char(q) Char(.) Char(\\) End"},
      {"\\", "End"},
      {"a\\", "Char(a) End"},
      {"\\\x82\xA0", "Char(\\x82) Char(\\xA0) End"},
      {"]", "Class() End"},
      {"[ab]x]", "Class(ab) Char(x) Class(ab) End"},
      {"}", "Repeat(0,0) End"},
      {"a{2}b}", "Char(a) Repeat(2,2) Char(b) Repeat(2,2) End"},
      {"}?", "LazyRepeat(0,0) End"},
      {"\x82", "Char(\\x82) End"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DumpTokens(c.text), c.tokens) << "text \"" << DumpBytes(c.text) << "\"";
  }
}

TEST(Lexer, CursorStaysOnTheEnd) {
  for (const char* text : {"", "{2", "[ab", "\\", "[a\\", "a\x82"}) {
    PatternLexer lexer;
    lexer.cursor = text;
    for (int i = 0; i < 5; ++i) NextToken(lexer);
    EXPECT_EQ(lexer.token, TokEnd) << DumpBytes(text);
    EXPECT_EQ(*lexer.cursor, '\0') << DumpBytes(text);
    EXPECT_EQ(lexer.cursor, text + std::string(text).size()) << DumpBytes(text);
  }
}

// A class longer than the buffer keeps its longest leading run of whole members.
TEST(Lexer, LongClassesKeepWholeMembers) {
  std::string ascii = "[" + std::string(300, 'a') + "]x";
  EXPECT_EQ(DumpTokens(ascii.c_str()), "Class(" + std::string(255, 'a') + ") Char(x) End");

  // 254 bytes, then a two-byte character that does not fit: it and what follows are dropped,
  // so the text never ends in a lone lead byte.
  std::string wide = "[" + std::string(254, 'a') + "\x82\xA0" + "b]";
  EXPECT_EQ(DumpTokens(wide.c_str()), "Class(" + std::string(254, 'a') + ") End");

  std::string escape = "[" + std::string(254, 'a') + "\\dz]";
  EXPECT_EQ(DumpTokens(escape.c_str()), "Class(" + std::string(254, 'a') + ") End");

  std::string exact = "[" + std::string(253, 'a') + "\\d]";
  EXPECT_EQ(DumpTokens(exact.c_str()), "Class(" + std::string(253, 'a') + "\\d) End");
}

TEST(Lexer, DecodeEscape) {
  const struct {
    EscapeMode mode;
    const char* text;
    const char* output;
    int consumed;
  } kCases[] = {
      {KeepClassEscapes, "\\d", "\\d", 2},   {KeepClassEscapes, "\\\\", "\\\\", 2},
      {KeepClassEscapes, "\\n", "\n", 2},    {ExpandClassEscapes, "\\W", "^0-9a-zA-Z_", 2},
      {ExpandClassEscapes, "\\\\", "\\", 2}, {ExpandClassEscapes, "\\xff", "\xFF", 4},
      {ExpandClassEscapes, "\\XA", "\n", 3}, {ExpandClassEscapes, "\\x", "", 2},
      {ExpandClassEscapes, "\\x00", "", 4},  {ExpandClassEscapes, "\\b", "b", 2},
      {ExpandClassEscapes, "\\0", "0", 2},   {ExpandClassEscapes, "\\x1z", "\x01", 3},
  };
  for (const auto& c : kCases) {
    char out[kEscapeOutputBytes];
    const char* next = DecodeEscape(c.mode, c.text, out);
    EXPECT_STREQ(out, c.output) << c.text;
    EXPECT_EQ(next - c.text, c.consumed) << c.text;
  }
}

TEST(Lexer, HexValue) {
  EXPECT_EQ(HexValue(""), 0);
  EXPECT_EQ(HexValue("1f"), 31);
  EXPECT_EQ(HexValue("FFg"), 255);
  EXPECT_EQ(HexValue("zz"), 0);
  EXPECT_EQ(HexValue("FFFFFFFFFFFF"), INT32_MAX);
}

}  // namespace
}  // namespace mimoza
