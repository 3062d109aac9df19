// bench/tag_floor.h: the floor the dictionary benchmarks measure against: finding every tag of a
// dictionary's bytes with memchr, the least any reader of the file must do. Leaves this file:
// CountTags. Used by bench/dictionary_bench.cpp and bench/check_bench.cpp.
#pragma once

#include <cstdint>
#include <cstring>

namespace mimoza::bench {

inline int64_t CountTags(const char* begin, const char* end) {
  int64_t tags = 0;
  for (const char* at = begin;
       (at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(end - at)))); ++at) {
    if (end - at >= 5 && (std::memcmp(at, "<KEY", 4) == 0 || std::memcmp(at, "</KEY>", 6) == 0 ||
                          std::memcmp(at, "<ANS>", 5) == 0 || std::memcmp(at, "</ANS>", 6) == 0)) {
      ++tags;
    }
  }
  return tags;
}

}  // namespace mimoza::bench
