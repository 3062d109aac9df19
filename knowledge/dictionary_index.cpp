// knowledge/dictionary_index.cpp: file blocks -> block hashes -> what changed -> the tags and
// key texts of the changed part, as the reader (knowledge/dictionary_format.cpp) tells them.
// Leaves this file: DictionaryIndex's members.
// Tested by tests/knowledge/dictionary_test.cpp and fuzz/dictionary_fuzz.cpp.
#include "knowledge/dictionary_index.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Files whose offsets do not fit the index's 32-bit positions are read whole instead.
constexpr uint64_t kMaxIndexedBytes = UINT32_MAX - 16;

constexpr char kTextEnd = 0x1A;

bool StopSeen(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}

}  // namespace

bool DictionaryIndex::Tag(DictionaryTag tag, uint64_t offset, bool exact) {
  const auto position = static_cast<uint32_t>(offset);
  switch (tag) {
    case TagKeyOpen:
      return keys.PushBack(
          IndexedKey{position, kNoPosition, TextPool::kNone, 0, KeyCompiled, exact});
    case TagAnswerOpen:
      return answerOpens.PushBack(position);
    case TagAnswerClose:
      return answerCloses.PushBack(position);
    case TagKeyClose:  // a key's close is told with its key
    case TagCount:
      break;
  }
  return true;
}

// KeyText: a key's text, already cut as a lookup reads it, kept as its facts cache entry or, for
// plain texts and texts whose facts could not be had, in the index's own pool.
bool DictionaryIndex::KeyText(uint64_t key, uint64_t, const char* text, size_t textLength) {
  IndexedKey& indexed = keys[firstScanned + static_cast<size_t>(key)];
  indexed.length = static_cast<uint16_t>(textLength);
  indexed.kind = IsPlainPattern(text, textLength) ? KeyPlain : KeyCompiled;
  if (indexed.kind != KeyPlain) {
    const uint32_t entry = cache.Acquire(text, textLength);
    if (entry != FactsCache::kNone) {
      indexed.kind = KeyFacts;
      indexed.text = entry;
    }
  }
  if (indexed.kind != KeyFacts) {
    if (pool.Bytes() + textLength > PoolLimit()) return false;
    indexed.text = pool.Add(text, textLength);
    if (indexed.text == TextPool::kNone) return false;
  }
  return true;
}

void DictionaryIndex::KeyClosed(uint64_t key, uint64_t close) {
  keys[firstScanned + static_cast<size_t>(key)].close = static_cast<uint32_t>(close);
}

size_t DictionaryIndex::FirstKeyAtOrAfter(uint64_t offset) const {
  return keys.FirstNotBelow(offset,
                            [](const IndexedKey& key, uint64_t at) { return key.open < at; });
}

bool DictionaryIndex::ExactKeyBetween(uint64_t from, uint64_t to) const {
  for (size_t k = FirstKeyAtOrAfter(from); k < keys.Size() && keys[k].open < to; ++k) {
    if (keys[k].exact) return true;
  }
  return false;
}

uint64_t DictionaryIndex::AtOrAfter(const ChunkedArray<uint32_t>& positions, uint64_t offset) {
  const size_t at = positions.FirstNotBelow(offset, [](uint32_t p, uint64_t o) { return p < o; });
  return at == positions.Size() ? kNoTag : uint64_t{positions[at]};
}

DictionaryIndex::DictionaryIndex(FactsCache& theCache, size_t theBlockBytes)
    : cache(theCache),
      blockBytes(theBlockBytes > 0 ? theBlockBytes : kDefaultBlockBytes),
      seed(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

DictionaryIndex::~DictionaryIndex() { Clear(); }

void DictionaryIndex::Clear() {
  TruncateFrom(0);
  length = 0;
  blockHashes.clear();
  valid = false;
}

DictionaryIndex::RefreshResult DictionaryIndex::Refresh(RawFile& file,
                                                        const std::atomic<bool>* stop) {
  const uint64_t size = file.Size();
  if (size > kMaxIndexedBytes) {
    Clear();
    return NeedsWholeText;
  }
  uint64_t from = 0;
  if (valid) {
    uint64_t changedBlock = 0;
    const RefreshResult hashed = HashAll(file, &changedBlock, stop);
    if (hashed == Stopped) return Stopped;  // the hashes, and so the index, are as they were
    if (hashed != Indexed) {
      Clear();
      return hashed;
    }
    if (changedBlock == kNoChange) return Indexed;
    from = RestartOffset(changedBlock * blockBytes);
  } else {
    Clear();
  }
  length = size;
  TruncateFrom(from);
  const RefreshResult scanned = ScanFrom(file, from, !valid, stop);
  valid = scanned == Indexed;
  if (!valid) Clear();
  return scanned;
}

// RestartOffset: where scanning must start again when the bytes from cut on may have changed:
// before any tag the cut may split, and before every element that is not wholly before it.
uint64_t DictionaryIndex::RestartOffset(uint64_t cut) const {
  uint64_t restart = cut > kLongestTagBytes ? cut - kLongestTagBytes : 0;
  for (size_t k = 0; k < keys.Size(); ++k) {
    const IndexedKey& key = keys[k];
    if (key.close == kNoPosition || key.close + TagText(TagKeyClose).size() > restart) {
      return std::min<uint64_t>(restart, key.open);
    }
  }
  return restart;
}

DictionaryIndex::RefreshResult DictionaryIndex::HashAll(RawFile& file, uint64_t* changedBlock,
                                                        const std::atomic<bool>* stop) {
  const uint64_t size = file.Size();
  const uint64_t blocks = (size + blockBytes - 1) / blockBytes;
  try {
    block.resize(blockBytes);
    newHashes.resize(static_cast<size_t>(blocks));
  } catch (const std::bad_alloc&) {
    return NeedsWholeText;
  }
  *changedBlock = kNoChange;
  for (uint64_t k = 0; k < blocks; ++k) {
    if (StopSeen(stop)) return Stopped;
    const uint64_t offset = k * blockBytes;
    const auto want = static_cast<size_t>(std::min<uint64_t>(blockBytes, size - offset));
    const int64_t got = file.ReadAt(offset, block.data(), want);
    if (got < 0) return Unreadable;
    newHashes[k] = HashBytes(block.data(), static_cast<size_t>(got), seed);
    if (*changedBlock == kNoChange && (k >= blockHashes.size() || blockHashes[k] != newHashes[k])) {
      *changedBlock = k;
    }
  }
  // A file cut at a block boundary has fewer blocks and no changed one.
  if (*changedBlock == kNoChange && blocks != blockHashes.size()) *changedBlock = blocks;
  blockHashes.swap(newHashes);
  return Indexed;
}

DictionaryIndex::RefreshResult DictionaryIndex::ScanFrom(RawFile& file, uint64_t from, bool hashToo,
                                                         const std::atomic<bool>* stop) {
  const uint64_t size = file.Size();
  if (hashToo) {
    try {
      blockHashes.assign(static_cast<size_t>((size + blockBytes - 1) / blockBytes), 0);
    } catch (const std::bad_alloc&) {
      return NeedsWholeText;
    }
  }
  firstScanned = keys.Size();
  DictionaryReader reader(*this, from, true);
  uint64_t offset = from;
  bool atEnd = offset >= size;
  while (true) {
    if (StopSeen(stop)) return Stopped;
    // Reads stay aligned with the blocks, so that a first scan hashes them as it goes.
    const uint64_t blockEnd = std::min<uint64_t>((offset / blockBytes + 1) * blockBytes, size);
    const auto want = static_cast<size_t>(atEnd ? 0 : blockEnd - offset);
    char* room = reader.Room(want);
    if (room == nullptr) return NeedsWholeText;
    const int64_t got = want > 0 ? file.ReadAt(offset, room, want) : 0;
    if (got < 0) return Unreadable;
    if (hashToo && got > 0) {
      blockHashes[static_cast<size_t>(offset / blockBytes)] =
          HashBytes(room, static_cast<size_t>(got), seed);
    }
    // A 0x1A byte is dropped when the file is read as text: the stored bytes would not be the
    // text a lookup reads.
    if (std::memchr(room, kTextEnd, static_cast<size_t>(got)) != nullptr) return NeedsWholeText;
    offset += static_cast<uint64_t>(got);
    atEnd = atEnd || offset >= size || static_cast<size_t>(got) < want;
    if (!reader.Feed(static_cast<size_t>(got), atEnd)) return NeedsWholeText;
    if (atEnd) break;
  }
  return Indexed;
}

size_t DictionaryIndex::PoolLimit() const {
  // A file whose key texts overlap (a key tag inside another key's text, over and over) could
  // make the texts far longer than the file; such a file is read whole instead.
  return static_cast<size_t>(length) + (size_t{1} << 20);
}

const char* DictionaryIndex::KeyText(const IndexedKey& key) const {
  if (key.kind == KeyFacts) return cache.Facts(key.text).Source().bytes;
  return pool.At(key.text);
}

size_t DictionaryIndex::MemoryBytes() const {
  return keys.MemoryBytes() + answerOpens.MemoryBytes() + answerCloses.MemoryBytes() +
         pool.MemoryBytes() + (blockHashes.capacity() + newHashes.capacity()) * sizeof(uint64_t) +
         block.capacity();
}

void DictionaryIndex::TruncateFrom(uint64_t offset) {
  const auto below = [](uint32_t position, uint64_t at) { return position < at; };
  const size_t firstKey =
      keys.FirstNotBelow(offset, [](const IndexedKey& key, uint64_t at) { return key.open < at; });
  // Texts go into the pool in the order of their keys, so the dropped ones are its tail.
  uint32_t poolCut = TextPool::kNone;
  for (size_t k = firstKey; k < keys.Size(); ++k) {
    const IndexedKey& key = keys[k];
    if (key.kind == KeyFacts) {
      cache.Release(key.text);
    } else if (poolCut == TextPool::kNone) {
      poolCut = key.text;  // kNone still when the text was never taken
    }
  }
  if (poolCut != TextPool::kNone) pool.CutAt(poolCut);
  if (firstKey == 0) pool.Clear();
  keys.Truncate(firstKey);
  answerOpens.Truncate(answerOpens.FirstNotBelow(offset, below));
  answerCloses.Truncate(answerCloses.FirstNotBelow(offset, below));
}

}  // namespace mimoza
