// knowledge/facts_cache.cpp: key text -> cached facts and compiled pattern, within one bound.
// Leaves this file: FactsCache's members. The hash table and the recency lists are private.
// Tested by tests/knowledge/dictionary_test.cpp.
#include "knowledge/facts_cache.h"

#include <chrono>
#include <cstring>
#include <new>

#include "knowledge/knowledge_internal.h"

namespace mimoza {
namespace {

// The table stays at most half full, so probes stay short.
constexpr size_t kFirstTableSize = 64;

}  // namespace

FactsCache::FactsCache(size_t limitBytes)
    : limit(limitBytes),
      seed(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

FactsCache::~FactsCache() {
  for (const auto& [slot, pattern] : compiledPatterns) FreePattern(pattern);
}

uint64_t FactsCache::Hash(const char* text, size_t length) const {
  return HashBytes(text, length, seed);
}

uint64_t FactsCache::Hash(const Entry& entry) const {
  const FactsText source = entry.facts.Source();
  return Hash(source.bytes, source.length);
}

size_t FactsCache::Bytes(uint32_t slot) const {
  return sizeof(Entry) + entries[slot].facts.MemoryBytes();
}

uint32_t FactsCache::Find(uint64_t hash, const char* text, size_t length) const {
  if (table.empty()) return kNone;
  const size_t mask = table.size() - 1;
  for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
    const uint32_t slot = table[at];
    if (slot == 0) return kNone;
    const FactsText source = entries[slot - 1].facts.Source();
    if (source.length == length && std::memcmp(source.bytes, text, length) == 0) return slot - 1;
  }
}

bool FactsCache::GrowTable() {
  const size_t size = table.empty() ? kFirstTableSize : table.size() * 2;
  std::vector<uint32_t> grown;
  // The one place that can fail to allocate: report it as a result, as the core does.
  try {
    grown.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  table.swap(grown);
  for (const uint32_t slot : grown) {
    if (slot == 0) continue;
    size_t at = static_cast<size_t>(Hash(entries[slot - 1])) & (size - 1);
    while (table[at] != 0) at = (at + 1) & (size - 1);
    table[at] = slot;
  }
  return true;
}

bool FactsCache::Insert(uint32_t entry, uint64_t hash) {
  if (2 * (live + 1) > table.size() && !GrowTable()) return false;
  const size_t mask = table.size() - 1;
  size_t at = static_cast<size_t>(hash) & mask;
  while (table[at] != 0) at = (at + 1) & mask;
  table[at] = entry + 1;
  ++live;
  return true;
}

// Erase: removes the entry from the table (shifting the probes after it back, so no tombstones
// are needed) and frees its slot and its pattern.
void FactsCache::Erase(uint32_t entry) {
  const size_t mask = table.size() - 1;
  size_t at = static_cast<size_t>(Hash(entries[entry])) & mask;
  while (table[at] != entry + 1) at = (at + 1) & mask;
  table[at] = 0;
  for (size_t next = (at + 1) & mask; table[next] != 0; next = (next + 1) & mask) {
    const size_t home = static_cast<size_t>(Hash(entries[table[next] - 1])) & mask;
    // The entry at next may move into the hole when its home does not lie in (at, next].
    if (((next - home) & mask) >= ((next - at) & mask)) {
      table[at] = table[next];
      table[next] = 0;
      at = next;
    }
  }
  --live;
  DropPattern(entry);
  entries[entry] = Entry{};
  try {
    free.push_back(entry);
  } catch (const std::bad_alloc&) {
    // The slot is not reused; nothing else is lost.
  }
}

void FactsCache::Link(Recency& list, uint32_t entry) {
  Entry& e = entries[entry];
  e.*list.older = list.newest;
  e.*list.newer = kNone;
  if (list.newest != kNone) entries[list.newest].*list.newer = entry;
  list.newest = entry;
  if (list.oldest == kNone) list.oldest = entry;
}

void FactsCache::Unlink(Recency& list, uint32_t entry) {
  Entry& e = entries[entry];
  if (e.*list.older != kNone) entries[e.*list.older].*list.newer = e.*list.newer;
  if (e.*list.newer != kNone) entries[e.*list.newer].*list.older = e.*list.older;
  if (list.oldest == entry) list.oldest = e.*list.newer;
  if (list.newest == entry) list.newest = e.*list.older;
  e.*list.older = e.*list.newer = kNone;
}

void FactsCache::DropPattern(uint32_t entry) {
  Entry& e = entries[entry];
  if (!e.compiled) return;
  const auto found = compiledPatterns.find(entry);
  patternBytes -= PatternMemoryBytes(found->second);
  FreePattern(found->second);
  compiledPatterns.erase(found);
  Unlink(patterns, entry);
  e.compiled = false;
}

// MakeRoom: drops spare entries, then kept patterns, least recently used first, until bytes more
// fit the bound. False when they still do not.
bool FactsCache::MakeRoom(size_t bytes) {
  if (heldBytes + bytes > limit) return false;  // held entries stay: dropping the rest cannot help
  while (MemoryBytes() + bytes > limit && spares.oldest != kNone) {
    const uint32_t entry = spares.oldest;
    spareBytes -= Bytes(entry);
    Unlink(spares, entry);
    Erase(entry);
  }
  while (MemoryBytes() + bytes > limit && patterns.oldest != kNone) DropPattern(patterns.oldest);
  return MemoryBytes() + bytes <= limit;
}

uint32_t FactsCache::Acquire(const char* text, size_t length) {
  const uint64_t hash = Hash(text, length);
  uint32_t entry = Find(hash, text, length);
  if (entry != kNone) {
    Entry& found = entries[entry];
    if (found.holders++ == 0) {
      Unlink(spares, entry);
      spareBytes -= Bytes(entry);
      heldBytes += Bytes(entry);
    }
    return entry;
  }
  // Facts are computed from a NUL-terminated text.
  char stack[256];
  std::unique_ptr<char[]> heap;
  char* copy = stack;
  if (length >= sizeof stack) {
    heap.reset(new (std::nothrow) char[length + 1]);
    if (heap == nullptr) return kNone;
    copy = heap.get();
  }
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  Entry made{};
  if (!ComputePatternFacts(copy, &made.facts)) return kNone;
  const size_t bytes = sizeof(Entry) + made.facts.MemoryBytes();
  if (!MakeRoom(bytes)) return kNone;
  made.holders = 1;
  made.used = true;
  if (!free.empty()) {
    entry = free.back();
    free.pop_back();
    entries[entry] = std::move(made);
  } else {
    if (!entries.PushBack(std::move(made))) return kNone;
    entry = static_cast<uint32_t>(entries.Size() - 1);
  }
  if (!Insert(entry, hash)) {
    entries[entry] = Entry{};
    try {
      free.push_back(entry);
    } catch (const std::bad_alloc&) {
      // The slot is not reused; nothing else is lost.
    }
    return kNone;
  }
  heldBytes += bytes;
  return entry;
}

void FactsCache::Release(uint32_t entry) {
  Entry& e = entries[entry];
  if (--e.holders > 0) return;
  heldBytes -= Bytes(entry);
  spareBytes += Bytes(entry);
  Link(spares, entry);
}

const Pattern* FactsCache::KeptPattern(uint32_t entry) {
  if (!entries[entry].compiled) return nullptr;
  Unlink(patterns, entry);
  Link(patterns, entry);
  return compiledPatterns.find(entry)->second;
}

const Pattern* FactsCache::KeepPattern(uint32_t entry, PatternPtr& pattern) {
  DropPattern(entry);
  const size_t bytes = PatternMemoryBytes(pattern.get());
  if (!MakeRoom(bytes)) return pattern.get();
  try {
    compiledPatterns.emplace(entry, pattern.get());
  } catch (const std::bad_alloc&) {
    return pattern.get();  // not kept: it serves the caller's one search
  }
  entries[entry].compiled = true;
  Link(patterns, entry);
  patternBytes += bytes;
  return pattern.release();
}

}  // namespace mimoza
