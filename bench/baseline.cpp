// bench/baseline.cpp: another revision's lookup, first response and check, for the benchmarks to
// measure beside this one's. Compiled against that revision's headers with its namespace renamed
// (see bench/CMakeLists.txt), so that both live in one program.
#include <string>
#include <vector>

#include "knowledge/knowledge.h"
#if __has_include("knowledge/dictionary_check.h")
#include "knowledge/dictionary_check.h"
#endif

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

// BaselineFirstResponse: what that revision does before its first answer: the title's exact
// lookup, then the line's, on a Dictionary of its own.
extern "C" bool BaselineFirstResponse(const char* line, char* out, uint32_t outLen) {
#if __has_include("knowledge/dictionary_index.h")
  mimoza::Dictionary dictionary;
  dictionary.LookupAnswer(mimoza::kTitleKey.key, mimoza::ExactKey, out, outLen);
  return dictionary.LookupAnswer(line, mimoza::PatternKey, out, outLen);
#else
  mimoza::LookupAnswer(mimoza::kTitleKey.key, mimoza::ExactKey, out, outLen);
  return mimoza::LookupAnswer(line, mimoza::PatternKey, out, outLen);
#endif
}

// BaselineCheck: that revision's checker over a dictionary's stored bytes: the number of
// diagnostics, or -1 when it has no checker.
extern "C" long BaselineCheck(const char* bytes, size_t length) {
#if __has_include("knowledge/dictionary_check.h")
  mimoza::StoredFile dictionary;
  dictionary.bytes.assign(bytes, length);
  dictionary.present = true;
  std::vector<mimoza::CheckDiagnostic> diagnostics;
  mimoza::CheckDataTexts(dictionary, mimoza::StoredFile{}, mimoza::CheckOptions{}, &diagnostics);
  return static_cast<long>(diagnostics.size());
#else
  static_cast<void>(bytes);
  static_cast<void>(length);
  return -1;
#endif
}
