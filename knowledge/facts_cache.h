// knowledge/facts_cache.h: dictionary key texts -> their pattern facts and, for the keys the
// facts cannot decide, their compiled pattern; kept from one lookup to the next.
// The same text always gives the same facts, so nothing ever needs invalidating: an edited
// dictionary finds the facts of every unchanged key here. Everything it keeps, the entries a
// caller holds (the keys of the dictionary as last read) included, stays within one bound in
// bytes: entries nobody holds are dropped first, least recently used first, then compiled
// patterns, least recently used first; a new entry that still does not fit is not made (its
// caller works its facts out itself), and a pattern that does not fit is not kept.
// Leaves this file: FactsCache. Private to mimoza_knowledge and its tests.
// Tested by tests/knowledge/dictionary_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "knowledge/chunked_array.h"
#include "knowledge/limits.h"
#include "pattern/pattern.h"

namespace mimoza {

class FactsCache {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit FactsCache(size_t limitBytes = kMaxKeptBytes);
  FactsCache(const FactsCache&) = delete;
  FactsCache& operator=(const FactsCache&) = delete;
  ~FactsCache();

  // Acquire: the entry of the key text text[0, length) (no NUL inside), its facts computed when
  // it is new, held for the caller until Release. kNone when it would not fit the bound or
  // memory runs out.
  uint32_t Acquire(const char* text, size_t length);
  // Release: the caller no longer holds the entry; it may be dropped to make room.
  void Release(uint32_t entry);

  const PatternFacts& Facts(uint32_t entry) const { return entries[entry].facts; }
  // KeptPattern: the entry's compiled pattern when one is kept (it becomes the most recently
  // used), else null. Valid until the next KeepPattern or Acquire.
  const Pattern* KeptPattern(uint32_t entry);
  // KeepPattern: keeps pattern (non-null) as the entry's compiled pattern when the bound has
  // room for it, taking it out of *pattern; otherwise it stays with the caller. Returns it
  // either way.
  const Pattern* KeepPattern(uint32_t entry, PatternPtr& pattern);

  size_t MemoryBytes() const { return heldBytes + spareBytes + patternBytes; }
  size_t SpareBytes() const { return spareBytes; }  // of the entries nobody holds
  size_t PatternBytes() const { return patternBytes; }
  size_t Count() const { return live; }

 private:
  struct Entry {
    PatternFacts facts;      // with the key text as its source
    uint32_t holders = 0;    // callers holding it; 0: spare, in the recency list
    uint32_t older = kNone;  // recency list of spare entries
    uint32_t newer = kNone;
    uint32_t olderPattern = kNone;  // recency list of kept patterns
    uint32_t newerPattern = kNone;
    bool used = false;      // false: a free slot
    bool compiled = false;  // compiledPatterns holds its pattern
  };
  // An intrusive recency list over entries: the spares, or the kept patterns.
  struct Recency {
    uint32_t Entry::*older = nullptr;
    uint32_t Entry::*newer = nullptr;
    uint32_t oldest = kNone;
    uint32_t newest = kNone;
  };

  size_t Bytes(uint32_t slot) const;
  uint64_t Hash(const char* text, size_t length) const;
  uint64_t Hash(const Entry& entry) const;
  uint32_t Find(uint64_t hash, const char* text, size_t length) const;
  bool Insert(uint32_t entry, uint64_t hash);
  void Erase(uint32_t entry);
  void Link(Recency& list, uint32_t entry);
  void Unlink(Recency& list, uint32_t entry);
  void DropPattern(uint32_t entry);
  bool MakeRoom(size_t bytes);
  bool GrowTable();

  ChunkedArray<Entry, 10> entries;  // slots, which never move; a free slot is reused
  std::vector<uint32_t> free;       // free slots
  std::vector<uint32_t> table;      // open addressing by hash: slot + 1, 0 empty
  // The compiled patterns of the few keys facts cannot decide, by slot: most entries never need
  // one, so they are kept apart.
  std::unordered_map<uint32_t, Pattern*> compiledPatterns;
  Recency spares{&Entry::older, &Entry::newer};
  Recency patterns{&Entry::olderPattern, &Entry::newerPattern};
  size_t live = 0;
  size_t heldBytes = 0;     // entries held, with their facts
  size_t spareBytes = 0;    // entries nobody holds, with their facts
  size_t patternBytes = 0;  // kept patterns
  size_t limit;
  uint64_t seed;
};

}  // namespace mimoza
