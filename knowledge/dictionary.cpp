// knowledge/dictionary.cpp: Dictionary.txt + subject -> one pooled answer.
// Leaves this file: Dictionary, LookupAnswerInText. The lookups over the index and over a whole
// text, and the report to a lookup's observer, are private.
// Tested by tests/knowledge/dictionary_test.cpp (in memory and on disk, the index against the
// reference); fuzzed by fuzz/dictionary_fuzz.cpp; measured by bench/dictionary_bench.cpp.
//
// Every lookup hands every key of the file, as the index keeps them or as the reader finds them
// in a text read whole, to a KeyMatcher, which decides them all within the lookup's slice of the
// turn; then it makes the walk of knowledge/dictionary_format.h (WalkEntries) over the elements,
// asking the verdict of each key it reaches. A lookup can tell an observer what it finds; without
// one it pays a null check per matched key, and with one the extra work (line numbers, spans,
// answer texts) is for matched keys, and the keys not searched to their end, only.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "knowledge/dictionary_format.h"
#include "knowledge/dictionary_index.h"
#include "knowledge/dictionary_store.h"
#include "knowledge/facts_cache.h"
#include "knowledge/key_matcher.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {
namespace {

// The answers collected by one lookup, as the offset of each answer's text; the closing tag is
// found again for the one answer drawn. Grows as answers come, so a lookup that collects few
// answers stays small.
struct AnswerTable {
  uint32_t* starts = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  bool outOfMemory = false;

  AnswerTable() = default;
  AnswerTable(const AnswerTable&) = delete;
  AnswerTable& operator=(const AnswerTable&) = delete;
  ~AnswerTable() { std::free(starts); }

  bool Full() const { return count >= kMaxAnswers || outOfMemory; }

  // Add: stores an answer; false once the table is full or cannot grow.
  bool Add(uint64_t start) {
    if (Full()) return false;
    if (count == capacity) {
      const int32_t grown = capacity == 0 ? 64 : capacity * 2;
      auto* more = static_cast<uint32_t*>(
          std::realloc(static_cast<void*>(starts), static_cast<size_t>(grown) * sizeof *starts));
      if (more == nullptr) {
        outOfMemory = true;
        return false;
      }
      starts = more;
      capacity = grown;
    }
    starts[count++] = static_cast<uint32_t>(start);
    return true;
  }
  // Found: whether the lookup found answers. Memory running out while answers were collected
  // gives no answer rather than a draw from a pool that lacks some of them.
  bool Found() const { return count > 0 && !outOfMemory; }
};

// CopyAnswer: out gets the answer whose text starts at text[start] in a text already folded, as
// a draw copies it: up to its end (AnswerTextLength), its first outLen bytes (a NUL ending it
// early), the rest of those bytes zero, and a NUL.
void CopyAnswer(const char* text, size_t length, uint64_t start, char* out, uint32_t outLen) {
  const size_t bytes = AnswerTextLength(text, length, static_cast<size_t>(start));
  std::memset(out, 0, outLen);
  CopyBounded(out, text + start, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
}

// ReadAnswer: CopyAnswer for the answer whose text starts at offset start of the file the index
// describes: its stored bytes read and folded. False when memory or reading fails.
bool ReadAnswer(RawFile& file, const DictionaryIndex& index, uint64_t start, char* out,
                uint32_t outLen) {
  const uint64_t close = index.AnswerCloseAtOrAfter(start);
  const uint64_t end = close == kNoTag ? index.Length() : close;
  // Folding takes at most two stored bytes to one: this many give the first outLen text bytes.
  const uint64_t want = std::min<uint64_t>(end - start, 2 * uint64_t{outLen} + 2);
  std::unique_ptr<char[]> stored(new (std::nothrow) char[static_cast<size_t>(want) + 1]);
  if (stored == nullptr) return false;
  const int64_t got = file.ReadAt(start, stored.get(), static_cast<size_t>(want));
  if (got < 0) return false;
  const size_t length = FoldTextLineEnds(stored.get(), static_cast<size_t>(got));
  CopyAnswer(stored.get(), length, 0, out, outLen);
  return true;
}

// LookupReport: tells a lookup's observer what the lookup finds: each matched key as it is
// found, with its line and its match in the subject, and the answers of the pool, each with its
// own line, once the next matched key (or the end) shows that no more of them follow the key
// before. Keys and answers come in file order, so lines asks for offsets in increasing order.
// answerText(start, out, outLen) copies the answer whose text starts at start as a draw would.
class LookupReport {
 public:
  LookupReport(LookupObserver& theObserver, uint32_t theOutLen)
      : observer(theObserver), outLen(std::min<uint32_t>(theOutLen, kLineBufferBytes)) {}

  // Key: a matched key k whose element opens at offset open.
  template <typename AnswerText>
  void Key(LineCounter& lines, uint64_t open, size_t k, const char* text, size_t length,
           KeyMatcher& matcher, const AnswerTable& answers, AnswerText answerText) {
    Answers(lines, answers, answerText);
    MatchedKey key{lines.LineAt(open), text, length, false, 0, 0};
    key.spanFound = matcher.Span(k, text, length, &key.spanStart, &key.spanEnd);
    observer.KeyMatched(key);
  }
  // Unsearched: a key at offset open the walk reached that could not be searched to its end.
  template <typename AnswerText>
  void Unsearched(LineCounter& lines, uint64_t open, const char* text, size_t length,
                  UnsearchedReason reason, const AnswerTable& answers, AnswerText answerText) {
    Answers(lines, answers, answerText);
    observer.KeyUnsearched(UnsearchedKey{lines.LineAt(open), text, length, reason});
  }
  template <typename AnswerText>
  void Answers(LineCounter& lines, const AnswerTable& answers, AnswerText answerText) {
    for (; told < answers.count; ++told) {
      answerText(answers.starts[told], answer, outLen);
      // An answer element holds no line feed: its text starts on its line.
      observer.AnswerPooled(answer, lines.LineAt(answers.starts[told]));
    }
  }

 private:
  LookupObserver& observer;
  uint32_t outLen;
  int32_t told = 0;  // answers of the pool told so far
  char answer[kLineBufferBytes + 1] = {};
};

// KeyOf: the key element k of a text's elements as a lookup reads its text.
const char* KeyOf(const DictionaryElements& elements, const char* text, size_t k, size_t* length) {
  const KeyElement& key = elements.Keys()[k];
  *length = KeyTextLength(text + key.text, key.close - key.text);
  return text + key.text;
}

}  // namespace

// What a lookup drew from: the pool's size (0: it yields nothing) and the index drawn (-1: none).
struct Drawn {
  int32_t poolSize = 0;
  int32_t index = -1;
};

// Everything a Dictionary keeps between lookups.
struct Dictionary::State {
  explicit State(size_t blockBytes) : index(cache, blockBytes) {}

  // The lookups copy the drawn answer into out; with out null they draw nothing and only say
  // whether there is an answer to draw. A report (when given) hears what they find.
  bool LookupIndexed(RawFile& file, KeyMatcher& matcher, LookupReport* report, char* out,
                     uint32_t outLen, Drawn* drawn);
  bool LookupWholeText(KeyMatcher& matcher, LookupReport* report, char* out, uint32_t outLen,
                       Drawn* drawn);

  FactsCache cache;
  DictionaryIndex index;
  bool unreadable = false;  // the last lookup found the file but could not read it
};

// LookupIndexed: the walk over the index's tables, then the drawn answer read from the file.
bool Dictionary::State::LookupIndexed(RawFile& file, KeyMatcher& matcher, LookupReport* report,
                                      char* out, uint32_t outLen, Drawn* drawn) {
  if (!matcher.Reserve(index.KeyCount())) return false;
  for (size_t k = 0; k < index.KeyCount(); ++k) {
    const IndexedKey& key = index.Key(k);
    if (key.close != kNoPosition) {
      matcher.Consider(k, index.KeyText(key), key.length, key.kind, key.text);
    }
  }
  matcher.Settle();
  if (matcher.Stopped()) return false;
  AnswerTable answers;
  LineCounter lines(file);
  const auto answerText = [&](uint64_t start, char* text, uint32_t textLen) {
    if (!ReadAnswer(file, index, start, text, textLen)) text[0] = '\0';
  };
  WalkEntries(
      index, index.Length(), answers,
      [&](size_t k) {
        if (matcher.Matches(k)) return true;
        UnsearchedReason reason = UnsearchedSteps;
        if (report != nullptr && matcher.Unsearched(k, &reason)) {
          const IndexedKey& key = index.Key(k);
          report->Unsearched(lines, key.open, index.KeyText(key), key.length, reason,
                             answers, answerText);
        }
        return false;
      },
      [&](size_t k) {
        if (report == nullptr) return;
        const IndexedKey& key = index.Key(k);
        report->Key(lines, key.open, k, index.KeyText(key), key.length, matcher, answers,
                    answerText);
      });
  if (report != nullptr) report->Answers(lines, answers, answerText);
  if (!answers.Found()) return false;
  drawn->poolSize = answers.count;
  if (out == nullptr) return true;
  drawn->index = RandomInt(0, answers.count - 1);
  return ReadAnswer(file, index, answers.starts[drawn->index], out, outLen);
}

// LookupWholeText: for a file the index cannot describe: read whole, its elements found by the
// reader, each key still tested with the facts kept in the cache.
bool Dictionary::State::LookupWholeText(KeyMatcher& matcher, LookupReport* report, char* out,
                                        uint32_t outLen, Drawn* drawn) {
  TextBuffer text;
  if (!ReadTextFile(kDictionaryFile, &text)) return false;
  DictionaryElements elements;
  if (!elements.Read(text.bytes, text.length)) return false;
  if (!matcher.Reserve(elements.KeyCount())) return false;
  for (size_t k = 0; k < elements.KeyCount(); ++k) {
    if (elements.Keys()[k].close == kNoOffset) continue;
    size_t length = 0;
    const char* key = KeyOf(elements, text.bytes, k, &length);
    matcher.ConsiderText(k, key, length);
  }
  matcher.Settle();
  if (matcher.Stopped()) return false;
  AnswerTable answers;
  LineCounter lines(text.bytes);
  const auto answerText = [&](uint64_t start, char* copy, uint32_t copyLen) {
    CopyAnswer(text.bytes, text.length, start, copy, copyLen);
  };
  WalkEntries(
      elements, text.length, answers,
      [&](size_t k) {
        if (matcher.Matches(k)) return true;
        UnsearchedReason reason = UnsearchedSteps;
        if (report != nullptr && matcher.Unsearched(k, &reason)) {
          size_t length = 0;
          const char* key = KeyOf(elements, text.bytes, k, &length);
          report->Unsearched(lines, elements.Keys()[k].open, key, length, reason, answers,
                             answerText);
        }
        return false;
      },
      [&](size_t k) {
        if (report == nullptr) return;
        size_t length = 0;
        const char* key = KeyOf(elements, text.bytes, k, &length);
        report->Key(lines, elements.Keys()[k].open, k, key, length, matcher, answers,
                    answerText);
      });
  if (report != nullptr) report->Answers(lines, answers, answerText);
  if (!answers.Found()) return false;
  drawn->poolSize = answers.count;
  if (out == nullptr) return true;
  drawn->index = RandomInt(0, answers.count - 1);
  // The text is already folded: copied as it is.
  CopyAnswer(text.bytes, text.length, answers.starts[drawn->index], out, outLen);
  return true;
}

Dictionary::Dictionary(size_t blockBytes) : state(new (std::nothrow) State(blockBytes)) {}

Dictionary::~Dictionary() = default;

bool Dictionary::LookupAnswer(const char* subject, MatchMode mode, char* out, uint32_t outLen,
                              LookupObserver* observer) {
  if (out == nullptr) return false;
  return Lookup(subject, mode, out, outLen, observer, LookupLine);
}

bool Dictionary::ObserveLookup(const char* subject, MatchMode mode, LookupObserver& observer,
                               LookupRole role) {
  return Lookup(subject, mode, nullptr, kLineBufferBytes, &observer, role);
}

// Lookup: LookupAnswer, and with out null ObserveLookup, within the slice of role.
bool Dictionary::Lookup(const char* subject, MatchMode mode, char* out, uint32_t outLen,
                        LookupObserver* observer, LookupRole role) {
  if (observer != nullptr) observer->LookupStarted();
  Drawn drawn;
  bool found = false;
  TurnBudget own;
  TurnBudget& budget = turn != nullptr ? *turn : own;
  KeyWork work;
  work.verdictSteps = budget.Take(role == LookupLine ? kLineLookupSteps : kReservedLookupSteps);
  if (observer != nullptr) {
    work.spanSteps = budget.Take(role == LookupLine ? kLineSpanSteps : kReservedSpanSteps);
  }
  work.stop = budget.StopFlag();
  // Invalid modes match no key.
  if (subject != nullptr && (mode == ExactKey || mode == PatternKey) && state != nullptr) {
    KeyMatcher matcher(subject, mode, &state->cache, work);
    std::unique_ptr<LookupReport> report;
    if (observer != nullptr) report.reset(new (std::nothrow) LookupReport(*observer, outLen));
    RawFile file;
    state->unreadable = false;
    if (!file.Open(kDictionaryFile)) {
      state->unreadable = errno != ENOENT;
    } else {
      switch (state->index.Refresh(file, work.stop)) {
        case DictionaryIndex::Indexed:
          found = state->LookupIndexed(file, matcher, report.get(), out, outLen, &drawn);
          break;
        case DictionaryIndex::NeedsWholeText:
          found = state->LookupWholeText(matcher, report.get(), out, outLen, &drawn);
          break;
        case DictionaryIndex::Unreadable:
          state->unreadable = true;
          break;
        case DictionaryIndex::Stopped:
          break;  // the turn is abandoned: nothing is found
      }
    }
    budget.Spent(matcher.Steps());
    if (matcher.Stopped()) found = false;
  }
  if (!found) drawn = Drawn{};
  if (observer != nullptr) observer->LookupEnded(drawn.poolSize, drawn.index);
  return found;
}

bool Dictionary::LookupOrSeed(const char* key, const char* defaultAnswer, MatchMode mode, char* out,
                              uint32_t outLen, LookupObserver* observer) {
  if (out == nullptr) return false;
  if (Lookup(key, mode, out, outLen, observer, LookupReserved)) return true;
  // A file that exists but cannot be read would get the default again at every start; a stopped
  // turn may have missed an entry that is there.
  if (state == nullptr || state->unreadable || (turn != nullptr && turn->Stopped())) return false;
  bool present = false;
  bool appended = false;
  {
    // Another session may have seeded it meanwhile: looked at again under the seed lock,
    // drawing nothing, so a seeded session's draws stay as they were.
    const SeedLock seeding;
    present = Lookup(key, mode, nullptr, kLineBufferBytes, nullptr, LookupReserved);
    if (!present) appended = AppendEntry(key, defaultAnswer);
  }
  if (present || appended) return Lookup(key, mode, out, outLen, observer, LookupReserved);
  // The file lacks the entry and cannot take it: its default is what it stands for.
  CopyBounded(out, defaultAnswer, outLen);
  return true;
}

size_t Dictionary::MemoryBytes() const {
  return state == nullptr ? 0 : state->index.MemoryBytes() + state->cache.MemoryBytes();
}

bool LookupAnswerInText(const char* text, size_t length, const char* subject, MatchMode mode,
                        char* out, uint32_t outLen) {
  if (text == nullptr || subject == nullptr || out == nullptr) return false;
  if (mode != ExactKey && mode != PatternKey) return false;  // no key matches
  DictionaryElements elements;
  if (!elements.Read(text, length)) return false;
  // The reference: every pattern key compiled and searched, nothing taken from facts; the keys
  // their facts leave to a search share the slice of a line's lookup as a Dictionary's do.
  KeyMatcher matcher(subject, mode, nullptr, KeyWork{}, true);
  if (!matcher.Reserve(elements.KeyCount())) return false;
  for (size_t k = 0; k < elements.KeyCount(); ++k) {
    if (elements.Keys()[k].close == kNoOffset) continue;
    size_t keyLength = 0;
    const char* key = KeyOf(elements, text, k, &keyLength);
    matcher.Consider(k, key, keyLength, KeyCompiled);
  }
  matcher.Settle();
  AnswerTable answers;
  WalkEntries(
      elements, length, answers, [&](size_t k) { return matcher.Matches(k); }, [](size_t) {});
  if (!answers.Found()) return false;
  const int32_t chosen = RandomInt(0, answers.count - 1);
  CopyAnswer(text, length, answers.starts[chosen], out, outLen);
  return true;
}

}  // namespace mimoza
