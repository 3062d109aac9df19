// tests/pattern/search_test.cpp: whole searches (compile, search, spans): the listed cases,
// anchors, case folding, double-byte subjects, former bugs, and the bounded walk against the
// plain reference walk.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

TEST(Search, CaseFoldingAndDoubleByteSubjects) {
  const struct {
    const char* pattern;
    const char* subject;
    int32_t ignoreCase;
    const char* expected;
  } kCases[] = {
      {"abc", "xABC", 1, "match 1-4"},
      {"ABC", "abc", 1, "match 0-3"},
      {"abc", "ABC", 0, "no"},
      {"abc", "ABC", 2, "no"},
      {"abc", "ABC", -1, "no"},
      {"[a-z]", "A", 1, "no"},
      {"\x40", "\x60", 1, "no"},
      {"\x82\x60", "\x82\x81", 1, "no"},          // full-width A and a stay apart
      {"\x83\x41", "x\x83\x41", 0, "match 1-3"},  // "ア" consumes both bytes
      {"A", "\x83\x41", 0, "no"},                 // never at the trail byte of "ア"
      {"A", "\x83\x41\x41", 0, "match 2-3"},      // but right after it
      // "Aさん" is not in "マリアさん": its "A" would be the second byte of "ア".
      {"A\x82\xB3\x82\xF1", "\x83\x7D\x83\x8A\x83\x41\x82\xB3\x82\xF1", 0, "no"},
      {"\x41\x82\xB3", "\x82\x41\x82\xB3", 1, "no"},  // nor with folding
      {".", "\x82\xA0z", 0, "match 0-2"},
      {".+", "a\r\nb", 0, "match 0-4"},
      {".+$", "ab\r\ncd", 0, "match 0-2"},
      {"\x82\xA0+", "\x82\xA0\x82\xA0\x82\xA1", 0, "match 0-4"},
      {"\x82", "a\x82", 0, "match 1-2"},  // a lone lead byte at the end is one character
      {"\x82\xA0", "a\x82", 0, "no"},
      {".", "\x82", 0, "match 0-1"},
      {"..", "\x82", 0, "no"},
      {"\\d+",
       "\x82\x4F\x82\x50"
       "12",
       0, "match 4-6"},
      {"^\x82\xA2", "\x82\xCD\x82\xA2\n\x82\xA2", 0, "match 5-7"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DumpSearch(c.pattern, c.subject, c.ignoreCase), c.expected)
        << "pattern \"" << DumpBytes(c.pattern) << "\" in \"" << DumpBytes(c.subject) << "\"";
    EXPECT_EQ(DumpSearch(c.pattern, c.subject, c.ignoreCase, WalkPlain), c.expected)
        << "plain: \"" << DumpBytes(c.pattern) << "\"";
  }
}

TEST(Search, SpansOnlyOnSuccess) {
  Pattern* pattern = CompilePattern("(b)");
  MatchSpan sentinel{};
  MatchSpan* spans = &sentinel;
  EXPECT_EQ(SearchPattern(pattern, "aaa", &spans, 0), 0);
  EXPECT_EQ(spans, &sentinel);
  EXPECT_EQ(SearchPattern(pattern, "", &spans, 0), 0);
  EXPECT_EQ(spans, &sentinel);
  EXPECT_EQ(SearchPattern(pattern, "ab", &spans, 0), 2);
  ASSERT_NE(spans, &sentinel);
  FreeSpans(spans);
  FreePattern(pattern);
}

// The bounded walk enters every (state, position) pair at most once in a whole search, and gives
// the plain walk's answer, on the patterns that make the plain walk take exponential time.
TEST(Search, PathologicalPatternsAreBounded) {
  const std::string as(5999, 'a');
  const std::string bang = std::string(5998, 'a') + "!";
  const struct {
    const char* pattern;
    const std::string* subject;
    bool matches;
  } kCases[] = {
      {"(a*)*b", &as, false},  {"(a|a)*b", &as, false},    {"(a|aa)*c", &as, false},
      {"(.*)*x", &as, false},  {"^(a|a)*$", &bang, false}, {"(a|aa)*$", &bang, false},
      {"^(a|b)*$", &as, true},
  };
  for (const auto& c : kCases) {
    Pattern* pattern = CompilePattern(c.pattern);
    ASSERT_NE(pattern, nullptr);
    MatchSpan* spans = nullptr;
    PatternWork stats;
    int32_t result = SearchWith(pattern, c.subject->c_str(), &spans, 0, WalkBounded, &stats);
    EXPECT_EQ(result > 0, c.matches) << c.pattern;
    // Each pair is entered at most once and adds at most one frame to the walk's stack, whose
    // memory is charged as it is touched (a frame is 24 bytes).
    const int64_t pairs =
        int64_t{pattern->stateCount + 1} * static_cast<int64_t>(c.subject->size() + 1);
    EXPECT_LE(stats.steps, pairs * (1 + 24 / static_cast<int64_t>(kFreshBytesPerStep)))
        << c.pattern;
    if (result > 0) {
      EXPECT_EQ(spans[0].start, c.subject->c_str());
      EXPECT_EQ(spans[0].end, c.subject->c_str() + c.subject->size());
      // The last round of the loop opened the group at the end before failing there.
      EXPECT_EQ(spans[1].start, spans[0].end);
      EXPECT_EQ(spans[1].end, spans[0].end);
    }
    FreeSpans(spans);
    FreePattern(pattern);
  }
}

// Keys built to be slow: each search gives up at its step or memory budget and counts as no
// match, with a key that a person writes still found on the same line.
TEST(Search, HostileKeysRunOutOfBudget) {
  const std::string as(5999, 'a');
  const struct {
    const char* pattern;
    bool givesUp;  // false: compiled to null, nothing to search
  } kCases[] = {
      {"a{30000}", true},          {"(a?){5000}[^a]", true},    {"(a?){5000}a{5000}", true},
      {"(a?){8000}a{5990}", true}, {"((a?){100}){100}b", true}, {"(.*){14000}b", true},
      {"(.*){30000}b", false},
  };
  for (const auto& c : kCases) {
    Pattern* pattern = CompilePattern(c.pattern);
    ASSERT_EQ(pattern != nullptr, c.givesUp) << c.pattern;
    MatchSpan* spans = nullptr;
    PatternWork stats;
    EXPECT_EQ(SearchWith(pattern, as.c_str(), &spans, 0, WalkBounded, &stats), 0) << c.pattern;
    EXPECT_EQ(stats.end != WorkDone, c.givesUp) << c.pattern;
    EXPECT_LE(stats.steps, kSearchStepBudget) << c.pattern;
    FreeSpans(spans);
    FreePattern(pattern);
  }
  EXPECT_TRUE(MatchesPattern("a{5999}$", as.c_str()));
}

// HasEpsilonCycle: whether some state reaches itself through epsilon edges alone; only such
// patterns may leave group spans that differ between the two walks.
bool HasEpsilonCycle(const Pattern& pattern) {
  std::vector<int> color(static_cast<size_t>(pattern.stateCount), 0);  // 0 new, 1 open, 2 done
  for (int32_t root = 0; root < pattern.stateCount; ++root) {
    if (color[root] != 0) continue;
    std::vector<std::pair<int32_t, const PatternEdge*>> stack{{root, pattern.states[root]}};
    color[root] = 1;
    while (!stack.empty()) {
      auto& [state, edge] = stack.back();
      if (edge == nullptr) {
        color[state] = 2;
        stack.pop_back();
        continue;
      }
      const PatternEdge* taken = edge;
      edge = edge->next;
      if (taken->epsilon == 0) continue;
      if (color[taken->target] == 1) return true;
      if (color[taken->target] == 0) {
        color[taken->target] = 1;
        stack.push_back({taken->target, pattern.states[taken->target]});
      }
    }
  }
  return false;
}

// RandomPattern: a small pattern over a, b and newlines, with every construct the walk treats
// differently: groups, alternatives, greedy and lazy quantifiers, counted repeats, anchors.
std::string RandomPattern(std::mt19937& random, int depth) {
  static const char* const kAtoms[] = {
      "a",   "b", ".", "[ab]", "[^a]",     "\\n", "^",
      "$",   "a", "b", "A",    "\x82\xA0", "ab",  "[\x82\xA0-\x82\xA2]",
      "\x82"};
  static const char* const kQuantifiers[] = {"*",   "+",     "?", "*?", "+?", "??", "{0,2}",
                                             "{2}", "{1,}?", "",  "",   "",   "",   ""};
  std::string out;
  int items = static_cast<int>(random() % 4);
  for (int i = 0; i < items; ++i) {
    unsigned choice = random() % 10;
    if (choice < 3 && depth < 3) {
      out += "(" + RandomPattern(random, depth + 1) + ")";
    } else if (choice == 3 && depth < 3) {
      out += RandomPattern(random, depth + 1) + "|" + RandomPattern(random, depth + 1);
    } else {
      out += kAtoms[random() % std::size(kAtoms)];
    }
    out += kQuantifiers[random() % std::size(kQuantifiers)];
  }
  return out;
}

std::string RandomSubject(std::mt19937& random) {
  // Lead and trail bytes on their own make subjects whose characters start at odd offsets.
  static const char kBytes[] = {'a', 'b', 'a', 'b', 'c', '\n', 'A', '\x82', '\xA0', '\xA1'};
  std::string out;
  int length = static_cast<int>(random() % 9);
  for (int i = 0; i < length; ++i) out += kBytes[random() % sizeof(kBytes)];
  return out;
}

TEST(Search, BoundedWalkEqualsPlainWalk) {
  std::mt19937 random(20261208);
  int compared = 0;
  int withCycles = 0;
  for (int round = 0; round < 6000; ++round) {
    std::string text = RandomPattern(random, 0);
    Pattern* pattern = CompilePattern(text.c_str());
    ASSERT_NE(pattern, nullptr) << text;
    bool cycle = HasEpsilonCycle(*pattern);
    withCycles += cycle ? 1 : 0;
    for (int i = 0; i < 6; ++i) {
      std::string subject = RandomSubject(random);
      int32_t ignoreCase = static_cast<int32_t>(random() % 2);
      std::string bounded = DumpSearch(text.c_str(), subject.c_str(), ignoreCase, WalkBounded);
      std::string plain = DumpSearch(text.c_str(), subject.c_str(), ignoreCase, WalkPlain);
      if (cycle) {
        // Result and entry 0 must agree; group entries may differ only around the cycle.
        bounded = bounded.substr(0, bounded.find(" g"));
        plain = plain.substr(0, plain.find(" g"));
      }
      ASSERT_EQ(bounded, plain) << "pattern \"" << DumpBytes(text) << "\" in \""
                                << DumpBytes(subject) << "\"";
      ++compared;
    }
    FreePattern(pattern);
  }
  EXPECT_GT(withCycles, 100);  // the generator does reach epsilon cycles
  EXPECT_EQ(compared, 36000);
}

// ExactCopy: text in a heap block of exactly its length + 1, so that the sanitizer builds catch
// any read past the terminator.
std::unique_ptr<char[]> ExactCopy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// Faults of the matcher as first described, each named by what broke; every case here used to
// crash, hang, read past a terminator or give a plainly wrong result.
TEST(Search, FormerBugs) {
  // An epsilon cycle made the walk circle at one position forever.
  EXPECT_EQ(DumpSearch("(a|)*b", "aab").substr(0, 9), "match 0-3");
  EXPECT_EQ(DumpSearch("(a?)*$", "aa").substr(0, 9), "match 0-2");
  // "\x" as the last two bytes decoded past the terminator.
  auto hexAtEnd = ExactCopy("a\\x");
  EXPECT_EQ(DumpSearch(hexAtEnd.get(), "a"), "no");  // the empty class never matches
  auto hexInClass = ExactCopy("[\\x");
  EXPECT_EQ(DumpSearch(hexInClass.get(), "x"), "match 0-0");  // cut off: the empty pattern
  // A subject ending in a lone lead byte let a two-byte step jump over the terminator.
  auto loneLead = ExactCopy("a\x82");
  EXPECT_EQ(DumpSearch(".+", loneLead.get()), "match 0-2");
  EXPECT_EQ(DumpSearch("[\x82\x40-\x82\xFF]", loneLead.get()), "no");
  // A class text ending in a lone lead byte read on past its terminator.
  auto loneLeadClass = ExactCopy("[a-\x82\x83]");
  EXPECT_EQ(DumpSearch(loneLeadClass.get(), "\x83"), "match 0-1");
  // A class of more than 255 bytes overran the lexer's buffer.
  std::string longClass = "[" + std::string(400, 'x') + "y]";
  EXPECT_EQ(DumpSearch(longClass.c_str(), "y"), "no");
  EXPECT_EQ(DumpSearch(longClass.c_str(), "x"), "match 0-1");
  // A repeat count past 2^31 - 1 overflowed; now it saturates and passes the size bound.
  EXPECT_EQ(CompilePattern("a{4294967297}"), nullptr);
  // Copies of a group made by "+" recorded into slot 0 instead of their group.
  EXPECT_EQ(DumpSearch("(a)+?b", "aab"), "match 0-3 g1=1-2");
  EXPECT_EQ(DumpSearch("(a){2}", "aa"), "match 0-2 g1=1-2");
  // The start filter kept the one first character of "a" in "a|$" although the pattern can
  // match the empty string anywhere, and skipped the start at the CR.
  EXPECT_EQ(DumpSearch("a|$", "xy\r\n"), "match 2-2");
  EXPECT_EQ(DumpSearch("\x82\xA0|$", "xy\r\n"), "match 2-2");
  // A long line under a greedy loop overflowed the stack (see stack_test.cpp), and nested
  // repetitions took exponential time (see PathologicalPatternsAreBounded).
}

}  // namespace
}  // namespace mimoza
