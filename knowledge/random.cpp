// knowledge/random.cpp: the process-wide generator state -> random integers; byte helpers.
// Leaves this file: srand, rand, RandomInt, RandomIntFrom, OutputsGiving, FindByte, FindBytes,
// CountByte, HashBytes, CopyBounded.
// Tested by tests/knowledge/random_quips_test.cpp.
#include <cstring>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"

namespace mimoza {
namespace {

// The one piece of process-wide state of the knowledge files: a linear congruential generator
// whose sequence is ours, so a seed draws the same numbers on every platform.
uint32_t generatorState = 1;

// The double nearest to 1/32767.1: r * kRandomScale stays below 1 for every r up to 32767, so the
// truncated product never reaches n.
constexpr double kRandomScale = 3.0518416338339375e-05;

}  // namespace

void srand(uint32_t seed) { generatorState = seed; }

int32_t rand() {
  generatorState = generatorState * 214013u + 2531011u;
  return static_cast<int32_t>((generatorState >> 16) & 0x7FFFu);
}

int32_t RandomInt(int32_t lo, int32_t hi) { return RandomIntFrom(rand(), lo, hi); }

int32_t RandomIntFrom(int32_t r, int32_t lo, int32_t hi) {
  // hi - lo + 1 in 32-bit two's complement: callers keep hi >= lo - 1, the wrap only keeps wild
  // arguments defined.
  const auto n = static_cast<int32_t>(static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u);
  double value = r * kRandomScale;
  value = value * n;
  value = value + lo;
  // Truncation toward zero; values outside int32 (only from wild arguments) are clamped instead
  // of overflowing the conversion.
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

// FirstOutputReaching: the least generator output r for which RandomInt(0, n - 1) gives value or
// more (kGeneratorOutputs when none does). With lo 0 and n >= 1 every step of the mapping (a
// product, a second product by a positive count, truncation) keeps the order of r, so the outputs
// giving each value form one run and a binary search finds where each begins.
int32_t FirstOutputReaching(int32_t value, int32_t n) {
  int32_t low = 0;
  int32_t high = kGeneratorOutputs;
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (RandomIntFrom(middle, 0, n - 1) >= value) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

}  // namespace

int32_t OutputsGiving(int32_t index, int32_t n) {
  if (n < 1 || index < 0 || index >= n) return 0;
  return FirstOutputReaching(index + 1, n) - FirstOutputReaching(index, n);
}

const char* FindByte(const char* from, char byte, const char* end) {
  if (from == nullptr || end == nullptr || from >= end) return nullptr;
  return static_cast<const char*>(std::memchr(from, byte, static_cast<size_t>(end - from)));
}

const char* FindBytes(const char* from, const char* needle, size_t needleLen, const char* end) {
  if (from == nullptr || end == nullptr || needle == nullptr || from > end) return nullptr;
  if (needleLen == 0) return from;
  if (static_cast<size_t>(end - from) < needleLen) return nullptr;
  const char* last = end - needleLen;
  for (const char* at = from; at <= last; ++at) {
    at = static_cast<const char*>(std::memchr(at, needle[0], static_cast<size_t>(last - at) + 1));
    if (at == nullptr) return nullptr;
    if (std::memcmp(at + 1, needle + 1, needleLen - 1) == 0) return at;
  }
  return nullptr;
}

size_t CountByte(const char* from, const char* end, char byte) {
  if (from == nullptr || end == nullptr || from >= end) return 0;
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t pattern = kOnes * static_cast<unsigned char>(byte);
  size_t count = 0;
  const char* at = from;
  while (end - at >= 8) {
    // Each byte of lanes counts the matches in its position, up to 255 words at a time.
    uint64_t lanes = 0;
    for (int words = 0; words < 255 && end - at >= 8; ++words, at += 8) {
      uint64_t word;
      std::memcpy(&word, at, sizeof word);
      word ^= pattern;  // the matching bytes are now zero
      // The top bit of each byte ends up set exactly when the byte is zero; no carry crosses
      // bytes.
      lanes += ~(((word & kLow7) + kLow7) | word | kLow7) >> 7;
    }
    for (; lanes != 0; lanes >>= 8) count += lanes & 0xFF;
  }
  for (; at < end; ++at) count += *at == byte ? 1 : 0;
  return count;
}

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;

uint64_t RotateLeft(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

uint64_t Round(uint64_t lane, uint64_t word) {
  return RotateLeft(lane + word * kPrime2, 31) * kPrime1;
}

uint64_t Word(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace

uint64_t HashBytes(const void* bytes, size_t length, uint64_t seed) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  // Four independent lanes in locals, so that their multiplications overlap.
  uint64_t lane0 = seed + kPrime1 + kPrime2;
  uint64_t lane1 = seed + kPrime2;
  uint64_t lane2 = seed;
  uint64_t lane3 = seed - kPrime1;
  size_t at = 0;
  for (; at + 32 <= length; at += 32) {
    lane0 = Round(lane0, Word(p + at));
    lane1 = Round(lane1, Word(p + at + 8));
    lane2 = Round(lane2, Word(p + at + 16));
    lane3 = Round(lane3, Word(p + at + 24));
  }
  uint64_t h = RotateLeft(lane0, 1) + RotateLeft(lane1, 7) + RotateLeft(lane2, 12) +
               RotateLeft(lane3, 18) + length;
  for (; at + 8 <= length; at += 8) h = RotateLeft(h ^ Round(0, Word(p + at)), 27) * kPrime1;
  for (; at < length; ++at) h = RotateLeft(h ^ (p[at] * kPrime3), 11) * kPrime1;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  h *= kPrime3;
  return h ^ (h >> 32);
}

void CopyBounded(char* dst, const char* src, uint32_t n) {
  uint32_t i = 0;
  for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

}  // namespace mimoza
