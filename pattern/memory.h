// pattern/memory.h: the pattern engine's memory: bump arenas and a growable stack, neither of
// which throws.
// Leaves this file: Arena, WorkStack. Private to the pattern library; exercised through every
// test in tests/pattern/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace mimoza {

// Arena: hands out 8-byte aligned blocks that all die together with the arena, so one
// compilation costs one or two heap calls instead of one per node, edge and class text.
// The first block may be storage of the owner (on its frame or inside its record).
class Arena {
 public:
  Arena() = default;
  Arena(void* firstBlock, size_t size)
      : cursor(static_cast<unsigned char*>(firstBlock)), limit(cursor + size) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    while (chunks != nullptr) {
      Chunk* next = chunks->next;
      delete[] reinterpret_cast<unsigned char*>(chunks);
      chunks = next;
    }
  }

  // Allocate: an uninitialised block of size bytes, or null when memory runs out.
  void* Allocate(size_t size) {
    size = (size + 7) & ~static_cast<size_t>(7);
    if (cursor == nullptr || static_cast<size_t>(limit - cursor) < size) {
      if (!Grow(size)) return nullptr;
    }
    void* block = cursor;
    cursor += size;
    return block;
  }

  // HeapBytes: the bytes this arena took from the heap (its first block excluded).
  size_t HeapBytes() const { return heapBytes; }

  // AllocateZeroed: like Allocate, with every byte 0.
  void* AllocateZeroed(size_t size) {
    void* block = Allocate(size);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
  }

 private:
  // alignas keeps the data after the header 8-byte aligned on 32-bit targets too.
  struct alignas(8) Chunk {
    Chunk* next;
  };
  // Chunks double up to this size; a larger request gets a chunk of its own size.
  static constexpr size_t kLargestChunk = 1 << 20;

  bool Grow(size_t size) {
    size_t want = nextChunk > size ? nextChunk : size;
    if (want > SIZE_MAX - sizeof(Chunk)) return false;
    auto* raw = new (std::nothrow) unsigned char[sizeof(Chunk) + want];
    if (raw == nullptr) return false;
    auto* chunk = reinterpret_cast<Chunk*>(raw);
    chunk->next = chunks;
    chunks = chunk;
    heapBytes += sizeof(Chunk) + want;
    cursor = raw + sizeof(Chunk);
    limit = cursor + want;
    if (nextChunk < kLargestChunk) nextChunk *= 2;
    return true;
  }

  unsigned char* cursor = nullptr;  // next free byte of the current block
  unsigned char* limit = nullptr;   // end of the current block
  Chunk* chunks = nullptr;          // heap chunks, newest first
  size_t nextChunk = 4096;          // size of the next heap chunk
  size_t heapBytes = 0;             // taken from the heap so far
};

// WorkStack: an explicit stack for the walks that would otherwise recurse as deep as the
// pattern or the subject is long. The first kInline entries live inside the object; beyond that
// it grows on the heap. T must be trivially copyable.
template <typename T, size_t kInline = 32>
class WorkStack {
 public:
  // The inline entries are raw storage, written by Push before they are read.
  WorkStack() = default;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  WorkStack(const WorkStack&) = delete;
  WorkStack& operator=(const WorkStack&) = delete;
  ~WorkStack() {
    if (items != inlineItems) delete[] items;
  }

  // Push: adds an entry; false, with the stack unchanged, when memory runs out.
  bool Push(const T& item) {
    if (count == capacity && !Grow()) return false;
    items[count++] = item;
    if (count > peak) peak = count;
    return true;
  }
  T& Top() { return items[count - 1]; }
  T Pop() { return items[--count]; }
  void Clear() { count = 0; }
  bool Empty() const { return count == 0; }
  size_t Size() const { return count; }
  T& operator[](size_t i) { return items[i]; }
  // SetBudget: growing takes its bytes from *bytesLeft, and fails (as if memory ran out) when
  // they are not there; a stack whose owner bounds what a task may take.
  void SetBudget(size_t* bytesLeft) { budget = bytesLeft; }
  // TouchedBytes: the heap bytes the stack has written so far (its deepest point beyond the
  // inline entries), for an owner that charges a task for the memory it touches.
  size_t TouchedBytes() const { return peak > kInline ? peak * kEntryBytes : 0; }

 private:
  static constexpr size_t kEntryBytes = sizeof(T[1]);

  bool Grow() {
    if (capacity > SIZE_MAX / kEntryBytes / 4) return false;
    size_t grown = capacity * 4;  // deep walks grow fast: copy less often
    if (budget != nullptr) {
      if (grown * kEntryBytes > *budget) return false;
      *budget -= grown * kEntryBytes;
    }
    T* moved = new (std::nothrow) T[grown];
    if (moved == nullptr) return false;
    std::memcpy(static_cast<void*>(moved), items, count * kEntryBytes);
    if (items != inlineItems) delete[] items;
    items = moved;
    capacity = grown;
    return true;
  }

  T inlineItems[kInline];
  T* items = inlineItems;
  size_t count = 0;
  size_t peak = 0;  // the most entries it held
  size_t capacity = kInline;
  size_t* budget = nullptr;
};

}  // namespace mimoza
