// knowledge/dictionary_index.h: Dictionary.txt's bytes -> where its elements are: every key
// element with its text, every answer tag; kept from one lookup to the next and brought up to
// date by reading the whole file each time.
// A hash of every block of the file tells what changed since the last reading: nothing (the
// common case: the index is used as it is), an append (only the tail is scanned again) or an
// edit (everything from the first changed block on is scanned again). Positions are byte
// offsets in the file as stored; tags never contain CR or LF, so they stand in the same order,
// and next to the same bytes, as in the text with its line ends folded.
// The tags come from the one reader of the file (knowledge/dictionary_format.h); the index is
// the ElementSink that keeps them, and the tables the lookups' walk (WalkEntries) runs over.
// Leaves this file: IndexedKey, DictionaryIndex. Private to mimoza_knowledge.
// Tested by tests/knowledge/dictionary_test.cpp (against the reference lookup over the whole
// text) and fuzz/dictionary_fuzz.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "knowledge/chunked_array.h"
#include "knowledge/dictionary_format.h"
#include "knowledge/facts_cache.h"
#include "knowledge/key_matcher.h"
#include "knowledge/text_file.h"

namespace mimoza {

inline constexpr uint32_t kNoPosition = UINT32_MAX;

// One key tag in the file, and the element it opens (see knowledge/dictionary_format.h). Kept
// small: a dictionary has many.
struct IndexedKey {
  uint32_t open;    // offset of its opening tag
  uint32_t close;   // offset of its closing tag; kNoPosition: the element never completes
  uint32_t text;    // its cache entry (KeyFacts), else its pool offset (KeyPlain, KeyCompiled:
                    // compiled each time, its facts could not be had) or, while the
                    // text has not been taken, TextPool::kNone
  uint16_t length;  // the key text's length: folded, cut to a line's bytes and at a NUL
  KeyForm kind;     // how it is tested
  bool exact;       // the opening tag is exact: only such a tag ends a key's answers
};

class DictionaryIndex final : public ElementSink {
 public:
  // Files are read and hashed in blocks of this size: large enough that reading costs little
  // beyond copying, small enough to stay in the processor's cache while it is scanned.
  static constexpr size_t kDefaultBlockBytes = size_t{64} << 10;

  enum RefreshResult : int8_t {
    Indexed,         // the index describes the file
    NeedsWholeText,  // the file is one the index does not describe (a 0x1A byte, a very long
                     // file, texts that would take too much memory): read it whole instead
    Unreadable,      // reading failed
    Stopped,         // the stop flag was seen set: the index describes the file as it was, or
                     // nothing (the next refresh scans it whole)
  };

  explicit DictionaryIndex(FactsCache& cache, size_t blockBytes = kDefaultBlockBytes);
  DictionaryIndex(const DictionaryIndex&) = delete;
  DictionaryIndex& operator=(const DictionaryIndex&) = delete;
  ~DictionaryIndex();

  // Refresh: reads the whole open file and brings the index up to its bytes; it looks at stop
  // (when given) after every block.
  RefreshResult Refresh(RawFile& file, const std::atomic<bool>* stop = nullptr);
  // Clear: forgets everything (the next Refresh scans the whole file).
  void Clear();

  uint64_t Length() const { return length; }
  const IndexedKey& Key(size_t k) const { return keys[k]; }  // in file order
  // KeyText: the key's text (not NUL-terminated).
  const char* KeyText(const IndexedKey& key) const;
  // MemoryBytes: what the index holds, its pool and position tables.
  size_t MemoryBytes() const;

  // What WalkEntries asks of its tables.
  size_t KeyCount() const { return keys.Size(); }
  uint64_t KeyOpen(size_t k) const { return keys[k].open; }
  uint64_t KeyClose(size_t k) const {
    return keys[k].close == kNoPosition ? kNoTag : uint64_t{keys[k].close};
  }
  size_t FirstKeyAtOrAfter(uint64_t offset) const;
  bool ExactKeyBetween(uint64_t from, uint64_t to) const;
  uint64_t AnswerOpenAtOrAfter(uint64_t offset) const { return AtOrAfter(answerOpens, offset); }
  uint64_t AnswerCloseAtOrAfter(uint64_t offset) const { return AtOrAfter(answerCloses, offset); }

  // ElementSink: what the reader tells while the index scans the file.
  bool Tag(DictionaryTag tag, uint64_t offset, bool exact) override;
  bool KeyText(uint64_t key, uint64_t textStart, const char* text, size_t length) override;
  void KeyClosed(uint64_t key, uint64_t close) override;

 private:
  static uint64_t AtOrAfter(const ChunkedArray<uint32_t>& positions, uint64_t offset);
  static constexpr uint64_t kNoChange = UINT64_MAX;

  RefreshResult HashAll(RawFile& file, uint64_t* changedBlock, const std::atomic<bool>* stop);
  uint64_t RestartOffset(uint64_t cut) const;
  void TruncateFrom(uint64_t offset);
  RefreshResult ScanFrom(RawFile& file, uint64_t from, bool hashToo, const std::atomic<bool>* stop);
  size_t PoolLimit() const;

  FactsCache& cache;
  size_t blockBytes;
  uint64_t seed;
  uint64_t length = 0;
  std::vector<uint64_t> blockHashes;  // of each block of the file as last read
  std::vector<uint64_t> newHashes;
  ChunkedArray<IndexedKey> keys;        // in file order
  ChunkedArray<uint32_t> answerOpens;   // every answer's opening tag
  ChunkedArray<uint32_t> answerCloses;  // every answer's closing tag
  size_t firstScanned = 0;              // keys before this one were there before the scan under way
  TextPool pool;                        // texts of the keys without a cache entry
  std::vector<char> block;
  bool valid = false;  // the index describes the file as last read
};

}  // namespace mimoza
