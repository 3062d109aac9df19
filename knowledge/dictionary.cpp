// knowledge/dictionary.cpp: Dictionary.txt + subject -> one pooled answer; entries -> the file.
// Leaves this file: Dictionary, LookupAnswerInText, ExtractTagText, AppendEntry. The key scan
// and answer walk, over the whole text (the reference) and over the index, and the report to a
// lookup's observer are private.
// Tested by tests/knowledge/dictionary_test.cpp (in memory and on disk, the index against the
// reference); fuzzed by fuzz/dictionary_fuzz.cpp; measured by bench/dictionary_bench.cpp.
//
// A lookup finds the first key element from the scan position ("<KEY", the first ">" after it,
// the first "</KEY>" after that), tests its key and, when it matches, walks its answers: each
// from the next "<ANS>"; only an exact "<KEY>" before the following "<ANS>" ends them (the key
// scan then resumes at the last answer's "</ANS>"), and the next "<ANS>" is looked for from the
// first byte of the current answer's text, so a "<ANS>" inside an answer starts another. A key
// with no answer before the next key thus collects the answers that follow it: files edited by
// hand may rely on that. The same steps run over the whole text, and over the index's tables.
// Both paths can tell an observer what they find; without one they pay a null check per matched
// key, and with one the extra work (line numbers, spans, answer texts) is for matched keys only.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "knowledge/dictionary_index.h"
#include "knowledge/facts_cache.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/subject_search.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Tag names are short ASCII words ("KEY"); a longer name finds no element.
constexpr size_t kMaxTagNameLength = 16;

// One element in the text: its opening tag starts at open, its text runs from text to close, and
// the scan goes on at after.
struct ElementView {
  const char* open;
  const char* text;
  const char* close;
  const char* after;
};

// FindElement: the element named name that opens at or after from and closes before end.
// The opening tag is "<" name and any bytes up to the first ">" after them. The tags are ASCII
// starting with "<", a byte that is never the second byte of a double-byte character, so a byte
// search cannot land inside one.
bool FindElement(const char* from, const char* name, const char* end, ElementView* element) {
  const size_t nameLength = std::strlen(name);
  if (nameLength > kMaxTagNameLength) return false;
  char openTag[kMaxTagNameLength + 1] = {'<'};  // "<" name
  std::copy_n(name, nameLength, openTag + 1);
  char closeTag[kMaxTagNameLength + 3] = {'<', '/'};  // "</" name ">"
  std::copy_n(name, nameLength, closeTag + 2);
  closeTag[nameLength + 2] = '>';

  const char* open = FindBytes(from, openTag, nameLength + 1, end);
  if (open == nullptr) return false;
  const char* gt = FindByte(open + 1 + nameLength, '>', end);
  if (gt == nullptr) return false;
  const char* close = FindBytes(gt + 1, closeTag, nameLength + 3, end);
  if (close == nullptr) return false;
  *element = ElementView{open, gt + 1, close, close + nameLength + 3};
  return true;
}

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

// The subject of one lookup.
struct Subject {
  const char* text;
  size_t length;
  MatchMode mode;
  SubjectIndex index;  // prepared for the byte searches of pattern keys
};

// ExactMatches: the key text and the subject compare equal as whole texts.
bool ExactMatches(const Subject& subject, const char* key, size_t length) {
  return length == subject.length && std::memcmp(key, subject.text, length) == 0;
}

// CompiledMatches: the key text key[0, length) compiled and searched in the subject.
bool CompiledMatches(const Subject& subject, const char* key, size_t length) {
  char text[kMaxKeyBytes + 1];
  if (length > kMaxKeyBytes) return false;
  std::memcpy(text, key, length);
  text[length] = '\0';
  return MatchesPattern(text, subject.text);
}

// ScanText: the key scan and the answer walk over text[0, length), each key text (folded, cut to
// kMaxKeyBytes and at a NUL) tested by keyMatches(key, keyLength); matched(open, key, keyLength)
// hears of each key that matched, before its answers are walked.
template <typename KeyMatches, typename Matched>
void ScanText(const char* text, size_t length, KeyMatches keyMatches, Matched matched,
              AnswerTable& answers) {
  const char* end = text + length;
  const char* scan = text;
  while (scan < end && !answers.Full()) {
    ElementView key{};
    if (!FindElement(scan, "KEY", end, &key)) return;
    scan = key.after;
    size_t keyLength = static_cast<size_t>(key.close - key.text);
    if (keyLength > kMaxKeyBytes) keyLength = kMaxKeyBytes;
    const void* nul = std::memchr(key.text, '\0', keyLength);
    if (nul != nullptr) keyLength = static_cast<size_t>(static_cast<const char*>(nul) - key.text);
    if (!keyMatches(key.text, keyLength)) continue;
    matched(key.open, key.text, keyLength);
    if (scan >= end) return;
    // The answer walk.
    for (const char* walk = scan;;) {
      const char* open = FindBytes(walk, kAnswerOpenTag.data(), kAnswerOpenTag.size(), end);
      if (open == nullptr) return;
      const char* start = open + kAnswerOpenTag.size();
      const char* close = FindBytes(start, kAnswerCloseTag.data(), kAnswerCloseTag.size(), end);
      if (!answers.Add(static_cast<uint64_t>(start - text)) || close == nullptr) return;
      const char* nextOpen = FindBytes(close, kAnswerOpenTag.data(), kAnswerOpenTag.size(), end);
      if (nextOpen == nullptr) return;
      // A "<KEY>" before nextOpen ends before it too ("<KEY>" ends in ">", "<ANS>" starts with
      // "<"), so the search need not look past nextOpen; that keeps long answer lists linear.
      if (FindBytes(close, kExactKeyTag.data(), kExactKeyTag.size(), nextOpen) != nullptr) {
        scan = close;
        break;
      }
      walk = start;
    }
  }
}

// CopyAnswer: out gets the answer whose text starts at text[start] in a text already folded, as
// a draw copies it: up to its "</ANS>" (or the end), its first outLen bytes (a NUL ending it
// early), the rest of those bytes zero, and a NUL.
void CopyAnswer(const char* text, size_t length, uint64_t start, char* out, uint32_t outLen) {
  const char* from = text + start;
  const char* end = text + length;
  const char* close = FindBytes(from, kAnswerCloseTag.data(), kAnswerCloseTag.size(), end);
  const auto bytes = static_cast<size_t>((close != nullptr ? close : end) - from);
  std::memset(out, 0, outLen);
  CopyBounded(out, from, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
}

// FirstAtOrAfter: the first position in a sorted table at or after offset, or kNoPosition.
uint32_t FirstAtOrAfter(const ChunkedArray<uint32_t>& positions, uint64_t offset) {
  const size_t at = positions.FirstNotBelow(offset, [](uint32_t p, uint64_t o) { return p < o; });
  return at == positions.Size() ? kNoPosition : positions[at];
}

// ReadAnswer: CopyAnswer for the answer whose text starts at offset start of the file the index
// describes: its stored bytes read and folded. False when memory or reading fails.
bool ReadAnswer(RawFile& file, const DictionaryIndex& index, uint64_t start, char* out,
                uint32_t outLen) {
  const uint32_t close = FirstAtOrAfter(index.AnswerCloses(), start);
  const uint64_t end = close == kNoPosition ? index.Length() : close;
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

// LineCounter: the line of each offset asked for, in increasing order, counting the LFs before it
// once: in a text in memory (whose folding kept every LF), or in a file as stored, read in blocks
// as far as the last offset asked for.
class LineCounter {
 public:
  explicit LineCounter(const char* theText) : text(theText) {}
  explicit LineCounter(RawFile& theFile) : file(&theFile) {}

  // LineAt: the 1-based line of offset; 0 when the file cannot be read that far.
  uint64_t LineAt(uint64_t offset) {
    if (offset < at) {  // never asked for by the scans, which move forward
      at = 0;
      line = 1;
    }
    if (file == nullptr) {
      line += CountLineFeeds(text + at, text + offset);
      at = offset;
      return line;
    }
    if (block == nullptr) block.reset(new (std::nothrow) char[kBlockBytes]);
    while (at < offset && block != nullptr) {
      const int64_t got =
          file->ReadAt(at, block.get(), static_cast<size_t>(std::min(offset - at, kBlockBytes)));
      if (got <= 0) break;
      line += CountLineFeeds(block.get(), block.get() + got);
      at += static_cast<uint64_t>(got);
    }
    return at == offset ? line : 0;
  }

 private:
  static constexpr uint64_t kBlockBytes = uint64_t{64} << 10;
  static uint64_t CountLineFeeds(const char* from, const char* to) {
    return CountByte(from, to, '\n');
  }

  const char* text = nullptr;
  RawFile* file = nullptr;
  std::unique_ptr<char[]> block;
  uint64_t at = 0;    // LFs before this offset are counted
  uint64_t line = 1;  // the line at offset at
};

// FindSpan: the key's match in the subject, entry 0 of a search of the key compiled afresh (the
// lookup may have decided the key from its facts, without searching), started at from, before
// which no match of the key starts (see FirstMatchFrom); an exact key's match is the whole
// subject.
void FindSpan(const Subject& subject, const char* key, size_t length, size_t from,
              MatchedKey* matched) {
  matched->spanFound = false;
  matched->spanStart = 0;
  matched->spanEnd = 0;
  if (subject.mode == ExactKey) {
    matched->spanFound = true;
    matched->spanEnd = subject.length;
    return;
  }
  char text[kMaxKeyBytes + 1];
  if (length > kMaxKeyBytes) return;
  std::memcpy(text, key, length);
  text[length] = '\0';
  const PatternPtr pattern(CompilePattern(text));
  MatchSpan* spans = nullptr;
  if (from > subject.length) from = 0;
  if (SearchPattern(pattern.get(), subject.text + from, &spans, 0) > 0 &&
      spans[0].start != nullptr && spans[0].end != nullptr) {
    matched->spanFound = true;
    matched->spanStart = static_cast<size_t>(spans[0].start - subject.text);
    matched->spanEnd = static_cast<size_t>(spans[0].end - subject.text);
  }
  FreeSpans(spans);
}

// LookupReport: tells a lookup's observer what the lookup finds: each matched key as it is
// found, with its line and its match in the subject, and the answers of the pool once the next
// matched key (or the end) shows that no more of them follow the key before.
// answerText(start, out, outLen) copies the answer whose text starts at start as a draw would.
class LookupReport {
 public:
  LookupReport(LookupObserver& theObserver, const Subject& theSubject, uint32_t theOutLen)
      : observer(theObserver),
        subject(theSubject),
        outLen(std::min<uint32_t>(theOutLen, kLineBufferBytes)) {}

  // Key: a matched key on line `line`, whose search may start at from.
  template <typename AnswerText>
  void Key(uint64_t line, const char* text, size_t length, size_t from, const AnswerTable& answers,
           AnswerText answerText) {
    Answers(answers, answerText);
    MatchedKey key{line, text, length, false, 0, 0};
    FindSpan(subject, text, length, from, &key);
    observer.KeyMatched(key);
  }
  template <typename AnswerText>
  void Answers(const AnswerTable& answers, AnswerText answerText) {
    for (; told < answers.count; ++told) {
      answerText(answers.starts[told], answer, outLen);
      observer.AnswerPooled(answer);
    }
  }

 private:
  LookupObserver& observer;
  const Subject& subject;
  uint32_t outLen;
  int32_t told = 0;  // answers of the pool told so far
  char answer[kLineBufferBytes + 1] = {};
};

bool OpensBefore(const KeyElement& key, uint64_t offset) { return key.open < offset; }

}  // namespace

// What a lookup drew from: the pool's size (0: it yields nothing) and the index drawn (-1: none).
struct Drawn {
  int32_t poolSize = 0;
  int32_t index = -1;
};

// Everything a Dictionary keeps between lookups.
struct Dictionary::State {
  explicit State(size_t blockBytes) : index(cache, blockBytes) {}

  bool KeyMatches(Subject& subject, const KeyElement& key);
  size_t SearchFrom(const Subject& subject, const char* key, size_t length);
  // The lookups copy the drawn answer into out; with out null they draw nothing and only say
  // whether there is an answer to draw. A report (when given) hears what they find.
  bool LookupIndexed(RawFile& file, Subject& subject, LookupReport* report, char* out,
                     uint32_t outLen, Drawn* drawn);
  bool LookupWholeText(Subject& subject, LookupReport* report, char* out, uint32_t outLen,
                       Drawn* drawn);

  FactsCache cache;
  DictionaryIndex index;
  bool unreadable = false;  // the last lookup found the file but could not read it
};

bool Dictionary::State::KeyMatches(Subject& subject, const KeyElement& key) {
  const char* text = index.KeyText(key);
  if (subject.mode == ExactKey) return ExactMatches(subject, text, key.length);
  if (key.kind == KeyTextPlain) return SubjectContains(subject.index, text, key.length);
  if (key.kind == KeyTextUncached) return CompiledMatches(subject, text, key.length);
  switch (JudgeFacts(subject.index, cache.Facts(key.text))) {
    case KeyMatch:
      return true;
    case KeyNoMatch:
      return false;
    case KeySearch:
      break;
  }
  return PatternFound(cache.Compiled(key.text), subject.text);
}

// SearchFrom: where the search for a matched key's span may start; asked only for matched keys.
size_t Dictionary::State::SearchFrom(const Subject& subject, const char* key, size_t length) {
  if (subject.mode != PatternKey) return 0;
  if (IsPlainPattern(key, length)) return FirstMatchFrom(subject.index, key, length, nullptr);
  const uint32_t entry = cache.Acquire(key, length);
  if (entry == FactsCache::kNone) return 0;
  const size_t from = FirstMatchFrom(subject.index, nullptr, 0, &cache.Facts(entry));
  cache.Release(entry);
  return from;
}

// LookupIndexed: the key scan and the answer walk over the index's tables (the same steps as
// ScanText), then the drawn answer read from the file.
bool Dictionary::State::LookupIndexed(RawFile& file, Subject& subject, LookupReport* report,
                                      char* out, uint32_t outLen, Drawn* drawn) {
  const ChunkedArray<KeyElement>& keys = index.Keys();
  const ChunkedArray<uint32_t>& opens = index.AnswerOpens();
  const ChunkedArray<uint32_t>& closes = index.AnswerCloses();
  const uint64_t length = index.Length();
  AnswerTable answers;
  LineCounter lines(file);
  const auto answerText = [&](uint64_t start, char* text, uint32_t textLen) {
    if (!ReadAnswer(file, index, start, text, textLen)) text[0] = '\0';
  };
  size_t k = 0;  // the scan position only moves forward, and so does the key it finds
  uint64_t scan = 0;
  while (scan < length && !answers.Full()) {
    while (k < keys.Size() && keys[k].open < scan) ++k;
    if (k == keys.Size() || keys[k].close == kNoPosition) break;
    const KeyElement& key = keys[k];
    scan = key.close + kKeyCloseTag.size();
    if (!KeyMatches(subject, key)) continue;
    if (report != nullptr) {
      const char* text = index.KeyText(key);
      report->Key(lines.LineAt(key.open), text, key.length, SearchFrom(subject, text, key.length),
                  answers, answerText);
    }
    if (scan >= length) break;
    bool nextKey = false;
    for (uint64_t walk = scan; !nextKey;) {
      const uint32_t open = FirstAtOrAfter(opens, walk);
      if (open == kNoPosition) break;
      const uint64_t start = uint64_t{open} + kAnswerOpenTag.size();
      const uint32_t close = FirstAtOrAfter(closes, start);
      if (!answers.Add(start) || close == kNoPosition) break;
      const uint32_t nextOpen = FirstAtOrAfter(opens, close);
      if (nextOpen == kNoPosition) break;
      // An exact "<KEY>" between this answer's close and the next "<ANS>" ends the answers.
      for (size_t e = keys.FirstNotBelow(close, OpensBefore);
           e < keys.Size() && keys[e].open < nextOpen && !nextKey; ++e) {
        nextKey = keys[e].exact;
      }
      if (nextKey) scan = close;
      walk = start;
    }
    if (!nextKey) break;
  }
  if (report != nullptr) report->Answers(answers, answerText);
  if (!answers.Found()) return false;
  drawn->poolSize = answers.count;
  if (out == nullptr) return true;
  drawn->index = RandomInt(0, answers.count - 1);
  return ReadAnswer(file, index, answers.starts[drawn->index], out, outLen);
}

// LookupWholeText: for a file the index cannot describe: read whole, the same scan over it,
// each key still tested with the facts kept in the cache.
bool Dictionary::State::LookupWholeText(Subject& subject, LookupReport* report, char* out,
                                        uint32_t outLen, Drawn* drawn) {
  TextBuffer text;
  if (!ReadTextFile(kDictionaryFile, &text)) return false;
  AnswerTable answers;
  LineCounter lines(text.bytes);
  const auto answerText = [&](uint64_t start, char* copy, uint32_t copyLen) {
    CopyAnswer(text.bytes, text.length, start, copy, copyLen);
  };
  ScanText(
      text.bytes, text.length,
      [&](const char* key, size_t keyLength) {
        if (subject.mode == ExactKey) return ExactMatches(subject, key, keyLength);
        const uint32_t entry = cache.Acquire(key, keyLength);
        if (entry == FactsCache::kNone) return CompiledMatches(subject, key, keyLength);
        KeyVerdict verdict = JudgeFacts(subject.index, cache.Facts(entry));
        if (verdict == KeySearch) {
          verdict = PatternFound(cache.Compiled(entry), subject.text) ? KeyMatch : KeyNoMatch;
        }
        cache.Release(entry);
        return verdict == KeyMatch;
      },
      [&](const char* open, const char* key, size_t keyLength) {
        if (report == nullptr) return;
        const auto offset = static_cast<uint64_t>(open - text.bytes);
        report->Key(lines.LineAt(offset), key, keyLength, SearchFrom(subject, key, keyLength),
                    answers, answerText);
      },
      answers);
  if (report != nullptr) report->Answers(answers, answerText);
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
  return Lookup(subject, mode, out, outLen, observer);
}

bool Dictionary::ObserveLookup(const char* subject, MatchMode mode, LookupObserver& observer) {
  return Lookup(subject, mode, nullptr, kLineBufferBytes, &observer);
}

// Lookup: LookupAnswer, and with out null ObserveLookup.
bool Dictionary::Lookup(const char* subject, MatchMode mode, char* out, uint32_t outLen,
                        LookupObserver* observer) {
  if (observer != nullptr) observer->LookupStarted();
  Drawn drawn;
  bool found = false;
  // Invalid modes match no key.
  if (subject != nullptr && (mode == ExactKey || mode == PatternKey) && state != nullptr) {
    Subject lookup{subject, std::strlen(subject), mode, {}};
    if (mode == PatternKey) IndexSubject(subject, &lookup.index);
    std::unique_ptr<LookupReport> report;
    if (observer != nullptr)
      report.reset(new (std::nothrow) LookupReport(*observer, lookup, outLen));
    RawFile file;
    state->unreadable = false;
    if (!file.Open(kDictionaryFile)) {
      state->unreadable = errno != ENOENT;
    } else {
      switch (state->index.Refresh(file)) {
        case DictionaryIndex::Indexed:
          found = state->LookupIndexed(file, lookup, report.get(), out, outLen, &drawn);
          break;
        case DictionaryIndex::NeedsWholeText:
          found = state->LookupWholeText(lookup, report.get(), out, outLen, &drawn);
          break;
        case DictionaryIndex::Unreadable:
          state->unreadable = true;
          break;
      }
    }
  }
  if (!found) drawn = Drawn{};
  if (observer != nullptr) observer->LookupEnded(drawn.poolSize, drawn.index);
  return found;
}

bool Dictionary::LookupOrSeed(const char* key, const char* defaultAnswer, MatchMode mode, char* out,
                              uint32_t outLen, LookupObserver* observer) {
  if (LookupAnswer(key, mode, out, outLen, observer)) return true;
  // A file that exists but cannot be read would get the default again at every start.
  if (state == nullptr || state->unreadable) return false;
  AppendEntry(key, defaultAnswer);
  return LookupAnswer(key, mode, out, outLen, observer);
}

size_t Dictionary::MemoryBytes() const {
  return state == nullptr ? 0 : state->index.MemoryBytes() + state->cache.MemoryBytes();
}

const char* ExtractTagText(const char* from, const char* tagName, const char* end, char* out,
                           uint32_t outLen) {
  if (from == nullptr || tagName == nullptr || end == nullptr || out == nullptr || from > end) {
    return nullptr;
  }
  ElementView element{};
  if (!FindElement(from, tagName, end, &element)) return nullptr;
  const auto bytes = static_cast<size_t>(element.close - element.text);
  CopyBounded(out, element.text, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
  return element.after;
}

bool LookupAnswerInText(const char* text, size_t length, const char* subject, MatchMode mode,
                        char* out, uint32_t outLen) {
  if (text == nullptr || subject == nullptr || out == nullptr) return false;
  if (mode != ExactKey && mode != PatternKey) return false;  // no key matches
  const Subject lookup{subject, std::strlen(subject), mode, {}};
  AnswerTable answers;
  ScanText(
      text, length,
      [&](const char* key, size_t keyLength) {
        return mode == ExactKey ? ExactMatches(lookup, key, keyLength)
                                : CompiledMatches(lookup, key, keyLength);
      },
      [](const char*, const char*, size_t) {}, answers);
  if (!answers.Found()) return false;
  const int32_t chosen = RandomInt(0, answers.count - 1);
  CopyAnswer(text, length, answers.starts[chosen], out, outLen);
  return true;
}

bool AppendEntry(const char* key, const char* answer, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  if (key == nullptr || answer == nullptr) return false;
  // No escaping exists, so a text holding a tag would shift every element after it, and a byte
  // 0x1A would end the readable text there: every later entry would be lost to every lookup.
  const char kTextEnd[] = {0x1A, '\0'};
  for (const char* tag :
       {kKeyCloseTag.data(), kKeyOpenTag.data(), kAnswerOpenTag.data(), kTextEnd}) {
    if (std::strstr(key, tag) != nullptr) return false;
  }
  for (const char* tag :
       {kAnswerCloseTag.data(), kKeyOpenTag.data(), kAnswerOpenTag.data(), kTextEnd}) {
    if (std::strstr(answer, tag) != nullptr) return false;
  }
  const size_t keyLength = std::strlen(key);
  const size_t answerLength = std::strlen(answer);
  // "<KEY>" key "</KEY>\n" "<ANS>" answer "</ANS>\n": both lines in one write.
  const size_t length = kExactKeyTag.size() + keyLength + kKeyCloseTag.size() + 1 +
                        kAnswerOpenTag.size() + answerLength + kAnswerCloseTag.size() + 1;
  std::unique_ptr<char[]> entry(new (std::nothrow) char[length]);
  if (entry == nullptr) {
    *error = ENOMEM;
    return false;
  }
  char* at = entry.get();
  for (const std::string_view piece :
       {kExactKeyTag, std::string_view(key, keyLength), kKeyCloseTag, std::string_view("\n"),
        kAnswerOpenTag, std::string_view(answer, answerLength), kAnswerCloseTag,
        std::string_view("\n")}) {
    std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  if (AppendTextFile(kDictionaryFile, entry.get(), length)) return true;
  *error = errno != 0 ? errno : EIO;
  return false;
}

}  // namespace mimoza
