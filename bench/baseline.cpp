// bench/baseline.cpp: another revision's Dictionary::LookupAnswer, for dictionary_bench to
// measure beside this one's. Compiled against that revision's headers with its namespace renamed
// (see bench/CMakeLists.txt), so that both live in one program.
#include "knowledge/knowledge.h"

// One Dictionary kept across lookups, as the conversation keeps it; it follows the working
// directory's Dictionary.txt from one benchmark's file to the next.
extern "C" bool BaselineLookup(const char* subject, char* out, uint32_t outLen) {
  static mimoza::Dictionary dictionary;
  return dictionary.LookupAnswer(subject, mimoza::PatternKey, out, outLen);
}
