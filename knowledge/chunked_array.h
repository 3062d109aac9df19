// knowledge/chunked_array.h: a growable array kept in fixed-size chunks, for the tables a
// dictionary keeps between lookups. Growing never copies what is there (so a table of a large
// dictionary never needs twice its size for a moment), elements never move, and allocation
// failure is a result, not an exception. Elements are default-constructed a chunk at a time.
// Leaves this file: ChunkedArray, TextPool. Private to mimoza_knowledge; exercised by every
// dictionary test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace mimoza {

template <typename T, size_t kChunkLog2 = 12>
class ChunkedArray {
 public:
  static constexpr size_t kChunkSize = size_t{1} << kChunkLog2;

  size_t Size() const { return size; }
  bool Empty() const { return size == 0; }
  T& operator[](size_t i) { return chunks[i >> kChunkLog2][i & (kChunkSize - 1)]; }
  const T& operator[](size_t i) const { return chunks[i >> kChunkLog2][i & (kChunkSize - 1)]; }
  T& Back() { return (*this)[size - 1]; }

  // PushBack: appends an element; false, changing nothing, when memory runs out.
  bool PushBack(T value) {
    if ((size >> kChunkLog2) == chunks.size() && !AddChunk()) return false;
    (*this)[size++] = std::move(value);
    return true;
  }

  // Truncate: keeps the first count elements; chunks no longer used are released.
  void Truncate(size_t count) {
    if (count >= size) return;
    size = count;
    chunks.resize((size + kChunkSize - 1) >> kChunkLog2);
  }

  // FirstNotBelow: the first index whose element is not below value by less(element, value)
  // (the elements must be sorted by it), or Size().
  template <typename Value, typename Less>
  size_t FirstNotBelow(const Value& value, Less less) const {
    size_t low = 0;
    size_t high = size;
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (less((*this)[middle], value)) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low;
  }

  size_t MemoryBytes() const {
    return chunks.size() * kChunkSize * sizeof(T) + chunks.capacity() * sizeof(chunks[0]);
  }

 private:
  bool AddChunk() {
    std::unique_ptr<T[]> chunk(new (std::nothrow) T[kChunkSize]);
    if (chunk == nullptr) return false;
    try {
      chunks.push_back(std::move(chunk));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  std::vector<std::unique_ptr<T[]>> chunks;
  size_t size = 0;
};

// TextPool: short texts (at most kChunkBytes each) stored one after the other in chunks; a text
// never straddles two chunks, so each is one run of bytes. Offsets grow in the order texts are
// added, and dropping the texts from an offset on is cutting the pool there.
class TextPool {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr size_t kChunkBytes = size_t{1} << 16;

  // Add: stores a copy of text[0, length) and returns its offset; kNone when memory runs out.
  uint32_t Add(const char* text, size_t length) {
    if (length > kChunkBytes) return kNone;
    if (chunks.empty() || used + length > kChunkBytes) {
      if (chunks.size() >= (size_t{1} << 16)) return kNone;  // offsets must fit 32 bits
      std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunkBytes]);
      if (chunk == nullptr) return kNone;
      try {
        chunks.push_back(std::move(chunk));
      } catch (const std::bad_alloc&) {
        return kNone;
      }
      used = 0;
    }
    const auto offset = static_cast<uint32_t>(((chunks.size() - 1) << 16) | used);
    if (length > 0) std::memcpy(chunks.back().get() + used, text, length);
    used += length;
    bytes += length;
    return offset;
  }
  const char* At(uint32_t offset) const { return chunks[offset >> 16].get() + (offset & 0xFFFF); }
  // CutAt: drops every text added at or after offset (an offset Add returned).
  void CutAt(uint32_t offset) {
    const size_t chunk = offset >> 16;
    if (chunk >= chunks.size()) return;
    chunks.resize(chunk + 1);
    used = offset & 0xFFFF;
  }
  void Clear() {
    chunks.clear();
    used = 0;
    bytes = 0;
  }
  size_t Bytes() const { return bytes; }  // of texts added since the last Clear
  size_t MemoryBytes() const { return chunks.size() * kChunkBytes; }

 private:
  std::vector<std::unique_ptr<char[]>> chunks;
  size_t used = 0;   // bytes used in the last chunk
  size_t bytes = 0;  // for the caller's bound on what texts may take
};

}  // namespace mimoza
