// tests/pattern/facts_test.cpp: the key facts of the constructs whose meaning the lexer and the
// parser decide in ways easy to get wrong, as a golden dump per key. (That every verdict drawn
// from the facts is the matcher's own is tested against the matcher in tests/knowledge/.)
#include <gtest/gtest.h>

#include <string>

#include "dump.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

std::string List(int32_t count, FactsText (PatternFacts::*at)(int32_t) const,
                 const PatternFacts& facts) {
  std::string out;
  for (int32_t i = 0; i < count; ++i) {
    const FactsText text = (facts.*at)(i);
    out += (i == 0 ? "" : ",") + DumpBytes(std::string(text.bytes, text.length));
  }
  return out;
}

// DumpFacts: "texts{a,b}" when the texts are known; else the clauses "[ab|c][d]" and the star
// form "star{prefixes}x*{suffixes}" (".*" for any character).
std::string DumpFacts(const char* key) {
  PatternFacts facts;
  if (!ComputePatternFacts(key, &facts)) return "out of memory";
  if (facts.textCount >= 0)
    return "texts{" + List(facts.textCount, &PatternFacts::Text, facts) + "}";
  std::string out;
  for (int32_t c = 0; c < facts.clauseCount; ++c) {
    out += "[";
    for (int32_t i = 0; i < facts.clauseSizes[c]; ++i) {
      const FactsText needle = facts.Needle(c, i);
      out += (i == 0 ? "" : "|") + DumpBytes(std::string(needle.bytes, needle.length));
    }
    out += "]";
  }
  if (facts.starForm) {
    out += " star{" + List(facts.prefixCount, &PatternFacts::Prefix, facts) + "}" +
           (facts.starAny ? "." : List(facts.starCount, &PatternFacts::StarChar, facts)) + "*{" +
           List(facts.suffixCount, &PatternFacts::Suffix, facts) + "}";
  }
  return out.empty() ? "nothing" : out;
}

TEST(Facts, TrickyKeys) {
  const struct {
    const char* key;
    const char* facts;
  } kCases[] = {
      {"abc", "texts{abc}"},
      {"", "texts{}"},                // the empty pattern matches the empty text everywhere
      {"ab|cd", "texts{ab,cd}"},      // a finite language, alternatives in any order
      {"a(b|c)d", "texts{abd,acd}"},  // groups are transparent
      {"x{0}", "nothing"},            // "{0}" repeats without bound: it may match nothing
      {"ab{2}", "texts{abb}"},
      {"ab{2}c}", "texts{abbcc}"},           // a stray "}" repeats with the last counts
      {"[xy]z]", "texts{xzx,xzy,yzx,yzy}"},  // a stray "]" is the last class again
      {"]a", "texts{}"},                     // ... or, before any class, the empty one: never
      {"ab)cd", "texts{ab}"},                // a ")" that closes nothing ends the pattern
      {"*a", "texts{a}"},                    // a star of nothing repeats nothing
      {"+a", "texts{}"},                     // a plus of nothing never matches
      {"a.*b", "[a][b] star{a}.*{b}"},
      {"a+b", "[a][b] star{a}a*{b}"},
      {"^ab|c", "[ab|c]"},  // an anchor anywhere: the clauses hold, the texts do not
      {"ab$", "[ab]"},
      {"a\\.b", "texts{a.b}"},  // an escape is a literal
      // "\x82" is a lead byte alone: it matches only as a subject's last byte, which no needle
      // says; the byte after it must still be there.
      {"\\x82\\xA0", "[\\xA0]"},
      {"\x82\xA0\x82\xA2", "texts{\\x82\\xA0\\x82\\xA2}"},  // two-byte characters are whole
      {"\x83\x5C*", " star{}\\x83\\*{}"},           // "ソ": its second byte "\" is no escape
      {"(ab){10}", "texts{abababababababababab}"},  // within the work its length allows
      // More work than the text's length allows: the facts say nothing and the matcher decides
      // (this one compiles to nothing too: past the size bound).
      {"(.*){30000}b", "nothing"},
      {"(ab){2000}", "nothing"},
  };
  for (const auto& c : kCases) EXPECT_EQ(DumpFacts(c.key), c.facts) << DumpBytes(c.key);
}

}  // namespace
}  // namespace mimoza
