// knowledge/dictionary.cpp: Dictionary.txt + subject -> one pooled answer; entries -> the file.
// Leaves this file: Dictionary, LookupAnswerInText, ExtractTagText, AppendEntry. The key scan
// and answer walk, over the whole text (the reference) and over the index, are private.
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

constexpr char kDictionaryFile[] = "Dictionary.txt";

// Tag names are short ASCII words ("KEY"); a longer name finds no element.
constexpr size_t kMaxTagNameLength = 16;

// One element in the text: its text runs from text to close, and the scan goes on at after.
struct ElementView {
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
  *element = ElementView{gt + 1, close, close + nameLength + 3};
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
// kMaxKeyBytes and at a NUL) tested by keyMatches(key, keyLength).
template <typename KeyMatches>
void ScanText(const char* text, size_t length, KeyMatches keyMatches, AnswerTable& answers) {
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

// CopyFolded: out gets the first outLen bytes of the folded text of stored[0, count) (a NUL
// ending it early), the rest of its first outLen bytes zero, and a NUL.
void CopyFolded(char* stored, size_t count, char* out, uint32_t outLen) {
  const size_t length = FoldTextLineEnds(stored, count);
  std::memset(out, 0, outLen);
  CopyBounded(out, stored, length < outLen ? static_cast<uint32_t>(length) : outLen);
}

// FirstAtOrAfter: the first position in a sorted table at or after offset, or kNoPosition.
uint32_t FirstAtOrAfter(const ChunkedArray<uint32_t>& positions, uint64_t offset) {
  const size_t at = positions.FirstNotBelow(offset, [](uint32_t p, uint64_t o) { return p < o; });
  return at == positions.Size() ? kNoPosition : positions[at];
}

bool OpensBefore(const KeyElement& key, uint64_t offset) { return key.open < offset; }

}  // namespace

// Everything a Dictionary keeps between lookups.
struct Dictionary::State {
  explicit State(size_t blockBytes) : index(cache, blockBytes) {}

  bool KeyMatches(Subject& subject, const KeyElement& key);
  bool LookupIndexed(RawFile& file, Subject& subject, char* out, uint32_t outLen);
  bool LookupWholeText(Subject& subject, char* out, uint32_t outLen);

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

// LookupIndexed: the key scan and the answer walk over the index's tables (the same steps as
// ScanText), then the drawn answer read from the file.
bool Dictionary::State::LookupIndexed(RawFile& file, Subject& subject, char* out, uint32_t outLen) {
  const ChunkedArray<KeyElement>& keys = index.Keys();
  const ChunkedArray<uint32_t>& opens = index.AnswerOpens();
  const ChunkedArray<uint32_t>& closes = index.AnswerCloses();
  const uint64_t length = index.Length();
  AnswerTable answers;
  size_t k = 0;  // the scan position only moves forward, and so does the key it finds
  uint64_t scan = 0;
  while (scan < length && !answers.Full()) {
    while (k < keys.Size() && keys[k].open < scan) ++k;
    if (k == keys.Size() || keys[k].close == kNoPosition) break;
    const KeyElement& key = keys[k];
    scan = key.close + kKeyCloseTag.size();
    if (!KeyMatches(subject, key)) continue;
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
  if (!answers.Found()) return false;
  const int32_t chosen = RandomInt(0, answers.count - 1);
  const uint64_t start = answers.starts[chosen];
  const uint32_t close = FirstAtOrAfter(closes, start);
  const uint64_t end = close == kNoPosition ? length : close;
  // Folding takes at most two stored bytes to one: this many give the first outLen text bytes.
  const uint64_t want = std::min<uint64_t>(end - start, 2 * uint64_t{outLen} + 2);
  std::unique_ptr<char[]> stored(new (std::nothrow) char[static_cast<size_t>(want) + 1]);
  if (stored == nullptr) return false;
  const int64_t got = file.ReadAt(start, stored.get(), static_cast<size_t>(want));
  if (got < 0) return false;
  CopyFolded(stored.get(), static_cast<size_t>(got), out, outLen);
  return true;
}

// LookupWholeText: for a file the index cannot describe: read whole, the same scan over it,
// each key still tested with the facts kept in the cache.
bool Dictionary::State::LookupWholeText(Subject& subject, char* out, uint32_t outLen) {
  TextBuffer text;
  if (!ReadTextFile(kDictionaryFile, &text)) return false;
  AnswerTable answers;
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
      answers);
  if (!answers.Found()) return false;
  const int32_t chosen = RandomInt(0, answers.count - 1);
  char* start = text.bytes + answers.starts[chosen];
  const char* end = text.bytes + text.length;
  const char* close = FindBytes(start, kAnswerCloseTag.data(), kAnswerCloseTag.size(), end);
  // The text is already folded: copy it as it is.
  const auto bytes = static_cast<size_t>((close != nullptr ? close : end) - start);
  std::memset(out, 0, outLen);
  CopyBounded(out, start, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
  return true;
}

Dictionary::Dictionary(size_t blockBytes) : state(new (std::nothrow) State(blockBytes)) {}

Dictionary::~Dictionary() = default;

bool Dictionary::LookupAnswer(const char* subject, MatchMode mode, char* out, uint32_t outLen) {
  if (subject == nullptr || out == nullptr) return false;
  if (mode != ExactKey && mode != PatternKey) return false;  // no key matches
  if (state == nullptr) return false;
  Subject lookup{subject, std::strlen(subject), mode, {}};
  if (mode == PatternKey) IndexSubject(subject, &lookup.index);
  RawFile file;
  state->unreadable = false;
  if (!file.Open(kDictionaryFile)) {
    state->unreadable = errno != ENOENT;
    return false;
  }
  switch (state->index.Refresh(file)) {
    case DictionaryIndex::Indexed:
      return state->LookupIndexed(file, lookup, out, outLen);
    case DictionaryIndex::NeedsWholeText:
      return state->LookupWholeText(lookup, out, outLen);
    case DictionaryIndex::Unreadable:
      break;
  }
  state->unreadable = true;
  return false;
}

bool Dictionary::LookupOrSeed(const char* key, const char* defaultAnswer, MatchMode mode, char* out,
                              uint32_t outLen) {
  if (LookupAnswer(key, mode, out, outLen)) return true;
  // A file that exists but cannot be read would get the default again at every start.
  if (state == nullptr || state->unreadable) return false;
  AppendEntry(key, defaultAnswer);
  return LookupAnswer(key, mode, out, outLen);
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
      answers);
  if (!answers.Found()) return false;
  const int32_t chosen = RandomInt(0, answers.count - 1);
  const char* start = text + answers.starts[chosen];
  const char* end = text + length;
  const char* close = FindBytes(start, kAnswerCloseTag.data(), kAnswerCloseTag.size(), end);
  const auto bytes = static_cast<size_t>((close != nullptr ? close : end) - start);
  std::memset(out, 0, outLen);
  CopyBounded(out, start, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
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
