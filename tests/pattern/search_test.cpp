// tests/pattern/search_test.cpp: whole searches (compile, search, spans): the listed cases,
// anchors, case folding, double-byte subjects, former bugs, and the bounded walk against the
// plain reference walk.
#include <gtest/gtest.h>

#include "dump.h"

namespace mimoza {
namespace {

struct SearchCase {
  const char* pattern;
  const char* subject;
  const char* expected;  // DumpSearch form
};

void CheckAll(const SearchCase* cases, size_t count, int32_t ignoreCase = 0) {
  for (size_t i = 0; i < count; ++i) {
    const SearchCase& c = cases[i];
    EXPECT_EQ(DumpSearch(c.pattern, c.subject, ignoreCase), c.expected)
        << "pattern \"" << DumpBytes(c.pattern) << "\" in \"" << DumpBytes(c.subject) << "\"";
    EXPECT_EQ(DumpSearch(c.pattern, c.subject, ignoreCase, WalkPlain), c.expected)
        << "plain walk: pattern \"" << DumpBytes(c.pattern) << "\"";
  }
}

TEST(Search, ResultsAndSpans) {
  const SearchCase kCases[] = {
      {"", "", "no"},
      {"a*", "", "no"},
      {"", "x", "match 0-0"},
      {"b", "ab", "match 1-2"},
      {"a|ab", "ab", "match 0-1"},
      {"ab|a", "ab", "match 0-2"},
      {"a*", "aaa", "match 0-3"},
      {"a*?", "aaa", "match 0-0"},
      {"a*?b", "aab", "match 0-3"},
      {"$", "abc", "no"},
      {"$", "abc\r\n", "match 3-3"},
      {"c$", "abc", "match 2-3"},
      {"a*$", "aab", "no"},
      {"^b", "a\r\nb", "match 3-4"},
      {"^b", "ab", "no"},
      {"a.b$", "a\nb", "no"},
      {"a.b", "a\nb", "match 0-3"},
      {"(a)c|ab", "ab", "match 0-2 g1=0-1"},
      {"(a)x|b", "ab", "match 1-2 g1=1-?"},
      {"(.)*", "xy", "match 0-2 g1=2-2"},
      {"b|(a)", "b", "match 0-1 g1=?-?"},
      {"(a)|b", "b", "match 0-1 g1=0-?"},
      {"(a)(b(c))", "abc", "match 0-3 g1=0-1 g2=1-3 g3=2-3"},
      {"(ab*?c)+", "abbcabbc", "match 0-8 g1=8-8"},
      {"x{,2}?", "xxx", "match 0-0"},
      {"x{,2}", "xxx", "match 0-2"},
      {"x{0}", "xxx", "match 0-3"},
      {"x{3,2}", "xxxx", "match 0-3"},
      {"x{2,}", "xxxxx", "match 0-5"},
      {"a}", "aaa", "match 0-3"},
      {"x{2}y}", "xxyyy", "match 0-4"},
      {"]", "]]", "no"},
      {"ab)cd", "xab", "match 1-3"},
      {"*a", "ba", "match 1-2"},
      {"+a", "aa", "no"},
      {"a++", "aa", "no"},
      {"^a|b", "ab", "match 0-1"},
      {"^a|b", "cb", "no"},
      {"a$|b", "ba", "match 1-2"},
      {"(^a)", "a", "no"},
      {"a^b", "ab", "no"},
      {"^?a", "ba", "no"},
      {"^*a", "ba", "match 1-2"},
      {"a$+", "a", "no"},
      {"^^a", "a", "no"},
      {"a*?a*(b)c|aa", "aax", "match 0-2 g1=2-?"},
  };
  CheckAll(kCases, std::size(kCases));
}

TEST(Search, EpsilonCyclesEnd) {
  const SearchCase kCases[] = {
      {"(a*)*", "aab", "match 0-2 g1=2-2"},
      {"()*", "x", "match 0-0 g1=0-0"},
      {"(a|)*b", "aab", "match 0-3 g1=2-2"},
      {"(a?)*c", "aac", "match 0-3 g1=2-2"},
      {"(a*)*b", "aaaa", "no"},
  };
  for (const SearchCase& c : kCases) {
    // Match result and entry 0 must agree; group spans of a cycle are allowed to differ.
    EXPECT_EQ(DumpSearch(c.pattern, c.subject).substr(0, 9), std::string(c.expected).substr(0, 9))
        << c.pattern;
    EXPECT_EQ(DumpSearch(c.pattern, c.subject, 0, WalkPlain).substr(0, 9),
              std::string(c.expected).substr(0, 9))
        << c.pattern;
  }
}

}  // namespace
}  // namespace mimoza
