// bench/baseline.cpp: another revision's lookup, for dictionary_bench to measure beside this
// one's. Compiled against that revision's headers with its namespace renamed (see
// bench/CMakeLists.txt), so that both live in one program.
#include "knowledge/knowledge.h"

extern "C" bool BaselineLookup(const char* subject, char* out, uint32_t outLen) {
#if __has_include("knowledge/dictionary_index.h")
  // A revision that keeps a Dictionary across lookups, as its conversation does; it follows the
  // working directory's Dictionary.txt from one benchmark's file to the next.
  static mimoza::Dictionary dictionary;
  return dictionary.LookupAnswer(subject, mimoza::PatternKey, out, outLen);
#else
  // A revision that read and scanned the file afresh on every lookup.
  return mimoza::LookupAnswer(subject, mimoza::PatternKey, out, outLen);
#endif
}
