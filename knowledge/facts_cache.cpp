// knowledge/facts_cache.cpp: key text -> cached facts and compiled pattern.
// Leaves this file: FactsCache's members. The hash table and the recency list are private.
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

FactsCache::FactsCache(size_t spareBytesLimit)
    : spareLimit(spareBytesLimit),
      seed(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

FactsCache::~FactsCache() {
  for (const auto& [slot, pattern] : compiledPatterns) FreePattern(pattern);
}

Pattern* FactsCache::CompiledOf(uint32_t slot) const {
  const auto found = compiledPatterns.find(slot);
  return found == compiledPatterns.end() ? nullptr : found->second;
}

uint64_t FactsCache::Hash(const char* text, size_t length) const {
  return HashBytes(text, length, seed);
}

uint64_t FactsCache::Hash(const Entry& entry) const {
  const FactsText source = entry.facts.Source();
  return Hash(source.bytes, source.length);
}

size_t FactsCache::Bytes(uint32_t slot) const {
  const Entry& entry = entries[slot];
  size_t bytes = sizeof(Entry) + entry.facts.MemoryBytes();
  if (entry.compiled) bytes += PatternMemoryBytes(CompiledOf(slot));
  return bytes;
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
// are needed) and frees its slot.
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
  Entry& gone = entries[entry];
  if (gone.compiled) {
    FreePattern(CompiledOf(entry));
    compiledPatterns.erase(entry);
  }
  gone = Entry{};
  try {
    free.push_back(entry);
  } catch (const std::bad_alloc&) {
    // The slot is not reused; nothing else is lost.
  }
}

void FactsCache::Unlink(uint32_t entry) {
  Entry& e = entries[entry];
  if (e.older != kNone) entries[e.older].newer = e.newer;
  if (e.newer != kNone) entries[e.newer].older = e.older;
  if (oldest == entry) oldest = e.newer;
  if (newest == entry) newest = e.older;
  e.older = e.newer = kNone;
}

void FactsCache::DropSpares() {
  while (spareBytes > spareLimit && oldest != kNone) {
    const uint32_t entry = oldest;
    spareBytes -= Bytes(entry);
    Unlink(entry);
    Erase(entry);
  }
}

uint32_t FactsCache::Acquire(const char* text, size_t length) {
  const uint64_t hash = Hash(text, length);
  uint32_t entry = Find(hash, text, length);
  if (entry != kNone) {
    Entry& found = entries[entry];
    if (found.holders++ == 0) {
      Unlink(entry);
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
  heldBytes += Bytes(entry);
  return entry;
}

void FactsCache::Release(uint32_t entry) {
  Entry& e = entries[entry];
  if (--e.holders > 0) return;
  heldBytes -= Bytes(entry);
  spareBytes += Bytes(entry);
  e.older = newest;
  e.newer = kNone;
  if (newest != kNone) entries[newest].newer = entry;
  newest = entry;
  if (oldest == kNone) oldest = entry;
  DropSpares();
}

const Pattern* FactsCache::Compiled(uint32_t entry) {
  Entry& e = entries[entry];
  if (e.compiled) return CompiledOf(entry);
  // The compiler takes a NUL-terminated text; the source is stored without one.
  const FactsText source = e.facts.Source();
  std::unique_ptr<char[]> text(new (std::nothrow) char[source.length + 1]);
  if (text == nullptr) return nullptr;
  std::memcpy(text.get(), source.bytes, source.length);
  text[source.length] = '\0';
  PatternPtr pattern(CompilePattern(text.get()));
  const size_t before = Bytes(entry);
  try {
    compiledPatterns.emplace(entry, pattern.get());
  } catch (const std::bad_alloc&) {
    // Not kept: it serves this one search.
    uncached = std::move(pattern);
    return uncached.get();
  }
  e.compiled = true;
  const Pattern* kept = pattern.release();
  (e.holders > 0 ? heldBytes : spareBytes) += Bytes(entry) - before;
  return kept;
}

}  // namespace mimoza
