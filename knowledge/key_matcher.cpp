// knowledge/key_matcher.cpp: a subject line and a key -> whether the key matches, and where.
// Leaves this file: KeyMatcher's members.
// Tested by tests/knowledge/dictionary_test.cpp and fuzz/dictionary_fuzz.cpp.
#include "knowledge/key_matcher.h"

#include <cstring>

#include "knowledge/knowledge_internal.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// KeyPattern: the key text as a NUL-terminated pattern in text (kMaxKeyBytes + 1 bytes); false
// for a key longer than any a lookup reads.
bool KeyPattern(const char* key, size_t length, char* text) {
  if (length > kMaxKeyBytes) return false;
  std::memcpy(text, key, length);
  text[length] = '\0';
  return true;
}

}  // namespace

KeyMatcher::KeyMatcher(const char* theSubject, MatchMode theMode, FactsCache* theCache)
    : subject(theSubject),
      length(theSubject == nullptr ? 0 : std::strlen(theSubject)),
      mode(theMode),
      cache(theCache) {
  if (subject != nullptr && mode == PatternKey) IndexSubject(subject, &index);
}

// MatchesCompiled: the key compiled and searched.
bool KeyMatcher::MatchesCompiled(const char* key, size_t keyLength) {
  char text[kMaxKeyBytes + 1];
  return KeyPattern(key, keyLength, text) && MatchesPattern(text, subject);
}

bool KeyMatcher::MatchesText(const char* key, size_t keyLength) {
  if (mode != PatternKey || cache == nullptr) return Matches(key, keyLength, KeyCompiled);
  const uint32_t entry = cache->Acquire(key, keyLength);
  if (entry == FactsCache::kNone) return Matches(key, keyLength, KeyCompiled);
  const bool matches = Matches(key, keyLength, KeyFacts, entry);
  cache->Release(entry);
  return matches;
}

// SearchFrom: where the search for a matched key's span may start (see FirstMatchFrom).
size_t KeyMatcher::SearchFrom(const char* key, size_t keyLength) {
  if (IsPlainPattern(key, keyLength)) return FirstMatchFrom(index, key, keyLength, nullptr);
  if (cache == nullptr) return 0;
  const uint32_t entry = cache->Acquire(key, keyLength);
  if (entry == FactsCache::kNone) return 0;
  const size_t from = FirstMatchFrom(index, nullptr, 0, &cache->Facts(entry));
  cache->Release(entry);
  return from;
}

bool KeyMatcher::Span(const char* key, size_t keyLength, size_t* start, size_t* end) {
  *start = 0;
  *end = 0;
  if (mode == ExactKey) {
    *end = length;
    return true;
  }
  if (mode != PatternKey) return false;
  size_t from = SearchFrom(key, keyLength);
  char text[kMaxKeyBytes + 1];
  if (!KeyPattern(key, keyLength, text)) return false;
  const PatternPtr pattern(CompilePattern(text));
  MatchSpan* spans = nullptr;
  if (from > length) from = 0;
  bool found = false;
  if (SearchPattern(pattern.get(), subject + from, &spans, 0) > 0 && spans[0].start != nullptr &&
      spans[0].end != nullptr) {
    found = true;
    *start = static_cast<size_t>(spans[0].start - subject);
    *end = static_cast<size_t>(spans[0].end - subject);
  }
  FreeSpans(spans);
  return found;
}

}  // namespace mimoza
