// tests/knowledge/dictionary_test.cpp: the dictionary store, over texts in memory and on disk.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "knowledge/facts_cache.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::Cp932;
using testing::InTempDir;
using testing::ReadBytes;
using testing::SeedDrawing;
using testing::WriteBytes;

// Every lookup here runs twice: the reference (every key of the text compiled and searched) and
// the dictionaries this test keeps, reading the file in blocks of three sizes (so that tags and
// texts straddle block ends) and keeping what they learned from one text to the next (so that
// every change between two lookups tests the index's refresh). All must give the same.
class DictionaryText : public InTempDir {
 protected:
  // LookupAt: the answer when the generator draws r, or "<none>".
  std::string LookupAt(const std::string& text, const std::string& subject, MatchMode mode,
                       int32_t r = 0, uint32_t outLen = 6000) {
    std::string folded = text;
    folded.resize(FoldTextLineEnds(folded.data(), folded.size()));
    std::string expected(outLen + 1, '#');
    srand(SeedDrawing(r));
    const bool found = LookupAnswerInText(folded.data(), folded.size(), subject.c_str(), mode,
                                          expected.data(), outLen);
    WriteBytes("Dictionary.txt", text);
    for (Dictionary& dictionary : dictionaries) {
      std::string out(outLen + 1, '#');
      srand(SeedDrawing(r));
      EXPECT_EQ(dictionary.LookupAnswer(subject.c_str(), mode, out.data(), outLen), found)
          << text << " with " << subject;
      EXPECT_EQ(out, expected) << text << " with " << subject;
    }
    if (!found) return expected == std::string(outLen + 1, '#') ? "<none>" : "<out was written>";
    return expected.c_str();
  }

  // Candidates: every answer some draw can give (pools here hold fewer than 64 answers).
  std::set<std::string> Candidates(const std::string& text, const std::string& subject,
                                   MatchMode mode = PatternKey) {
    std::set<std::string> seen;
    for (int32_t r = 0; r < 32768; r += 512) seen.insert(LookupAt(text, subject, mode, r));
    seen.insert(LookupAt(text, subject, mode, 32767));
    return seen;
  }

  Dictionary dictionaries[3] = {Dictionary(0), Dictionary(1), Dictionary(7)};
};

using Set = std::set<std::string>;

TEST_F(DictionaryText, KeysPoolTheirAnswers) {
  const std::string ohayo = Cp932("おはよう");
  const std::string entry = "<KEY>" + ohayo + "</KEY>\n<ANS>" + Cp932("おはよう！") + "</ANS>\n";
  const std::string longer = Cp932("おはようございます");
  EXPECT_EQ(Candidates(entry, longer), Set{Cp932("おはよう！")});
  EXPECT_EQ(Candidates(entry, longer, ExactKey), Set{"<none>"});
  EXPECT_EQ(Candidates(entry, ohayo, ExactKey), Set{Cp932("おはよう！")});
  EXPECT_EQ(LookupAt(entry, ohayo, static_cast<MatchMode>(2)), "<none>");
  EXPECT_EQ(LookupAt(entry, "", PatternKey), "<none>");

  const std::string twice = "<KEY>k</KEY><ANS>A</ANS>\n<KEY>k</KEY><ANS>B</ANS>\n";
  EXPECT_EQ(LookupAt(twice, "k", PatternKey, 16383), "A");
  EXPECT_EQ(LookupAt(twice, "k", PatternKey, 16384), "B");

  const std::string parts = "<KEY>" + Cp932("おは") + "</KEY><ANS>1</ANS><KEY>" + Cp932("よう") +
                            "</KEY><ANS>2</ANS><KEY>" + Cp932("^よう") + "</KEY><ANS>3</ANS>";
  EXPECT_EQ(Candidates(parts, ohayo), (Set{"1", "2"}));
  EXPECT_EQ(Candidates("<KEY></KEY><ANS>e</ANS>", "x"), Set{"e"});  // the empty key
  EXPECT_EQ(Candidates("<KEY></KEY><ANS>e</ANS>", "", ExactKey), Set{"e"});
}

TEST_F(DictionaryText, TheAnswerWalk) {
  const struct {
    const char* text;
    const char* subject;
    Set answers;
  } kCases[] = {
      {"<KEY>k</KEY><ANS>1</ANS><ANS>2</ANS><ANS>3</ANS>", "k", {"1", "2", "3"}},
      {"<KEY>k</KEY><ANS>1</ANS><ANS>2</ANS><ANS>3</ANS><KEY>j</KEY><ANS>4</ANS>",
       "k",
       {"1", "2", "3"}},
      // an "<ANS>" inside an answer starts a further answer
      {"<KEY>k</KEY><ANS>x<ANS>y</ANS><ANS>z</ANS>", "k", {"x<ANS>y", "y", "z"}},
      // an opening tag with more bytes opens a key but ends no answers
      {"<KEY>k</KEY><ANS>1</ANS><KEY class=a>j</KEY><ANS>2</ANS>", "k", {"1", "2"}},
      {"<KEY>k</KEY><ANS>1</ANS><KEY class=a>j</KEY><ANS>2</ANS>", "j", {"2"}},
      {"<KEYS>j</KEY><ANS>2</ANS>", "j", {"2"}},
      // a key without answers collects the next ones
      {"<KEY>k</KEY><KEY>j</KEY><ANS>2</ANS><KEY>i</KEY><ANS>3</ANS>", "k", {"2"}},
      // an unclosed answer runs to the end and ends the lookup
      {"<KEY>k</KEY><ANS>1</ANS><ANS>2<KEY>k</KEY><ANS", "k", {"1", "2<KEY>k</KEY><ANS"}},
      // and closes at the next closing tag, wherever it stands
      {"<KEY>k</KEY><ANS>1\n<KEY>j</KEY><ANS>2</ANS>", "k", {"1\n<KEY>j</KEY><ANS>2"}},
      {"<KEY>k</KEY>", "k", {"<none>"}},
      {"<KEY>k", "k", {"<none>"}},
      {"<KEY k</KEY><ANS>1</ANS>", "k", {"<none>"}},
      {"", "k", {"<none>"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Candidates(c.text, c.subject), c.answers) << c.text;

  // A NUL ends a key or an answer text.
  const std::string nul("<KEY>k\0x</KEY><ANS>a\0b</ANS>", 28);
  EXPECT_EQ(Candidates(nul, "k"), Set{"a"});
}

TEST_F(DictionaryText, LimitsOfKeysAnswersAndPools) {
  const std::string key6000(6000, 'k');
  const std::string longKey = "<KEY>" + key6000 + "x</KEY><ANS>a</ANS>";
  EXPECT_EQ(LookupAt(longKey, key6000, ExactKey), "a");  // only the first 6000 bytes count
  EXPECT_EQ(LookupAt(longKey, key6000 + "x", ExactKey), "<none>");

  EXPECT_EQ(LookupAt("<KEY>k</KEY><ANS>abcd</ANS>", "k", PatternKey, 0, 4), "abcd");
  EXPECT_EQ(LookupAt("<KEY>k</KEY><ANS>abcde</ANS>", "k", PatternKey, 0, 4), "abcd");

  std::string many = "<KEY>k</KEY>";
  for (int i = 0; i <= kMaxAnswers; ++i) many += "<ANS>" + std::to_string(i) + "</ANS>";
  EXPECT_EQ(LookupAt(many, "k", PatternKey, 32767), "65535");  // the 65537th is ignored
}

TEST_F(DictionaryText, TagHelpers) {
  const std::string text = "x<KEY a>key</KEY>y";
  const char* end = text.data() + text.size();
  char out[8] = "keep";
  EXPECT_EQ(ExtractTagText(text.data(), "KEY", end, out, 2), end - 1);
  EXPECT_STREQ(out, "ke");
  std::strcpy(out, "keep");
  EXPECT_EQ(ExtractTagText(text.data(), "KEY", end - 2, out, 7), nullptr);  // closes too late
  EXPECT_EQ(ExtractTagText(text.data(), "ANS", end, out, 7), nullptr);
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(FindBytes(text.data(), "</KEY>", 6, end), text.data() + 11);
  EXPECT_EQ(FindBytes(text.data(), "</KEY>", 6, text.data() + 16), nullptr);
  EXPECT_EQ(FindBytes(nullptr, "a", 1, end), nullptr);
}

// Everything the facts cache keeps stays within its bound, held entries included: spare entries
// go first (least recently used first), then kept patterns; an entry that still does not fit is
// not made, and a dropped key's facts come back on demand.
TEST(FactsCacheBound, EverythingKeptStaysWithinTheBound) {
  constexpr size_t kBound = 8192;
  FactsCache cache(kBound);
  std::vector<std::string> keys;
  std::vector<uint32_t> entries;
  for (int i = 0; i < 200; ++i) {
    keys.push_back("k" + std::to_string(i) + "|x.*y");
    const uint32_t entry = cache.Acquire(keys.back().data(), keys.back().size());
    EXPECT_LE(cache.MemoryBytes(), kBound);
    if (entry == FactsCache::kNone) break;  // full of held entries
    entries.push_back(entry);
  }
  ASSERT_GT(entries.size(), 10u);
  ASSERT_LT(entries.size(), 200u);
  // Released, they make room for others, the least recently released dropped first.
  for (const uint32_t entry : entries) cache.Release(entry);
  const std::string extra = "extra|x.*y";
  const uint32_t made = cache.Acquire(extra.data(), extra.size());
  ASSERT_NE(made, FactsCache::kNone);
  EXPECT_LE(cache.MemoryBytes(), kBound);
  const uint32_t last =
      cache.Acquire(keys[entries.size() - 1].data(), keys[entries.size() - 1].size());
  EXPECT_EQ(last, entries.back());  // still there
  const uint32_t first = cache.Acquire(keys.front().data(), keys.front().size());
  ASSERT_NE(first, FactsCache::kNone);  // dropped, and made again
  const FactsText source = cache.Facts(first).Source();
  EXPECT_EQ(std::string(source.bytes, source.length), keys.front());
  // Patterns are kept while they fit, and make room for each other.
  PatternPtr small(CompilePattern("(a|b)*c"));
  const Pattern* kept = cache.KeepPattern(made, small);
  EXPECT_EQ(small, nullptr);
  EXPECT_EQ(cache.KeptPattern(made), kept);
  PatternPtr large(CompilePattern("(a|b){2000}c"));
  const Pattern* notKept = cache.KeepPattern(last, large);
  EXPECT_EQ(notKept, large.get());  // larger than the bound: it stays with the caller
  EXPECT_EQ(cache.KeptPattern(last), nullptr);
  EXPECT_LE(cache.MemoryBytes(), kBound);
}

class DictionaryFile : public InTempDir {};

// A LookupObserver that writes down what it is told, one item a line.
class DumpObserver final : public LookupObserver {
 public:
  void LookupStarted() override { dump += "start\n"; }
  void KeyMatched(const MatchedKey& key) override {
    dump += "key " + std::to_string(key.line) + " " + std::string(key.text, key.length) +
            (key.spanFound
                 ? " [" + std::to_string(key.spanStart) + "," + std::to_string(key.spanEnd) + ")\n"
                 : " (no span)\n");
  }
  void AnswerPooled(const char* text, uint64_t line) override {
    answers.emplace_back(text);
    dump += "answer " + std::to_string(line) + " " + std::string(text) + "\n";
  }
  void LookupEnded(int32_t poolSize, int32_t drawn) override {
    dump += "end " + std::to_string(poolSize) + " " + std::to_string(drawn) + "\n";
  }
  std::string dump;
  std::vector<std::string> answers;
};

// The observer hears the matched keys with the line of their "<KEY" in the file as stored, their
// match, and the pool in order with the line of each answer's own "<ANS>", the same over the index and over the whole text (a 0x1A byte
// makes the dictionary read the file whole); the draw is the one a lookup without it makes.
TEST_F(DictionaryFile, ObserversHearEachMatchedKeyAndThePool) {
  const std::string text = "<KEY><SMES0></KEY>\r\n<ANS>t</ANS>\r\n" +             // lines 1-2
                           Cp932("<KEY>ねこ</KEY>\r\n<ANS>に\r\nゃ</ANS>\r\n") +  // 3-5
                           Cp932("<ANS>ごろ</ANS>\r\n<KEY>いぬ</KEY><ANS>わん</ANS>\r\n") +  // 6-7
                           Cp932("<KEY\r\n class>.*き$</KEY>\r\n<ANS>すき</ANS>\r\n") +      // 8-10
                           Cp932("<KEY>が</KEY><KEY>好</KEY>\r\n<ANS>x</ANS>\r\n");  // 11-12
  const std::string subject = Cp932("ねこが好き");
  const std::string expected = "start\nkey 3 " + Cp932("ねこ") + " [0,4)\nanswer 4 " +
                               Cp932("に\nゃ") + "\nanswer 6 " + Cp932("ごろ") + "\nkey 8 " +
                               Cp932(".*き$") + " [0,10)\nanswer 10 " + Cp932("すき") +
                               "\nkey 11 " + Cp932("が") + " [4,6)\nanswer 12 x\n";
  for (const char* tail : {"", "\x1a"}) {
    SCOPED_TRACE(*tail == '\0' ? "indexed" : "whole text");
    WriteBytes("Dictionary.txt", text + tail);
    Dictionary dictionary;
    for (int32_t r : {0, 12000, 32767}) {
      char plain[64] = "";
      char observed[64] = "";
      srand(SeedDrawing(r));
      ASSERT_TRUE(dictionary.LookupAnswer(subject.c_str(), PatternKey, plain, 63));
      srand(SeedDrawing(r));
      DumpObserver observer;
      ASSERT_TRUE(dictionary.LookupAnswer(subject.c_str(), PatternKey, observed, 63, &observer));
      const int32_t drawn = RandomIntFrom(r, 0, 3);
      EXPECT_EQ(observer.dump, expected + "end 4 " + std::to_string(drawn) + "\n");
      EXPECT_STREQ(observed, plain);
      EXPECT_EQ(observer.answers[static_cast<size_t>(drawn)], plain);
    }
    // Observing draws nothing and says what a lookup would find.
    srand(77);
    const int32_t next = rand();
    srand(77);
    DumpObserver observer;
    EXPECT_TRUE(dictionary.ObserveLookup(subject.c_str(), PatternKey, observer));
    EXPECT_EQ(observer.dump, expected + "end 4 -1\n");
    EXPECT_EQ(rand(), next);
    // An exact key matches the whole subject.
    DumpObserver exact;
    EXPECT_TRUE(dictionary.ObserveLookup("<SMES0>", ExactKey, exact));
    EXPECT_EQ(exact.dump, "start\nkey 1 <SMES0> [0,7)\nanswer 2 t\nend 1 -1\n");
  }
  std::filesystem::remove("Dictionary.txt");
  Dictionary dictionary;
  DumpObserver missing;
  EXPECT_FALSE(dictionary.ObserveLookup("x", PatternKey, missing));
  EXPECT_EQ(missing.dump, "start\nend 0 -1\n");
  EXPECT_FALSE(std::filesystem::exists("Dictionary.txt"));
}

TEST_F(DictionaryFile, SeedsMissingEntriesAndReadsCrLfFiles) {
  Dictionary dictionary;
  char out[6001] = "keep";
  EXPECT_FALSE(dictionary.LookupAnswer("x", PatternKey, out, 6000));
  EXPECT_STREQ(out, "keep");
  dictionary.LookupOrSeed(kOfferLearnKey.key, kOfferLearnKey.defaultText, PatternKey, out, 6000);
  EXPECT_STREQ(out, kOfferLearnKey.defaultText);
  EXPECT_EQ(ReadBytes("Dictionary.txt"),
            "<KEY><SMES1></KEY>\r\n<ANS>" + Cp932("覚えていい？") + "</ANS>\r\n");

  // A key found inside the requested key's text answers for it, and nothing is seeded.
  const std::string withS = "<KEY>S</KEY>\r\n<ANS>s\r\nanswer</ANS>\r\n\x1a<KEY>";
  WriteBytes("Dictionary.txt", withS);
  dictionary.LookupOrSeed(kAskAnswerKey.key, kAskAnswerKey.defaultText, PatternKey, out, 6000);
  EXPECT_STREQ(out, "s\nanswer");
  EXPECT_EQ(ReadBytes("Dictionary.txt"), withS);
  EXPECT_FALSE(dictionary.LookupAnswer(kNoListKey.key, PatternKey, out, 6000));
}

TEST_F(DictionaryFile, UnreadableOrUnwritableFilesGiveNothing) {
  std::filesystem::create_directory("Dictionary.txt");
  Dictionary dictionary;
  char out[16] = "keep";
  EXPECT_FALSE(dictionary.LookupAnswer("x", PatternKey, out, 15));
  EXPECT_FALSE(AppendEntry("x", "y"));
  dictionary.LookupOrSeed("x", "y", PatternKey, out, 15);
  EXPECT_STREQ(out, "keep");
  std::filesystem::remove("Dictionary.txt");

  std::filesystem::create_symlink("/dev/full", "Dictionary.txt");
  EXPECT_FALSE(AppendEntry("x", "y"));
}

// What a data folder may hold instead of a plain dictionary: nothing hangs, nothing is appended
// to a file that could not be read, and an end mark hides nothing.
TEST_F(DictionaryFile, DataFolderFaults) {
  char out[64] = "keep";
  ASSERT_EQ(mkfifo("Dictionary.txt", 0600), 0);
  {
    Dictionary dictionary;
    EXPECT_FALSE(dictionary.LookupOrSeed(kOfferLearnKey.key, "x", PatternKey, out, 63));
    EXPECT_STREQ(out, "keep");
    int error = 0;
    EXPECT_FALSE(AppendEntry("k", "a", &error));  // no waiting for a reader
    EXPECT_NE(error, 0);
  }
  std::filesystem::remove("Dictionary.txt");

  const std::string marked = "<KEY>a</KEY><ANS>1</ANS>\x1a<KEY>b</KEY><ANS>2</ANS>";
  WriteBytes("Dictionary.txt", marked);
  Dictionary dictionary;
  EXPECT_TRUE(dictionary.LookupOrSeed("b", "default", PatternKey, out, 63));
  EXPECT_STREQ(out, "2");
  EXPECT_EQ(ReadBytes("Dictionary.txt"), marked);
}

TEST_F(DictionaryFile, RefusesTextsThatWouldBreakTheTags) {
  WriteBytes("Dictionary.txt", "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n");
  const struct {
    const char* key;
    const char* answer;
  } kRefused[] = {
      {"a</KEY>b", "x"}, {"<KEY", "x"},   {"a<ANS>", "x"}, {"a\x1a", "x"},
      {"k", "a</ANS>b"}, {"k", "x<KEY>"}, {"k", "<KEYS"},  {"k", "<ANS>"},
      {"k", "\x1a"},     {nullptr, "x"},  {"k", nullptr},
  };
  for (const auto& c : kRefused) {
    EXPECT_FALSE(AppendEntry(c.key, c.answer)) << (c.key ? c.key : "null");
  }
  EXPECT_EQ(ReadBytes("Dictionary.txt"), "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n");
  // Harmless look-alikes and format characters are stored verbatim.
  ASSERT_TRUE(AppendEntry("%s</ANS>", "<KEx>\n%d"));
  EXPECT_EQ(ReadBytes("Dictionary.txt"),
            "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>%s</ANS></KEY>\r\n<ANS><KEx>\r\n%d</ANS>\r\n");
}

TEST_F(DictionaryFile, AShortWriteLeavesTheFileAsItWas) {
  const std::string before = "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n";
  WriteBytes("Dictionary.txt", before);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before.size() + 10, before.size() + 10};  // the entry stops half-way
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(AppendEntry("a long key", "a long answer") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadBytes("Dictionary.txt"), before);
}

TEST_F(DictionaryFile, ConcurrentAppendsNeverInterleave) {
  const std::string answer(300, 'a');
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      bool ok = true;
      for (int i = 0; i < 1000; ++i) {
        const std::string key = std::to_string(c) + "-" + std::to_string(i);
        ok = AppendEntry(key.c_str(), answer.c_str()) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string text = ReadBytes("Dictionary.txt");
  std::set<std::string> keys;
  size_t at = 0;
  while (at < text.size()) {
    const size_t keyEnd = text.find("</KEY>\r\n<ANS>", at);
    ASSERT_NE(keyEnd, std::string::npos);
    ASSERT_EQ(text.compare(at, 5, "<KEY>"), 0) << at;
    keys.insert(text.substr(at + 5, keyEnd - at - 5));
    const size_t answerAt = keyEnd + 13;
    ASSERT_EQ(text.compare(answerAt, answer.size() + 8, answer + "</ANS>\r\n"), 0) << at;
    at = answerAt + answer.size() + 8;
  }
  EXPECT_EQ(keys.size(), 2000u);
}

}  // namespace
}  // namespace mimoza
