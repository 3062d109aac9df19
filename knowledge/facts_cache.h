// knowledge/facts_cache.h: dictionary key texts -> their pattern facts and, for the keys the
// facts cannot decide, their compiled pattern; kept from one lookup to the next.
// The same text always gives the same facts, so nothing ever needs invalidating: an edited
// dictionary finds the facts of every unchanged key here. Entries a caller holds (the keys of
// the dictionary as last read) stay; the others are kept up to a bound and dropped least
// recently used first.
// Leaves this file: FactsCache. Private to mimoza_knowledge and its tests.
// Tested by tests/knowledge/dictionary_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "knowledge/chunked_array.h"
#include "pattern/pattern.h"

namespace mimoza {

class FactsCache {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;
  // Entries nobody holds are kept while their memory stays under this: enough for the pattern
  // keys of a few thousand lines edited away, small next to the dictionary itself.
  static constexpr size_t kDefaultSpareBytes = size_t{1} << 20;

  explicit FactsCache(size_t spareBytes = kDefaultSpareBytes);
  FactsCache(const FactsCache&) = delete;
  FactsCache& operator=(const FactsCache&) = delete;
  ~FactsCache();

  // Acquire: the entry of the key text text[0, length) (no NUL inside), its facts computed when
  // it is new, held for the caller until Release. kNone when memory runs out.
  uint32_t Acquire(const char* text, size_t length);
  // Release: the caller no longer holds the entry; it may be dropped once the spare entries
  // pass the bound.
  void Release(uint32_t entry);

  const PatternFacts& Facts(uint32_t entry) const { return entries[entry].facts; }
  // Compiled: the entry's pattern, compiled on first use (null when memory runs out or the
  // pattern passes the size bounds; either way it matches nothing).
  const Pattern* Compiled(uint32_t entry);

  size_t MemoryBytes() const { return heldBytes + spareBytes; }  // entries and their texts
  size_t SpareBytes() const { return spareBytes; }               // of entries nobody holds
  size_t Count() const { return live; }

 private:
  struct Entry {
    PatternFacts facts;      // with the key text as its source
    uint32_t holders = 0;    // callers holding it; 0: spare, in the recency list
    uint32_t older = kNone;  // recency list of spare entries
    uint32_t newer = kNone;
    bool used = false;      // false: a free slot
    bool compiled = false;  // compiledPatterns holds what compiling gave
  };

  size_t Bytes(uint32_t slot) const;
  Pattern* CompiledOf(uint32_t slot) const;
  uint64_t Hash(const char* text, size_t length) const;
  uint64_t Hash(const Entry& entry) const;
  uint32_t Find(uint64_t hash, const char* text, size_t length) const;
  bool Insert(uint32_t entry, uint64_t hash);
  void Erase(uint32_t entry);
  void Unlink(uint32_t entry);
  void DropSpares();
  bool GrowTable();

  ChunkedArray<Entry, 10> entries;  // slots, which never move; a free slot is reused
  std::vector<uint32_t> free;       // free slots
  std::vector<uint32_t> table;      // open addressing by hash: slot + 1, 0 empty
  // The compiled patterns of the few keys facts cannot decide, by slot: most entries never need
  // one, so they are kept apart.
  std::unordered_map<uint32_t, Pattern*> compiledPatterns;
  PatternPtr uncached;      // a pattern that could not be kept, for the one search it serves
  uint32_t oldest = kNone;  // recency list of spare entries
  uint32_t newest = kNone;
  size_t live = 0;
  size_t heldBytes = 0;
  size_t spareBytes = 0;
  size_t spareLimit;
  uint64_t seed;
};

}  // namespace mimoza
