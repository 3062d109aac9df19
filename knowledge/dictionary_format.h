// knowledge/dictionary_format.h: Dictionary.txt's bytes -> its elements with their offsets (the
// one reader), the walk every lookup makes over them, and the places of offsets in the file.
// The writer, AppendEntry, is declared in knowledge/knowledge.h and lives beside the reader.
// Leaves this file: DictionaryTag, kTagTexts, TagText, kLongestTagBytes, kNoTag, ElementSink,
// DictionaryReader, KeyTextLength, AnswerTextLength, kNoOffset, KeyElement, AnswerElement,
// DictionaryElements, EntryWalk, AnswerStep, StepAfterClose, FirstKeyFrom, WalkEntries,
// StoredText, TextPlace, StoredExtent, LineCounter. Private to mimoza_knowledge (and its tests,
// fuzz targets and benchmarks). Tested by tests/knowledge/dictionary_format_test.cpp (the elements
// of the format's odd cases), tests/knowledge/dictionary_test.cpp (every lookup, the index against
// the reference) and tests/knowledge/dictionary_check_test.cpp.
//
// The format: a key element is "<KEY", any bytes up to the first ">" after them, the key text,
// and the first "</KEY>" after that ">"; an answer element is "<ANS>", its text, and the first
// "</ANS>" after it (or none: the text runs to the end). Lines mean nothing; bytes between
// elements are ignored. A lookup finds the first key element from its scan position, tests the
// key and, when it matches, walks its answers: each from the next "<ANS>"; only an exact "<KEY>"
// between an answer's "</ANS>" and the following "<ANS>" ends them (the scan then resumes at that
// "</ANS>"), and the next "<ANS>" is looked for from the first byte of the current answer's text,
// so an "<ANS>" inside an answer starts another. A key with no answer before the next key thus
// collects the answers that follow it: files edited by hand may rely on that. An unmatched key's
// scan resumes after its "</KEY>". A key element that never completes, an answer that never
// closes, or a walk that finds no further "<ANS>" ends what is read.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mimoza {

// ---- Tags -----------------------------------------------------------------------------------
// The tags of Dictionary.txt, by kind; also indexes into kTagTexts: keep both in this order.
enum DictionaryTag : int8_t {
  TagKeyOpen = 0,  // "<KEY" and any bytes up to the first ">"; the system writes "<KEY>"
  TagKeyClose,     // "</KEY>"
  TagAnswerOpen,   // "<ANS>"
  TagAnswerClose,  // "</ANS>"
  TagCount
};

// Each tag as the system writes it (so the key's opening tag with its ">").
inline constexpr std::string_view kTagTexts[] = {"<KEY>", "</KEY>", "<ANS>", "</ANS>"};
static_assert(sizeof(kTagTexts) / sizeof(kTagTexts[0]) == TagCount);

// TagText: a tag as the system writes it, for messages and lengths.
constexpr std::string_view TagText(DictionaryTag tag) { return kTagTexts[tag]; }

// The bytes after a "<" that decide which tag it starts, if any ("<KEY" needs one more to tell
// an exact "<KEY>"): a reader restarting at an offset goes back this far, so that it reads again
// a tag the offset may cut.
inline constexpr size_t kLongestTagBytes = 6;
static_assert(kLongestTagBytes == std::max({kTagTexts[0].size(), kTagTexts[1].size(),
                                            kTagTexts[2].size(), kTagTexts[3].size()}));

// No tag: where a search for a tag finds none (offsets of a file as uint64_t).
inline constexpr uint64_t kNoTag = UINT64_MAX;

// ---- The reader -----------------------------------------------------------------------------
// ElementSink: told what a DictionaryReader finds, in file order. Offsets are those of the bytes
// fed (a file as stored, or a text as read); keys are numbered from 0 in the order of their
// "<KEY" tags, counted from where the reader started.
class ElementSink {
 public:
  // Tag: a tag at offset; exact: a key's opening tag is exactly "<KEY>" (only such a tag ends
  // the answers of the key before it). False stops the reading (memory ran out).
  virtual bool Tag(DictionaryTag tag, uint64_t offset, bool exact) = 0;
  // KeyText: key number key opens an element whose text starts at textStart. With texts wanted,
  // text[0, length) is the key text as a lookup reads it (folded, cut to kMaxKeyBytes and at a
  // NUL), told once the bytes that can matter are in; without, text is null, told as soon as the
  // text's start is known. False stops the reading.
  virtual bool KeyText(uint64_t key, uint64_t textStart, const char* text, size_t length) = 0;
  // KeyClosed: key number key's element closes with the "</KEY>" at close. A key never told so
  // never completes.
  virtual void KeyClosed(uint64_t key, uint64_t close) = 0;

 protected:
  ~ElementSink() = default;
};

// DictionaryReader: the bytes of a dictionary, fed in order in blocks of any size, -> what an
// ElementSink is told. It keeps only the bytes it still needs: those of a tag cut by a block's
// end and, when texts are wanted, those of key texts not yet complete.
class DictionaryReader {
 public:
  // from: the offset of the first byte fed. texts: tell each key's text (the stored bytes are
  // folded as a lookup reads them), not only where it starts.
  DictionaryReader(ElementSink& sink, uint64_t from, bool texts);

  // Room: where the next count bytes go (read the file straight into it); null when memory runs
  // out.
  char* Room(size_t count);
  // Feed: the count bytes just put into Room; atEnd: no more will come. False when the sink
  // stopped the reading or memory ran out.
  bool Feed(size_t count, bool atEnd);

  // ReadWhole: a whole text in memory, read in place.
  static bool ReadWhole(const char* text, size_t length, ElementSink& sink, bool texts);

 private:
  struct Pending {
    uint64_t key;   // its number
    uint64_t gt;    // its ">", or kNoTag while none has been read
    bool textDone;  // its text was told; only its "</KEY>" is awaited
  };

  bool Scan(const char* bytes, uint64_t start, size_t count, bool atEnd, uint64_t* keep);
  bool ReadTag(const char* bytes, uint64_t start, size_t count, uint64_t at);
  bool TellText(Pending& pending, const char* bytes, uint64_t start, uint64_t end);

  ElementSink& sink;
  bool texts;
  std::vector<char> window;  // bytes [windowStart, windowStart + held) still needed
  size_t held = 0;
  uint64_t windowStart;
  uint64_t next;                 // where the search for the next "<" goes on
  uint64_t gtSearched = 0;       // pending keys without ">" have none before this
  uint64_t keys = 0;             // "<KEY" tags found
  std::vector<Pending> pending;  // keys not yet closed, in file order
};

// KeyTextLength: the bytes of a key text a lookup reads from text[0, length) (already folded):
// at most kMaxKeyBytes, and up to a NUL.
size_t KeyTextLength(const char* text, size_t length);

// AnswerTextLength: the bytes of the answer text that starts at text[start] of a folded text of
// length bytes: up to its "</ANS>", or to the end when none follows.
size_t AnswerTextLength(const char* text, size_t length, size_t start);

// ---- The elements of a whole text -------------------------------------------------------------
// No offset: a tag that is not there, a key that never completes.
inline constexpr size_t kNoOffset = SIZE_MAX;

// One "<KEY" and the element it opens.
struct KeyElement {
  size_t open;   // "<KEY"
  size_t text;   // just after the first ">" after it; kNoOffset: there is none
  size_t close;  // the first "</KEY>" after that; kNoOffset: the element never completes
  bool exact;    // the tag is exactly "<KEY>"
};

// One "<ANS>" and the element it opens.
struct AnswerElement {
  size_t open;   // "<ANS>"
  size_t text;   // just after it
  size_t close;  // the first "</ANS>" after its text; kNoOffset: it runs to the end
};

// What a lookup's answer walk does after an answer.
enum AnswerStep : int8_t {
  StepNextAnswer = 0,  // it takes the next "<ANS>" (looked for from this answer's text on)
  StepNextKey,         // an exact "<KEY>" follows: the key's answers are complete
  StepEnd,             // no "</ANS>", or no "<ANS>" after it: nothing further is read
};

// The answers a lookup collects for a key of the chain when the key matches.
struct EntryWalk {
  size_t key;     // index in Keys()
  size_t begin;   // the first answer (index in Answers()) it collects
  size_t end;     // one past the last; begin == end: none
  size_t ownEnd;  // one past the last that stands before the next key of the chain
};

// DictionaryElements: every tag of a text in memory, its key and answer elements, and the walks
// of the keys a lookup finds: the tables the checker, the reference lookup and every tool that
// reads a dictionary whole work on. Offsets are those of the text given (a folded text: map them
// back with StoredText).
class DictionaryElements final : public ElementSink {
 public:
  // Read: the tables of text[0, length) (kept by the caller while this is used). False when
  // memory ran out.
  bool Read(const char* text, size_t length);
  // Walk: after Read, the chain and the walks below. False when memory ran out.
  bool Walk();

  const std::vector<KeyElement>& Keys() const { return keys; }           // every "<KEY", in order
  const std::vector<AnswerElement>& Answers() const { return answers; }  // every "<ANS>"
  // TagAtOrAfter: the offset of the first tag of a kind at or after offset, or kNoOffset.
  size_t TagAtOrAfter(DictionaryTag tag, size_t offset) const {
    const size_t i = FirstAtOrAfter(tag, offset);
    return i < tags[tag].size() ? tags[tag][i] : kNoOffset;
  }
  // KeyText: the key text as a lookup reads it (see KeyTextLength).
  std::string_view KeyText(const KeyElement& key) const;
  // AnswerText: the answer text as a draw copies it before its limit.
  std::string_view AnswerText(const AnswerElement& answer) const;
  // ElementEnd: just after an element's closing tag (or the end of the text).
  size_t ElementEnd(const KeyElement& key) const;
  size_t ElementEnd(const AnswerElement& answer) const;

  // The chain: the key elements a lookup finds when no key matches, each from the end of the
  // one before, as indexes in Keys(); NeverRead: the "<KEY" (offset) of the first element the
  // chain reaches that never completes, after which nothing is read, or kNoOffset.
  const std::vector<size_t>& Chain() const { return chain; }
  size_t NeverRead() const { return neverRead; }
  // Walks: for each key of the chain, the answers it collects when it matches.
  const std::vector<EntryWalk>& Walks() const { return walks; }
  // StepAfter: what the walk does after answer i.
  AnswerStep StepAfter(size_t i) const { return steps[i]; }
  // Collected: whether some key's walk collects answer i.
  bool Collected(size_t i) const { return collected[i]; }
  // OwnerOf: the walk (index in Walks()) of the entry answer i stands in: the last key of the
  // chain whose element ends before its "<ANS>"; kNoOffset when there is none.
  size_t OwnerOf(size_t answer) const;
  // PoolingWalks: the walks (indexes in Walks()) that collect answer i: its owner's, and before
  // it those of keys without answers of their own whose walks run on into this entry.
  std::vector<size_t> PoolingWalks(size_t answer) const;

  // What WalkEntries asks of its tables.
  size_t KeyCount() const { return keys.size(); }
  uint64_t KeyOpen(size_t k) const { return keys[k].open; }
  uint64_t KeyClose(size_t k) const { return keys[k].close == kNoOffset ? kNoTag : keys[k].close; }
  size_t FirstKeyAtOrAfter(uint64_t offset) const { return FirstAtOrAfter(TagKeyOpen, offset); }
  bool ExactKeyBetween(uint64_t from, uint64_t to) const;
  uint64_t AnswerOpenAtOrAfter(uint64_t offset) const { return Position(TagAnswerOpen, offset); }
  uint64_t AnswerCloseAtOrAfter(uint64_t offset) const { return Position(TagAnswerClose, offset); }

  // ElementSink: what the reader tells.
  bool Tag(DictionaryTag tag, uint64_t offset, bool exact) override;
  bool KeyText(uint64_t key, uint64_t textStart, const char* text, size_t length) override;
  void KeyClosed(uint64_t key, uint64_t close) override;

 private:
  size_t FirstAtOrAfter(DictionaryTag tag, uint64_t offset) const {
    const std::vector<size_t>& positions = tags[tag];
    return static_cast<size_t>(std::lower_bound(positions.begin(), positions.end(), offset) -
                               positions.begin());
  }
  uint64_t Position(DictionaryTag tag, uint64_t offset) const {
    const size_t at = TagAtOrAfter(tag, static_cast<size_t>(offset));
    return at == kNoOffset ? kNoTag : at;
  }
  void WalkChain();

  const char* t = nullptr;
  size_t n = 0;
  std::array<std::vector<size_t>, TagCount> tags;  // every tag's offset, by kind
  std::vector<KeyElement> keys;                    // one per key tag
  std::vector<AnswerElement> answers;              // one per answer tag
  std::vector<size_t> chain;
  size_t neverRead = kNoOffset;
  std::vector<EntryWalk> walks;
  std::vector<AnswerStep> steps;  // per answer
  std::vector<bool> collected;    // per answer
};

// ---- The walk every lookup makes ------------------------------------------------------------
// WalkEntries and StepAfterClose take any tables that answer these (the index's, or a
// DictionaryElements'), offsets as uint64_t and kNoTag for none:
//   size_t KeyCount(); uint64_t KeyOpen(k), KeyClose(k); uint64_t AnswerOpenAtOrAfter(offset),
//   AnswerCloseAtOrAfter(offset); bool ExactKeyBetween(from, to): an exact "<KEY>" opens in
//   [from, to), where to is an "<ANS>" (so the "<KEY>" also ends before it: it holds no "<"
//   after its first byte).
// StepAfterClose: what the walk does after an answer whose "</ANS>" is at close (kNoTag: none).
template <typename Tables>
AnswerStep StepAfterClose(const Tables& tables, uint64_t close) {
  if (close == kNoTag) return StepEnd;
  const uint64_t nextOpen = tables.AnswerOpenAtOrAfter(close);
  if (nextOpen == kNoTag) return StepEnd;
  return tables.ExactKeyBetween(close, nextOpen) ? StepNextKey : StepNextAnswer;
}

// FirstKeyFrom: the key element a scan from offset scan finds, looking from key k on (keys
// before k open before scan): its index, or KeyCount().
template <typename Tables>
size_t FirstKeyFrom(const Tables& tables, size_t k, uint64_t scan) {
  while (k < tables.KeyCount() && tables.KeyOpen(k) < scan) ++k;
  return k;
}

// WalkEntries: the key scan and answer walk of a lookup over the tables of a text of length
// bytes: keyMatches(k) tests key k, matched(k) hears of it before its answers; answers takes
// them: bool Full() (no more are taken: the scan stops), bool Add(start) (an answer whose text
// starts at start; false: the table is full, and the walk ends).
template <typename Tables, typename Answers, typename KeyMatches, typename Matched>
void WalkEntries(const Tables& tables, uint64_t length, Answers& answers, KeyMatches keyMatches,
                 Matched matched) {
  const uint64_t keyCloseBytes = TagText(TagKeyClose).size();
  const uint64_t answerOpenBytes = TagText(TagAnswerOpen).size();
  size_t k = 0;  // the scan position only moves forward, and so does the key it finds
  uint64_t scan = 0;
  while (scan < length && !answers.Full()) {
    k = FirstKeyFrom(tables, k, scan);
    if (k == tables.KeyCount() || tables.KeyClose(k) == kNoTag) return;
    scan = tables.KeyClose(k) + keyCloseBytes;
    if (!keyMatches(k)) continue;
    matched(k);
    if (scan >= length) return;
    for (uint64_t walk = scan;;) {
      const uint64_t open = tables.AnswerOpenAtOrAfter(walk);
      if (open == kNoTag) return;
      const uint64_t start = open + answerOpenBytes;
      const uint64_t close = tables.AnswerCloseAtOrAfter(start);
      const AnswerStep step = StepAfterClose(tables, close);
      if (!answers.Add(start) || step == StepEnd) return;
      if (step == StepNextKey) {
        scan = close;
        break;
      }
      walk = start;
    }
  }
}

// ---- Places in the file -----------------------------------------------------------------------
// Where an offset of the file as stored stands: 1-based line (counting LFs) and 1-based column
// in code page 932 characters.
struct TextPlace {
  uint32_t line;
  uint32_t column;
};

// Stored bytes [begin, end).
struct StoredExtent {
  size_t begin;
  size_t end;
};

// StoredText: a file's bytes as stored and as every read sees them (folded), the way back from a
// folded offset to the stored one, and the stored file's lines and columns.
class StoredText {
 public:
  // firstLine: the line the bytes start on (1, unless they are a piece of a larger file).
  explicit StoredText(const std::string& stored, uint32_t firstLine = 1);

  const char* Text() const { return folded.data(); }
  size_t Length() const { return folded.size(); }
  std::string_view Folded(size_t begin, size_t end) const {
    return std::string_view(folded).substr(begin, end - begin);
  }
  const std::string& Raw() const { return raw; }
  // Stored: the stored offset of the folded byte at (of the end for Length()).
  size_t Stored(size_t at) const;
  // LineOf: the 1-based line of a stored offset (a line feed belongs to the line it ends).
  uint32_t LineOf(size_t stored) const;
  uint32_t FoldedLine(size_t at) const { return LineOf(Stored(at)); }
  // LineStart: the stored offset where a line (1-based, from firstLine) begins.
  size_t LineStart(uint32_t line) const {
    return line <= first ? 0 : lineFeeds[line - first - 1] + 1;
  }
  // Place: the line and column of a stored offset (the end at most). Quickest when asked in
  // increasing order, as a sweep over a file's diagnostics asks.
  TextPlace Place(size_t stored) const;
  // ExtentWithLine: the stored extent of an element that spans the folded bytes [begin, end):
  // its whole line, line end included, when nothing else stands on that line; else the
  // element's own bytes.
  StoredExtent ExtentWithLine(size_t begin, size_t end) const;

 private:
  const std::string& raw;
  uint32_t first;  // the line of the first byte
  std::string folded;
  std::vector<size_t> dropped;      // the folded offset each dropped byte stood before, ascending
  std::vector<size_t> lineFeeds;    // stored offset of every LF
  mutable TextPlace last = {0, 1};  // the place Place found last, at stored offset lastAt
  mutable size_t lastAt = 0;
};

// LineCounter: the line of each offset asked for, in increasing order, counting the LFs before it
// once: in a text in memory (whose folding kept every LF), or in a file as stored, read in blocks
// as far as the last offset asked for. For lookups that read a file in blocks and tell an
// observer each matched key's line.
class RawFile;
class LineCounter {
 public:
  explicit LineCounter(const char* theText) : text(theText) {}
  explicit LineCounter(RawFile& theFile) : file(&theFile) {}
  LineCounter(const LineCounter&) = delete;
  LineCounter& operator=(const LineCounter&) = delete;
  ~LineCounter();

  // LineAt: the 1-based line of offset; 0 when the file cannot be read that far.
  uint64_t LineAt(uint64_t offset);

 private:
  const char* text = nullptr;
  RawFile* file = nullptr;
  char* block = nullptr;
  uint64_t at = 0;    // LFs before this offset are counted
  uint64_t line = 1;  // the line at offset at
};

}  // namespace mimoza
