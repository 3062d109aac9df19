// tests/pattern/class_test.cpp: the class test on class texts as the lexer makes them and as a
// hand-edited key could hold them: ranges, negation, escapes, double-byte items.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dump.h"

namespace mimoza {
namespace {

TEST(ClassContains, Items) {
  const struct {
    const char* text;
    const char* subject;  // the character to test, with what follows it
    int32_t expected;
  } kCases[] = {
      {"", "a", 0},
      {"^", "a", 1},
      {"^", "\x82\xA0", 1},
      {"a-", "a", 1},
      {"a-", "-", 1},
      {"-a", "-", 1},
      {"^a-z", "A", 1},
      {"^a-z", "m", 0},
      {"^a-z", "\x82\xA0", 1},
      {"z-a", "m", 0},
      {"\\D", "5", 0},
      {"\\D", "x", 1},
      {"\\D", "\x82\xA0", 1},
      {"x\\d", "7", 1},
      {"\\s", " ", 1},
      {"\\W", "_", 0},
      {"\\\\", "\\", 1},
      {"\\n", "\n", 1},
      {"ab\\", "\\", 1},
      {"\\-z", "]", 1},  // a range from the backslash, not an escape
      {"\\-z", "a", 1},
      {"\\-z", "-", 0},
      // "あ-z": three items, as the byte after "-" is no lead byte.
      {"\x82\xA0-z", "\x82\xA0", 1},
      {"\x82\xA0-z", "-", 1},
      {"\x82\xA0-z", "z", 1},
      {"\x82\xA0-z", "y", 0},
      // "a-あ": the range a..0x82, then the literal byte 0xA0.
      {"a-\x82\xA0", "z", 1},
      {"a-\x82\xA0", "\xA0", 1},
      {"a-\x82\xA0", "\x81\x40", 1},
      {"a-\x82\xA0", "\x82\xFC", 1},
      {"a-\x82\xA0", "\x83\x40", 0},
      // Double-byte ranges test lead and trail bytes against their own bounds.
      {"\x82\xA0-\x82\xA4", "\x82\xA2", 1},
      {"\x82\xA0-\x82\xA4", "\x82\xA5", 0},
      {"\x82\x9F-\x83\x40", "\x82\x9F", 0},
      {"\x82\x9F-\x83\x40", "\x83\x40", 0},
      {"\x82\x40-\xE0\x80", "\xB1P", 1},  // a half-width katakana byte between the lead bounds
      {"\x82\x40-\xE0\x80", "\xB1\x90", 0},
      {"^\x82\xA0-\x82\xA4", "\x82\xA2", 0},
      // A lone lead byte at the end: a literal whose second byte is the NUL; nothing after it
      // is read.
      {"a-\x82\x83", "b", 1},
      {"a-\x82\x83", "\x83", 1},
      {"a-\x82\x83", "\x83\x40", 0},
      {"\x82", "\x82", 1},
      {"\x82\xA0-\x83", "\x82\xA1", 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ClassContains(c.text, c.subject), c.expected)
        << "class \"" << DumpBytes(c.text) << "\" with \"" << DumpBytes(c.subject) << "\"";
  }
}

TEST(ClassContains, ThroughTheLexer) {
  const struct {
    const char* pattern;
    const char* subject;
    const char* expected;
  } kCases[] = {
      {"[\\D]", "12a", "match 2-3"},
      {"[^\\d]+", "12ab3", "match 2-4"},
      {"[a\\]]+", "x]a]", "match 1-4"},
      {"[\x82\xA0-\x82\xA4]", "x\x82\xA2", "match 1-3"},  // [あ-う] finds い
      {"[a-\x82\x83]", "\x82\x50", "match 0-2"},          // "[a-ｃ]" keeps a lone lead byte
      {"[a-\x82\x83]+", "!\x83", "match 1-2"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DumpSearch(c.pattern, c.subject), c.expected) << DumpBytes(c.pattern);
  }
}

// The byte set of the automaton's class edges and the character lists of the key facts are
// read by the same item reader as the class test; on random class texts all three must agree.
TEST(ClassContains, ByteSetsAndListsAgreeWithTheTest) {
  const char* const kPieces[] = {"a", "b", "-",        "^",    "\\",   "d",    "x41",  "]",
                                 "0", "9", "\x82\xA0", "\x82", "\xB1", "\x80", "\xFF", "\x81"};
  std::vector<std::string> subjects;
  for (int c = 1; c < 256; ++c) {
    subjects.push_back(std::string(1, static_cast<char>(c)));
    subjects.push_back(std::string(1, static_cast<char>(c)) + "\xA0");
  }
  std::mt19937 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = static_cast<int>(rng() % 7); n > 0; --n) text += kPieces[rng() % 16];
    uint8_t set[32];
    const bool bySet = ClassByteSet(text.c_str(), set);
    uint8_t chars[kMaxClassCharacters][2];
    const int32_t count = ClassCharacters(text.c_str(), chars);
    for (const std::string& subject : subjects) {
      const int32_t contains = ClassContains(text.c_str(), subject.c_str());
      const auto* s = reinterpret_cast<const unsigned char*>(subject.c_str());
      if (bySet) {
        ASSERT_EQ(contains, (set[s[0] >> 3] >> (s[0] & 7)) & 1)
            << DumpBytes(text) << " with " << DumpBytes(subject);
      }
      if (count >= 0) {
        const unsigned char trail = CharacterLength(s) == 2 ? s[1] : 0;
        int32_t listed = 0;
        for (int32_t i = 0; i < count; ++i) listed |= chars[i][0] == s[0] && chars[i][1] == trail;
        ASSERT_EQ(contains, listed) << DumpBytes(text) << " with " << DumpBytes(subject);
      }
    }
  }
}

}  // namespace
}  // namespace mimoza
