// knowledge/key_matcher.h: one subject line and the facts cache -> the verdict on each dictionary
// key ("does this key match this line"), and where a matched key matches.
// Every lookup path (over the index, over a whole text, the reference lookup) asks Matches or
// MatchesText for each key, and the report to a lookup's observer asks Span for each matched
// key: this is the one place where a lookup tests keys against its line, so whatever bounds that
// work bounds it here.
// Leaves this file: KeyForm, KeyMatcher. Private to mimoza_knowledge.
// Tested by tests/knowledge/dictionary_test.cpp (every path against the reference lookup, and
// the observer's spans) and fuzz/dictionary_fuzz.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "knowledge/facts_cache.h"
#include "knowledge/knowledge.h"
#include "knowledge/subject_search.h"
#include "pattern/pattern.h"

namespace mimoza {

// What is known of a key before it is tested against a pattern lookup's line.
enum KeyForm : int8_t {
  KeyPlain = 0,  // a plain text (IsPlainPattern): it matches where its bytes occur
  KeyFacts,      // a pattern whose facts are a cache entry: they decide, or it is searched
  KeyCompiled,   // a pattern tested by compiling and searching it
};

class KeyMatcher {
 public:
  // subject: the NUL-terminated line keys are tested against; cache: where key facts come from
  // (null: a key known by its text alone is compiled and searched).
  KeyMatcher(const char* subject, MatchMode mode, FactsCache* cache);
  KeyMatcher(const KeyMatcher&) = delete;
  KeyMatcher& operator=(const KeyMatcher&) = delete;

  const char* Subject() const { return subject; }
  size_t SubjectLength() const { return length; }
  MatchMode Mode() const { return mode; }

  // Matches: whether the key text key[0, length) (no NUL inside) matches the subject: compared
  // as a whole text with ExactKey; with PatternKey, by its bytes (KeyPlain), by the facts of
  // cache entry entry (KeyFacts) or compiled and searched (KeyCompiled). Any other mode matches
  // no key.
  // (Inline: a lookup asks it of every key of the file.)
  bool Matches(const char* key, size_t keyLength, KeyForm form,
               uint32_t entry = FactsCache::kNone) {
    if (mode == ExactKey) {
      return keyLength == length && std::memcmp(key, subject, keyLength) == 0;
    }
    if (mode != PatternKey) return false;
    switch (form) {
      case KeyPlain:
        return SubjectContains(index, key, keyLength);
      case KeyFacts:
        switch (JudgeFacts(index, cache->Facts(entry))) {
          case KeyMatch:
            return true;
          case KeyNoMatch:
            return false;
          case KeySearch:
            break;
        }
        return PatternFound(cache->Compiled(entry), subject);
      case KeyCompiled:
        break;
    }
    return MatchesCompiled(key, keyLength);
  }
  // MatchesText: Matches for a key known by its text alone: its facts are taken from the cache
  // (or it is compiled when they cannot be had).
  bool MatchesText(const char* key, size_t keyLength);
  // Span: where a matched key matches in the subject, as byte offsets [*start, *end): entry 0 of
  // a search of the key compiled afresh (the verdict may have come from its facts, without a
  // search), started where its facts say no match starts before; an exact key spans the whole
  // subject. False, with *start and *end 0, when the search finds nothing (it gave up on its
  // budget).
  bool Span(const char* key, size_t keyLength, size_t* start, size_t* end);

 private:
  bool MatchesCompiled(const char* key, size_t keyLength);
  size_t SearchFrom(const char* key, size_t keyLength);

  const char* subject;
  size_t length;
  MatchMode mode;
  FactsCache* cache;
  SubjectIndex index;  // prepared for the byte searches of pattern keys
};

}  // namespace mimoza
