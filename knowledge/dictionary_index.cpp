// knowledge/dictionary_index.cpp: file blocks -> block hashes -> what changed -> the tags and
// key texts of the changed part.
// Leaves this file: DictionaryIndex's members. The Scanner (one pass over the bytes, tag by
// tag) is private.
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

// A "<" is read as a tag once this many bytes after it are in (or the file ends).
constexpr size_t kLongestTag = std::max(
    {kKeyOpenTag.size() + 1, kKeyCloseTag.size(), kAnswerOpenTag.size(), kAnswerCloseTag.size()});

// The stored bytes of a key text that can matter: folding takes at most two stored bytes to one
// text byte, and the text is cut to kMaxKeyBytes.
constexpr size_t kKeyStoredBytes = 2 * kMaxKeyBytes + 1;

// Files whose offsets do not fit the index's 32-bit positions are read whole instead.
constexpr uint64_t kMaxIndexedBytes = UINT32_MAX - 16;

constexpr char kTextEnd = 0x1A;

bool StartsWith(const char* at, size_t available, std::string_view tag) {
  return available >= tag.size() && std::memcmp(at, tag.data(), tag.size()) == 0;
}

}  // namespace

// Scanner: one pass over the file's bytes from an offset on, block by block, adding what it
// finds to the index. Every "<KEY" starts an element that waits for its ">" (the first one at
// least four bytes on), then keeps the stored bytes of its text until its "</KEY>" (the first one
// after the ">") or until it has all the bytes that can matter; the window holds just those
// bytes and the few of a tag cut by the block's end.
class DictionaryIndex::Scanner {
 public:
  Scanner(DictionaryIndex& owner, uint64_t from) : index(owner), windowStart(from), next(from) {}

  // Window: room for count more bytes after what the window holds; null when memory runs out.
  char* Room(size_t count) {
    try {
      window.resize(held + count);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return window.data() + held;
  }
  // Feed: the count bytes just read into Room. False when the index cannot describe the file.
  bool Feed(size_t count, bool atEnd);

 private:
  struct Open {
    uint32_t key;   // index into index.keys
    uint32_t gt;    // its ">", or kNoPosition while none has been read
    bool textDone;  // the text is taken; only the "</KEY>" is awaited
  };

  uint64_t Frontier() const { return windowStart + held; }
  const char* At(uint64_t offset) const { return window.data() + (offset - windowStart); }
  bool Tag(uint64_t at, bool atEnd);
  bool TakeText(Open& open, uint64_t end);
  bool FinishTexts(bool atEnd);

  DictionaryIndex& index;
  std::vector<char> window;  // bytes [windowStart, windowStart + held)
  size_t held = 0;
  uint64_t windowStart;
  uint64_t next;            // where the search for the next "<" goes on
  uint64_t gtSearched = 0;  // elements without ">" have none before this
  std::vector<Open> opens;  // elements not yet closed, in file order
};

bool DictionaryIndex::Scanner::Feed(size_t count, bool atEnd) {
  held += count;
  if (std::memchr(window.data() + held - count, kTextEnd, count) != nullptr) return false;
  const uint64_t frontier = Frontier();
  // Elements waiting for their ">" all get the first one in the new bytes.
  bool waiting = false;
  for (const Open& open : opens) waiting = waiting || open.gt == kNoPosition;
  if (waiting) {
    const char* gt = static_cast<const char*>(
        std::memchr(At(gtSearched), '>', static_cast<size_t>(frontier - gtSearched)));
    if (gt != nullptr) {
      const auto at = static_cast<uint32_t>(windowStart + (gt - window.data()));
      for (Open& open : opens) {
        if (open.gt == kNoPosition) open.gt = at;
      }
    }
    gtSearched = frontier;
  }
  // Every "<" whose tag bytes are all here (or that the end of the file cuts short).
  while (next < frontier) {
    const char* lt =
        static_cast<const char*>(std::memchr(At(next), '<', static_cast<size_t>(frontier - next)));
    if (lt == nullptr) {
      next = frontier;
      break;
    }
    const uint64_t at = windowStart + static_cast<uint64_t>(lt - window.data());
    if (!atEnd && frontier - at < kLongestTag) {
      next = at;
      break;
    }
    if (!Tag(at, atEnd)) return false;
    next = at + 1;
  }
  if (!FinishTexts(atEnd)) return false;
  // Keep only the bytes that are still needed: the texts being taken and a cut tag.
  uint64_t keep = next;
  for (const Open& open : opens) {
    if (!open.textDone && open.gt != kNoPosition) keep = std::min<uint64_t>(keep, open.gt + 1);
  }
  const auto drop = static_cast<size_t>(keep - windowStart);
  std::memmove(window.data(), window.data() + drop, held - drop);
  held -= drop;
  windowStart = keep;
  if (atEnd) {
    // Elements still open never complete: the key scan stops at the first of them.
    for (const Open& open : opens) index.keys[open.key].close = kNoPosition;
    opens.clear();
  }
  return true;
}

// Tag: the "<" at offset at, with every byte of its tag in the window (or the file ending).
bool DictionaryIndex::Scanner::Tag(uint64_t at, bool atEnd) {
  const char* p = At(at);
  const auto available = static_cast<size_t>(Frontier() - at);
  const auto position = static_cast<uint32_t>(at);
  try {
    if (StartsWith(p, available, kKeyOpenTag)) {
      const KeyElement key{position, kNoPosition,     TextPool::kNone,
                           0,        KeyTextUncached, StartsWith(p, available, kExactKeyTag)};
      if (!index.keys.PushBack(key)) return false;
      Open open{static_cast<uint32_t>(index.keys.Size() - 1), kNoPosition, false};
      const char* gt = static_cast<const char*>(
          std::memchr(p + kKeyOpenTag.size(), '>', available - kKeyOpenTag.size()));
      if (gt != nullptr) {
        open.gt = static_cast<uint32_t>(windowStart + static_cast<uint64_t>(gt - window.data()));
      } else {
        gtSearched = Frontier();
      }
      opens.push_back(open);
    } else if (StartsWith(p, available, kKeyCloseTag)) {
      // It closes every open element whose ">" stands before it.
      size_t kept = 0;
      for (Open& open : opens) {
        if (open.gt != kNoPosition && open.gt + 1 <= position) {
          if (!open.textDone && !TakeText(open, at)) return false;
          index.keys[open.key].close = position;
        } else {
          opens[kept++] = open;
        }
      }
      opens.resize(kept);
    } else if (StartsWith(p, available, kAnswerOpenTag)) {
      if (!index.answerOpens.PushBack(position)) return false;
    } else if (StartsWith(p, available, kAnswerCloseTag)) {
      if (!index.answerCloses.PushBack(position)) return false;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  static_cast<void>(atEnd);
  return true;
}

// FinishTexts: takes the text of every element that has all the stored bytes that can matter.
bool DictionaryIndex::Scanner::FinishTexts(bool atEnd) {
  for (Open& open : opens) {
    if (open.textDone || open.gt == kNoPosition) continue;
    const uint64_t end = static_cast<uint64_t>(open.gt) + 1 + kKeyStoredBytes;
    if (Frontier() >= end && !TakeText(open, end)) return false;
  }
  static_cast<void>(atEnd);
  return true;
}

// TakeText: the key text of an open element is the folded bytes from after its ">" to end
// (exclusive), cut to kMaxKeyBytes and at a NUL.
bool DictionaryIndex::Scanner::TakeText(Open& open, uint64_t end) {
  const uint64_t begin = static_cast<uint64_t>(open.gt) + 1;
  const size_t stored =
      end > begin ? static_cast<size_t>(std::min<uint64_t>(end - begin, kKeyStoredBytes)) : 0;
  char text[kKeyStoredBytes];
  std::memcpy(text, At(begin), stored);
  size_t textLength = FoldTextLineEnds(text, stored);
  if (textLength > kMaxKeyBytes) textLength = kMaxKeyBytes;
  if (const void* nul = std::memchr(text, '\0', textLength)) {
    textLength = static_cast<size_t>(static_cast<const char*>(nul) - text);
  }
  KeyElement& key = index.keys[open.key];
  key.length = static_cast<uint16_t>(textLength);
  key.kind = IsPlainPattern(text, textLength) ? KeyTextPlain : KeyTextUncached;
  if (key.kind != KeyTextPlain) {
    const uint32_t entry = index.cache.Acquire(text, textLength);
    if (entry != FactsCache::kNone) {
      key.kind = KeyTextCached;
      key.text = entry;
    }
  }
  if (key.kind != KeyTextCached) {
    // Plain texts, and texts whose facts could not be had, are kept by the index itself.
    if (index.pool.Bytes() + textLength > index.PoolLimit()) return false;
    key.text = index.pool.Add(text, textLength);
    if (key.text == TextPool::kNone) return false;
  }
  open.textDone = true;
  return true;
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

DictionaryIndex::RefreshResult DictionaryIndex::Refresh(RawFile& file) {
  const uint64_t size = file.Size();
  if (size > kMaxIndexedBytes) {
    Clear();
    return NeedsWholeText;
  }
  uint64_t from = 0;
  if (valid) {
    uint64_t changedBlock = 0;
    const RefreshResult hashed = HashAll(file, &changedBlock);
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
  const RefreshResult scanned = ScanFrom(file, from, !valid);
  valid = scanned == Indexed;
  if (!valid) Clear();
  return scanned;
}

// RestartOffset: where scanning must start again when the bytes from cut on may have changed:
// before any tag the cut may split, and before every element that is not wholly before it.
uint64_t DictionaryIndex::RestartOffset(uint64_t cut) const {
  uint64_t restart = cut > kLongestTag ? cut - kLongestTag : 0;
  for (size_t k = 0; k < keys.Size(); ++k) {
    const KeyElement& key = keys[k];
    if (key.close == kNoPosition || key.close + kKeyCloseTag.size() > restart) {
      return std::min<uint64_t>(restart, key.open);
    }
  }
  return restart;
}

DictionaryIndex::RefreshResult DictionaryIndex::HashAll(RawFile& file, uint64_t* changedBlock) {
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

DictionaryIndex::RefreshResult DictionaryIndex::ScanFrom(RawFile& file, uint64_t from,
                                                         bool hashToo) {
  const uint64_t size = file.Size();
  if (hashToo) {
    try {
      blockHashes.assign(static_cast<size_t>((size + blockBytes - 1) / blockBytes), 0);
    } catch (const std::bad_alloc&) {
      return NeedsWholeText;
    }
  }
  Scanner scanner(*this, from);
  uint64_t offset = from;
  bool atEnd = offset >= size;
  while (true) {
    // Reads stay aligned with the blocks, so that a first scan hashes them as it goes.
    const uint64_t blockEnd = std::min<uint64_t>((offset / blockBytes + 1) * blockBytes, size);
    const auto want = static_cast<size_t>(atEnd ? 0 : blockEnd - offset);
    char* room = scanner.Room(want);
    if (room == nullptr) return NeedsWholeText;
    const int64_t got = want > 0 ? file.ReadAt(offset, room, want) : 0;
    if (got < 0) return Unreadable;
    if (hashToo && got > 0) {
      blockHashes[static_cast<size_t>(offset / blockBytes)] =
          HashBytes(room, static_cast<size_t>(got), seed);
    }
    offset += static_cast<uint64_t>(got);
    atEnd = atEnd || offset >= size || static_cast<size_t>(got) < want;
    if (!scanner.Feed(static_cast<size_t>(got), atEnd)) return NeedsWholeText;
    if (atEnd) break;
  }
  return Indexed;
}

size_t DictionaryIndex::PoolLimit() const {
  // A file whose key texts overlap (a "<KEY" inside another key's text, over and over) could
  // make the texts far longer than the file; such a file is read whole instead.
  return static_cast<size_t>(length) + (size_t{1} << 20);
}

const char* DictionaryIndex::KeyText(const KeyElement& key) const {
  if (key.kind == KeyTextCached) return cache.Facts(key.text).Source().bytes;
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
      keys.FirstNotBelow(offset, [](const KeyElement& key, uint64_t at) { return key.open < at; });
  // Texts go into the pool in the order of their keys, so the dropped ones are its tail.
  uint32_t poolCut = TextPool::kNone;
  for (size_t k = firstKey; k < keys.Size(); ++k) {
    const KeyElement& key = keys[k];
    if (key.kind == KeyTextCached) {
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
