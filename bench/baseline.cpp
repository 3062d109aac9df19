// bench/baseline.cpp: another revision's LookupAnswer, for dictionary_bench to measure beside
// this one's. Compiled against that revision's headers with its namespace renamed (see
// bench/CMakeLists.txt), so that both live in one program.
#include "knowledge/knowledge.h"

extern "C" bool BaselineLookup(const char* subject, char* out, uint32_t outLen) {
  return mimoza::LookupAnswer(subject, mimoza::PatternKey, out, outLen);
}
