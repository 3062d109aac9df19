// tests/pattern/automaton_test.cpp: edge lists in try order of compiled patterns, state counts,
// anchor flags and the size bound.
#include <gtest/gtest.h>

#include <string>

#include "dump.h"

namespace mimoza {
namespace {

std::string Compiled(const char* text) {
  Pattern* pattern = CompilePattern(text);
  std::string out = DumpPattern(pattern);
  FreePattern(pattern);
  return out;
}

TEST(Automaton, EdgeListsInTryOrder) {
  const struct {
    const char* pattern;
    const char* edges;
  } kCases[] = {
      {"", "0: e->1 #2"},
      {"ab", "0: 'a'->2 | 2: 'b'->1 #3"},
      {"a|b", "0: 'a'->1 'b'->1 #2"},
      {"a|b|c", "0: 'a'->1 'b'->1 'c'->1 #2"},
      {"a*", "0: e->2 | 2: 'a'->3 e->1 | 3: e->2 #4"},
      {"a*?", "0: e->2 | 2: e->1 'a'->3 | 3: e->2 #4"},
      {"(a)", "0: (1->2 | 2: 'a'->3 | 3: )1->1 #4"},
      {"^a|b", "0: ^->2 'b'->1 | 2: 'a'->1 #3 ^"},
      {"a$", "0: 'a'->2 | 2: $->1 #3 $"},
      {"a$|b", "0: 'a'->2 'b'->1 | 2: $->1 #3 $"},
      {"^?a", "0: ^->2 e->2 | 2: 'a'->1 #3 ^"},
      {"(^a)", "0: (1->2 | 3: )1->1 | 4: 'a'->3 #5"},
      {"a^b", "0: 'a'->3 | 2: 'b'->1 #4"},
      {"a$b", "0: 'a'->3 | 2: 'b'->1 #4"},
      {"^^a", "0: ^->3 | 2: 'a'->1 #4 ^"},
      {"[0-9]\\d.", "0: [0-9]->3 | 2: [\\x01-\\xFF]->1 | 3: [0-9]->2 #4"},
      {"\x82\xA0|x", "0: '\\x82\\xA0'->1 'x'->1 #2"},
      {"(a)(b)", "0: (1->3 | 2: (2->5 | 3: 'a'->4 | 4: )1->2 | 5: 'b'->6 | 6: )2->1 #7"},
      {"*a", "0: e->3 | 2: 'a'->1 | 3: e->2 | 4: e->3 #5"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Compiled(c.pattern), c.edges) << "pattern \"" << DumpBytes(c.pattern) << "\"";
  }
}

TEST(Automaton, RecordFields) {
  const struct {
    const char* pattern;
    int32_t stateCount;
    int32_t groupSlots;
  } kCases[] = {{"", 2, 1},        {"abc", 4, 1},    {"(a)(b(c))", 10, 4}, {"(a)+", 9, 2},
                {"(a){3}", 11, 2}, {"a*|b*?", 6, 1}, {")", 2, 1}};
  for (const auto& c : kCases) {
    Pattern* pattern = CompilePattern(c.pattern);
    ASSERT_NE(pattern, nullptr) << c.pattern;
    EXPECT_EQ(pattern->startState, 0);
    EXPECT_EQ(pattern->finalState, 1);
    EXPECT_EQ(pattern->stateCount, c.stateCount) << c.pattern;
    EXPECT_EQ(pattern->groupSlots, c.groupSlots) << c.pattern;
    EXPECT_EQ(pattern->states[1], nullptr) << "the final state has no edges: " << c.pattern;
    FreePattern(pattern);
  }
}

// Copies made by "+" and counted repeats keep the group number of the group they copy.
TEST(Automaton, CopiedMarkersKeepTheirGroup) {
  EXPECT_EQ(Compiled("(a){2}"),
            "0: (1->3 | 2: (1->6 | 3: 'a'->4 | 4: )1->2 | 5: e->1 | 6: 'a'->7 | 7: )1->5 #8");
}

TEST(Automaton, SizeBound) {
  Pattern* pattern = CompilePattern("a{49990}");
  ASSERT_NE(pattern, nullptr);  // one concatenation state per copy
  EXPECT_LE(pattern->stateCount, kMaxPatternStates);
  FreePattern(pattern);
  // Under the node bound but over the state bound: a star costs two states and one node.
  EXPECT_EQ(CompilePattern("(a*){40000}"), nullptr);
  EXPECT_EQ(CompilePattern("a{2147483647}"), nullptr);
  EXPECT_EQ(CompilePattern("((a{1000}){1000}){1000}"), nullptr);
  FreePattern(nullptr);
  FreeSpans(nullptr);
  MatchSpan* spans = nullptr;
  EXPECT_EQ(SearchPattern(nullptr, "abc", &spans, 0), 0);
  EXPECT_EQ(spans, nullptr);
}

// GeneralRoute: the automaton of text made through the lexer, the parser and BuildPattern,
// as CompilePattern does for every text that is not plain.
std::string GeneralRoute(const char* text) {
  PatternLexer lexer;
  lexer.cursor = text;
  NextToken(lexer);
  lexer.root = ParseAlternation(lexer);
  Pattern* pattern = lexer.failed ? nullptr : BuildPattern(lexer);
  std::string out = DumpPattern(pattern);
  FreePattern(pattern);
  return out;
}

// Plain texts skip the parser; their automaton must be the one the parser's tree gives.
TEST(Automaton, PlainTextsBuildTheSameAutomaton) {
  const std::string longest(50000, 'a');  // 99,999 tree nodes
  const std::string tooLong(50001, 'a');
  const char* const kTexts[] = {"a",
                                "ab",
                                "abc",
                                "hello world",
                                "\x82\xCD\x82\xA2",
                                "\x83\\\x83|\x83[x",  // trail bytes equal to metacharacters
                                "\x82\xA0z\x82\xA1",
                                "\x82",
                                "a\x82",
                                longest.c_str(),
                                tooLong.c_str()};
  for (const char* text : kTexts) {
    EXPECT_EQ(Compiled(text), GeneralRoute(text)) << DumpBytes(std::string(text).substr(0, 20));
  }
  EXPECT_EQ(Compiled(tooLong.c_str()), "null");
}

}  // namespace
}  // namespace mimoza
