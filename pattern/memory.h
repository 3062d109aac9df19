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
      : cursor_(static_cast<unsigned char*>(firstBlock)), limit_(cursor_ + size) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    while (chunks_ != nullptr) {
      Chunk* next = chunks_->next;
      delete[] reinterpret_cast<unsigned char*>(chunks_);
      chunks_ = next;
    }
  }

  // Allocate: an uninitialised block of size bytes, or null when memory runs out.
  void* Allocate(size_t size) {
    size = (size + 7) & ~static_cast<size_t>(7);
    if (cursor_ == nullptr || static_cast<size_t>(limit_ - cursor_) < size) {
      if (!Grow(size)) return nullptr;
    }
    void* block = cursor_;
    cursor_ += size;
    return block;
  }

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
    size_t want = nextChunk_ > size ? nextChunk_ : size;
    if (want > SIZE_MAX - sizeof(Chunk)) return false;
    auto* raw = new (std::nothrow) unsigned char[sizeof(Chunk) + want];
    if (raw == nullptr) return false;
    auto* chunk = reinterpret_cast<Chunk*>(raw);
    chunk->next = chunks_;
    chunks_ = chunk;
    cursor_ = raw + sizeof(Chunk);
    limit_ = cursor_ + want;
    if (nextChunk_ < kLargestChunk) nextChunk_ *= 2;
    return true;
  }

  unsigned char* cursor_ = nullptr;
  unsigned char* limit_ = nullptr;
  Chunk* chunks_ = nullptr;
  size_t nextChunk_ = 4096;
};

// WorkStack: an explicit stack for the walks that would otherwise recurse as deep as the
// pattern or the subject is long. The first kInline entries live inside the object; beyond that
// it grows on the heap. T must be trivially copyable.
template <typename T, size_t kInline = 32>
class WorkStack {
 public:
  WorkStack() = default;
  WorkStack(const WorkStack&) = delete;
  WorkStack& operator=(const WorkStack&) = delete;
  ~WorkStack() {
    if (items_ != inline_) delete[] items_;
  }

  // Push: adds an entry; false, with the stack unchanged, when memory runs out.
  bool Push(const T& item) {
    if (size_ == capacity_ && !Grow()) return false;
    items_[size_++] = item;
    return true;
  }
  T& Top() { return items_[size_ - 1]; }
  T Pop() { return items_[--size_]; }
  void Clear() { size_ = 0; }
  bool Empty() const { return size_ == 0; }
  size_t Size() const { return size_; }
  T& operator[](size_t i) { return items_[i]; }

 private:
  bool Grow() {
    if (capacity_ > SIZE_MAX / sizeof(T) / 4) return false;
    size_t capacity = capacity_ * 4;  // deep walks grow fast: copy less often
    T* items = new (std::nothrow) T[capacity];
    if (items == nullptr) return false;
    std::memcpy(static_cast<void*>(items), items_, size_ * sizeof(T));
    if (items_ != inline_) delete[] items_;
    items_ = items;
    capacity_ = capacity;
    return true;
  }

  T inline_[kInline];
  T* items_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = kInline;
};

}  // namespace mimoza
