// tests/knowledge/subject_search_test.cpp: the verdicts given from a key's facts without
// compiling it, against compiling and searching it.
#include "knowledge/subject_search.h"

#include <random>
#include <string>
#include <vector>

#include "pattern/pattern.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

bool Compiled(const std::string& key, const std::string& subject) {
  return MatchesPattern(key.c_str(), subject.c_str());
}

KeyVerdict JudgeKey(const SubjectIndex& index, const std::string& key) {
  PatternFacts facts;
  if (!ComputePatternFacts(key.c_str(), &facts)) return KeySearch;
  return JudgeFacts(index, facts);
}

KeyVerdict Judge(const std::string& key, const std::string& subject) {
  SubjectIndex index;
  IndexSubject(subject.c_str(), &index);
  return JudgeKey(index, key);
}

// KeyPieces: every metacharacter of the pattern language, taken from the lexer's own table, and
// pieces with the traps around them: trail bytes equal to "\" (0x83 0x5C) and "|" (0x83 0x7C),
// lone lead bytes, half-width katakana, line ends, counted repeats, classes.
const std::vector<std::string>& KeyPieces() {
  static const std::vector<std::string> pieces = [] {
    std::vector<std::string> made = {
        "a",           "b",    "ab",    "\x82\xa0", "\x82\xa2", "\x83\x5c", "\x83\x7c",
        "\x82",        "\xb1", "\r",    "\n",       "{2}",      "{0,",      "{1,2}?",
        "[a\x82\xa0]", "[^a]", "[a-b]", "\\x41",    "-",        ",",        "1"};
    for (int c = 1; c < 256; ++c) {
      if (IsMetacharacter(static_cast<unsigned char>(c)))
        made.emplace_back(1, static_cast<char>(c));
    }
    return made;
  }();
  return pieces;
}

const char* const kSubjectPieces[] = {"a",        "b",        "ab",   "\x82\xa0", "\x82\xa2",
                                      "\x83\x5c", "\x83\x7c", "\x82", "\xb1",     "\r\n",
                                      "|",        "\\",       "x"};

template <typename Pieces>
std::string RandomText(std::mt19937& rng, const Pieces& pieces, size_t most) {
  std::string text;
  const size_t count = rng() % (most + 1);
  for (size_t i = 0; i < count; ++i) text += pieces[rng() % std::size(pieces)];
  return text;
}

TEST(KeyMatch, VerdictsAgreeWithTheMatcher) {
  std::mt19937 rng(20261208);
  int decided = 0;
  for (int round = 0; round < 40000; ++round) {
    const std::string key = RandomText(rng, KeyPieces(), round % 4 == 0 ? 2 : 6);
    // Every fourth subject is long enough to be indexed.
    const std::string subject = RandomText(rng, kSubjectPieces, round % 4 == 1 ? 400 : 12);
    const KeyVerdict verdict = Judge(key, subject);
    if (verdict == KeySearch) continue;
    ++decided;
    ASSERT_EQ(verdict == KeyMatch, Compiled(key, subject))
        << "key \"" << key << "\" subject \"" << subject << "\"";
  }
  EXPECT_GT(decided, 20000);  // the screen must settle most keys, or it saves nothing
}

// Span: entry 0 of the key's search in subject from byte from on, as offsets in subject, or
// "none".
std::string Span(const std::string& key, const std::string& subject, size_t from) {
  const PatternPtr pattern(CompilePattern(key.c_str()));
  MatchSpan* spans = nullptr;
  std::string span = "none";
  if (SearchPattern(pattern.get(), subject.c_str() + from, &spans, 0) > 0) {
    span = std::to_string(spans[0].start - subject.c_str()) + "," +
           std::to_string(spans[0].end - subject.c_str());
  }
  FreeSpans(spans);
  return span;
}

// A matched key's span is searched from FirstMatchFrom on: that search must find the first
// match the search over the whole subject finds.
TEST(KeyMatch, SpansSearchedFromTheFirstPossibleStart) {
  std::mt19937 rng(20261210);
  int moved = 0;
  for (int round = 0; round < 40000; ++round) {
    const std::string key = RandomText(rng, KeyPieces(), round % 4 == 0 ? 2 : 6);
    const std::string subject = RandomText(rng, kSubjectPieces, round % 4 == 1 ? 400 : 12);
    const std::string whole = Span(key, subject, 0);
    if (whole == "none") continue;
    SubjectIndex index;
    IndexSubject(subject.c_str(), &index);
    PatternFacts facts;
    const bool plain = IsPlainPattern(key.data(), key.size());
    const bool known = plain || ComputePatternFacts(key.c_str(), &facts);
    const size_t from = FirstMatchFrom(index, plain ? key.data() : nullptr, key.size(),
                                       known && !plain ? &facts : nullptr);
    moved += from > 0 ? 1 : 0;
    ASSERT_EQ(Span(key, subject, from), whole)
        << "key \"" << key << "\" subject \"" << subject << "\" from " << from;
  }
  EXPECT_GT(moved, 1000);
}

// A lookup indexes its line once and judges every key of the file against it; what one key
// leaves in the index (the walk's marks) must never decide a later key.
TEST(KeyMatch, OneIndexServesManyKeys) {
  std::mt19937 rng(20261209);
  for (int line = 0; line < 8; ++line) {
    const std::string subject = RandomText(rng, kSubjectPieces, line % 2 == 0 ? 400 : 12);
    SubjectIndex index;
    IndexSubject(subject.c_str(), &index);
    for (int round = 0; round < 4000; ++round) {
      const std::string key = RandomText(rng, KeyPieces(), round % 4 == 0 ? 2 : 6);
      const KeyVerdict verdict = JudgeKey(index, key);
      if (verdict == KeySearch) continue;
      ASSERT_EQ(verdict == KeyMatch, Compiled(key, subject))
          << "key \"" << key << "\" subject \"" << subject << "\"";
    }
  }
  // One starred key marks a place ("b+a" on "cab": "a" begins at 1); another, judged more
  // often than there are stamps for the marks, walks through that place without marking it as
  // a suffix itself ("c.*c"), so a mark left over from the first key would read as its match.
  const std::string subject = "cab";
  const std::string marker = "b+a";
  const std::string probe = "c.*c";
  SubjectIndex index;
  IndexSubject(subject.c_str(), &index);
  ASSERT_EQ(JudgeKey(index, marker), KeyNoMatch);
  ASSERT_FALSE(Compiled(probe, subject));
  for (int round = 0; round < 140000; ++round) {
    ASSERT_EQ(JudgeKey(index, probe), KeyNoMatch) << "round " << round;
  }
}

TEST(KeyMatch, TypicalKeys) {
  const std::string ohayo = testing::Cp932("おはよう");
  const std::string subject = testing::Cp932("今日もおはようございます");
  const struct {
    std::string key;
    KeyVerdict verdict;
  } kCases[] = {
      {ohayo, KeyMatch},
      {testing::Cp932("こんにちは"), KeyNoMatch},
      {testing::Cp932("こんばんは|おはよう"), KeyMatch},  // every branch plain: decided
      {testing::Cp932("(こんばんは|おやすみ)"), KeyNoMatch},
      {testing::Cp932("[おこ]は"), KeyMatch},    // finitely many texts: one occurs...
      {testing::Cp932("[こに]は"), KeyNoMatch},  // ...or none does
      {testing::Cp932("おはよ?う"), KeyMatch},
      {testing::Cp932("[おこ]は+"), KeyMatch},  // texts around one starred item: a walk decides
      {testing::Cp932("おは.*す"), KeyMatch},
      {testing::Cp932("おは.*よす"), KeyNoMatch},
      {testing::Cp932("おは.*す$"), KeySearch},  // anchors are the matcher's
      {testing::Cp932("おや.*すみ"), KeyNoMatch},
      {testing::Cp932("^こん|ばんは"), KeyNoMatch},
      {testing::Cp932("(こん)+ばんは?"), KeyNoMatch},
      {testing::Cp932("こん)おはよう"), KeyNoMatch},  // ")" ends the pattern there
      {testing::Cp932("こ?ん*おはよう"), KeyMatch},
      {testing::Cp932("(こん)*おは(よう)*"), KeySearch},
      {testing::Cp932("\\d|こん"), KeySearch},  // escapes are the matcher's
      {"", KeyMatch},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(static_cast<int>(Judge(c.key, subject)), static_cast<int>(c.verdict)) << c.key;
  }
  // A key never matches from the second byte of a two-byte character: "Aさん" is not in
  // "マリアさんが来た", where "ア" ends in the byte "A".
  const std::string maria = testing::Cp932("マリアさんが来た");
  EXPECT_EQ(Judge("A" + testing::Cp932("さん"), maria), KeyNoMatch);
  EXPECT_EQ(Judge("A", maria), KeyNoMatch);
  EXPECT_EQ(Judge(testing::Cp932("アさん"), maria), KeyMatch);
  EXPECT_EQ(Judge("", ""), KeyNoMatch);  // nothing matches an empty subject
  EXPECT_EQ(Judge("a", ""), KeyNoMatch);
}

}  // namespace
}  // namespace mimoza
