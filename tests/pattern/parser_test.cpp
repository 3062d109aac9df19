// tests/pattern/parser_test.cpp: syntax trees of pattern texts (golden dumps), group numbering,
// malformed texts and the size bound.
#include <gtest/gtest.h>

#include <string>

#include "dump.h"

namespace mimoza {
namespace {

TEST(Parser, Trees) {
  const struct {
    const char* pattern;
    const char* tree;
  } kCases[] = {
      {"", "Empty"},
      {"abc", "Concat(Concat(a,b),c)"},
      {"a|b|c", "Alt(c,Alt(b,a))"},
      {"ab?", "Concat(a,Alt(Empty,b))"},
      {"ab??", "Concat(a,Alt(b,Empty))"},
      {"a+", "Concat(a,Star(a))"},
      {"a+?", "Concat(a,LazyStar(a))"},
      {"a*?", "LazyStar(a)"},
      {"(a|b)+c",
       "Concat(Concat(Concat(Open1,Concat(Alt(b,a),Close1)),"
       "Star(Concat(Open1,Concat(Alt(b,a),Close1)))),c)"},
      {"[0-9]{2,3}?x", "Concat(Concat([0-9],Concat([0-9],Concat(Empty,Alt([0-9],Empty)))),x)"},
      {"x{3}", "Concat(x,Concat(x,Concat(x,Empty)))"},
      {"x{2,4}", "Concat(x,Concat(x,Concat(Concat(Empty,Alt(Empty,x)),Alt(Empty,x))))"},
      {"x{2,}", "Concat(x,Concat(x,Star(x)))"},
      {"x{,2}", "Alt(Empty,Concat(Concat(Empty,Alt(Empty,x)),Alt(Empty,x)))"},
      {"x{,2}?", "Alt(Concat(Concat(Empty,Alt(x,Empty)),Alt(x,Empty)),Empty)"},
      {"x{0}", "Alt(Empty,Star(x))"},
      {"x{}", "Alt(Empty,Star(x))"},
      {"x{3,0}", "Concat(x,Concat(x,Concat(x,Star(x))))"},
      {"x{3,2}", "Concat(x,Concat(x,Concat(x,Empty)))"},
      {"[xy]{2}", "Concat([xy],Concat([xy],Empty))"},
      {"a}", "Alt(Empty,Star(a))"},
      {"x{2}y}", "Concat(Concat(x,Concat(x,Empty)),Concat(y,Concat(y,Empty)))"},
      {"]", "[]"},
      {"()", "Concat(Open1,Concat(Empty,Close1))"},
      {"(ab", "Concat(Open1,Concat(Concat(a,b),Close1))"},
      {"ab)cd", "Concat(a,b)"},
      {"a)|b", "a"},
      {"a|", "Alt(Empty,a)"},
      {"|a", "Alt(a,Empty)"},
      {"a||b", "Alt(b,Alt(Empty,a))"},
      {"*a", "Concat(Star(-),a)"},
      {"+a", "Concat(Concat(-,Star(-)),a)"},
      {"a**", "Concat(Star(a),Star(-))"},
      {"(?a)", "Concat(Open1,Concat(Concat(Alt(Empty,-),a),Close1))"},
      {"a|*", "Alt(Star(-),a)"},
      {"^a$", "Concat(Concat(^,a),$)"},
      {"(a)(b(c))",
       "Concat(Concat(Open1,Concat(a,Close1)),"
       "Concat(Open2,Concat(Concat(b,Concat(Open3,Concat(c,Close3))),Close2)))"},
      {"(ab*?)+",
       "Concat(Concat(Open1,Concat(Concat(a,LazyStar(b)),Close1)),"
       "Star(Concat(Open1,Concat(Concat(a,LazyStar(b)),Close1))))"},
      {"\x82\xA0+", "Concat(\\x82\\xA0,Star(\\x82\\xA0))"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DumpTree(c.pattern), c.tree) << "pattern \"" << DumpBytes(c.pattern) << "\"";
  }
}

TEST(Parser, GroupNumbering) {
  const struct {
    const char* pattern;
    int32_t groups;
  } kCases[] = {{"", 0},       {"abc", 0}, {"(a)(b(c))", 3}, {"(a)+", 1},
                {"(a){3}", 1}, {"((", 2},  {"a)(b", 0}};
  for (const auto& c : kCases) {
    int32_t groups = -1;
    DumpTree(c.pattern, &groups);
    EXPECT_EQ(groups, c.groups) << c.pattern;
  }
}

// Repeats expand into copies; every copy counts against the node bound, and a count of 2^31 - 1
// (or one that saturated there) stops at the bound instead of running for minutes.
TEST(Parser, SizeBound) {
  EXPECT_EQ(DumpTree("a{2147483647}"), "failed");
  EXPECT_EQ(DumpTree("a{99999999999,}"), "failed");
  EXPECT_NE(DumpTree("(a{100}){100}"), "failed");
  EXPECT_EQ(DumpTree("((a{100}){100}){100}"), "failed");
  EXPECT_NE(DumpTree("a{30000}"), "failed");
  EXPECT_EQ(DumpTree("a{60000}"), "failed");  // two nodes per copy
}

}  // namespace
}  // namespace mimoza
