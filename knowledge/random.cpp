// knowledge/random.cpp: the process-wide generator state -> random integers; byte helpers.
// Leaves this file: srand, rand, RandomInt, FindByte, CopyBounded.
// Tested by tests/knowledge/random_quips_test.cpp.
#include <cstring>

#include "knowledge/knowledge.h"

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

int32_t RandomInt(int32_t lo, int32_t hi) {
  const int32_t r = rand();
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

const char* FindByte(const char* from, char byte, const char* end) {
  if (from == nullptr || end == nullptr || from >= end) return nullptr;
  return static_cast<const char*>(std::memchr(from, byte, static_cast<size_t>(end - from)));
}

void CopyBounded(char* dst, const char* src, uint32_t n) {
  uint32_t i = 0;
  for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

}  // namespace mimoza
