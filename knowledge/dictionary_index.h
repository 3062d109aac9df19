// knowledge/dictionary_index.h: Dictionary.txt's bytes -> where its elements are: every key
// element with its text, every answer tag; kept from one lookup to the next and brought up to
// date by reading the whole file each time.
// A hash of every block of the file tells what changed since the last reading: nothing (the
// common case: the index is used as it is), an append (only the tail is scanned again) or an
// edit (everything from the first changed block on is scanned again). Positions are byte
// offsets in the file as stored; tags never contain CR or LF, so they stand in the same order,
// and next to the same bytes, as in the text with its line ends folded.
// Leaves this file: KeyElement, DictionaryIndex. Private to mimoza_knowledge.
// Tested by tests/knowledge/dictionary_test.cpp (against the reference lookup over the whole
// text) and fuzz/dictionary_fuzz.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "knowledge/chunked_array.h"
#include "knowledge/facts_cache.h"
#include "knowledge/text_file.h"

namespace mimoza {

inline constexpr uint32_t kNoPosition = UINT32_MAX;

// How a key's text is kept and tested.
enum KeyTextKind : uint8_t {
  KeyTextPlain,     // in the pool; plain text: the key matches where its bytes occur
  KeyTextCached,    // a pattern: text is its facts cache entry, whose facts hold the text
  KeyTextUncached,  // a pattern whose facts could not be had: in the pool, compiled each time
};

// One "<KEY" in the file, and the element it opens: "<KEY", any bytes up to the first ">", the
// key text, and the first "</KEY>" after that ">". Kept small: a dictionary has many.
struct KeyElement {
  uint32_t open;    // offset of "<KEY"
  uint32_t close;   // offset of its "</KEY>"; kNoPosition: the element never completes
  uint32_t text;    // its cache entry (KeyTextCached), else its pool offset or, while the
                    // text has not been taken, TextPool::kNone
  uint16_t length;  // the key text's length: folded, cut to a line's bytes and at a NUL
  KeyTextKind kind;
  bool exact;  // the tag is exactly "<KEY>": only such a tag ends a key's answers
};

class DictionaryIndex {
 public:
  // Files are read and hashed in blocks of this size: large enough that reading costs little
  // beyond copying, small enough to stay in the processor's cache while it is scanned.
  static constexpr size_t kDefaultBlockBytes = size_t{64} << 10;

  enum RefreshResult : int8_t {
    Indexed,         // the index describes the file
    NeedsWholeText,  // the file is one the index does not describe (a 0x1A byte, a very long
                     // file, texts that would take too much memory): read it whole instead
    Unreadable,      // reading failed
  };

  explicit DictionaryIndex(FactsCache& cache, size_t blockBytes = kDefaultBlockBytes);
  DictionaryIndex(const DictionaryIndex&) = delete;
  DictionaryIndex& operator=(const DictionaryIndex&) = delete;
  ~DictionaryIndex();

  // Refresh: reads the whole open file and brings the index up to its bytes.
  RefreshResult Refresh(RawFile& file);
  // Clear: forgets everything (the next Refresh scans the whole file).
  void Clear();

  uint64_t Length() const { return length; }
  const ChunkedArray<KeyElement>& Keys() const { return keys; }                // in file order
  const ChunkedArray<uint32_t>& AnswerOpens() const { return answerOpens; }    // "<ANS>"
  const ChunkedArray<uint32_t>& AnswerCloses() const { return answerCloses; }  // "</ANS>"
  // KeyText: the key's text (not NUL-terminated).
  const char* KeyText(const KeyElement& key) const;
  // MemoryBytes: what the index holds, its pool and position tables.
  size_t MemoryBytes() const;

 private:
  class Scanner;
  static constexpr uint64_t kNoChange = UINT64_MAX;

  RefreshResult HashAll(RawFile& file, uint64_t* changedBlock);
  uint64_t RestartOffset(uint64_t cut) const;
  void TruncateFrom(uint64_t offset);
  RefreshResult ScanFrom(RawFile& file, uint64_t from, bool hashToo);
  size_t PoolLimit() const;

  FactsCache& cache;
  size_t blockBytes;
  uint64_t seed;
  uint64_t length = 0;
  std::vector<uint64_t> blockHashes;  // of each block of the file as last read
  std::vector<uint64_t> newHashes;
  ChunkedArray<KeyElement> keys;  // in file order
  ChunkedArray<uint32_t> answerOpens;
  ChunkedArray<uint32_t> answerCloses;
  TextPool pool;  // texts of the keys without a cache entry
  std::vector<char> block;
  bool valid = false;  // the index describes the file as last read
};

}  // namespace mimoza
