// knowledge/key_matcher.h: one subject line, the keys of a lookup and its slice of the turn's
// budget -> the verdict on each key ("does this key match this line"), which keys could not be
// searched to their end, and where a matched key matches.
// Every lookup path (over the index, over a whole text, the reference lookup) considers each of
// its keys here, settles them, then asks the verdict of each key its walk reaches, and the report
// to a lookup's observer asks Span for each matched key: this is the one place where a lookup
// tests keys against its line, so the budget that bounds that work lives here.
// Leaves this file: KeyForm, KeyWork, KeyMatcher. Private to mimoza_knowledge.
// Tested by tests/knowledge/dictionary_test.cpp (every path against the reference lookup, the
// observer's spans, the hostile dictionaries) and fuzz/dictionary_fuzz.cpp.
//
// How the slice is shared. Plain keys and keys whose facts decide cost no steps. The others (the
// keys "to search", counted once per distinct text) each first get the same share: the slice
// over their number, at most kKeyShareSteps, which the keys people write never use up. The keys
// that run out of it are searched again from the start, each with an equal part of what the
// first round left. A key that runs out again counts as not matching. A kept compiled pattern is
// charged what compiling it took, so keeping it saves time but never changes a verdict: the
// verdicts depend on the subject, the keys and the slice alone, never on the keys' order, an
// earlier lookup or what the cache holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "knowledge/facts_cache.h"
#include "knowledge/knowledge.h"
#include "knowledge/subject_search.h"
#include "pattern/pattern.h"

namespace mimoza {

// What is known of a key before it is tested against a pattern lookup's line.
enum KeyForm : int8_t {
  KeyPlain = 0,  // a plain text (IsPlainPattern): it matches where its bytes occur
  KeyFacts,      // a pattern whose facts are a cache entry: they decide, or it is searched
  KeyCompiled,   // a pattern known by its text alone: its facts are worked out for the lookup
};

// The lookup's slice of the turn.
struct KeyWork {
  int64_t verdictSteps = kLineLookupSteps;  // for deciding the keys
  int64_t spanSteps = 0;                    // for the spans of the matched keys (0: none asked)
  const std::atomic<bool>* stop = nullptr;  // set: every search gives up at once
};

class KeyMatcher {
 public:
  // subject: the NUL-terminated line keys are tested against; cache: where key facts and kept
  // patterns come from (null: none are kept). reference: the keys the facts decide are searched
  // instead (with the default limits of one search, pattern/limits.h), so that the reference
  // lookup checks the facts; the keys to search are shared out the same way.
  KeyMatcher(const char* subject, MatchMode mode, FactsCache* cache, const KeyWork& work,
             bool reference = false);
  KeyMatcher(const KeyMatcher&) = delete;
  KeyMatcher& operator=(const KeyMatcher&) = delete;
  ~KeyMatcher();

  // Consider: key k of the lookup (k < keyCount given to Reserve) is the text key[0, length) (no
  // NUL inside), known as form; entry is its cache entry for KeyFacts. The text must stay valid
  // until the matcher is gone.
  void Consider(size_t k, const char* key, size_t length, KeyForm form,
                uint32_t entry = FactsCache::kNone);
  // ConsiderText: Consider for a key known by its text alone: its facts are taken from the cache
  // (held until the matcher is gone) or worked out.
  void ConsiderText(size_t k, const char* key, size_t length);
  // Reserve: room for keyCount keys; false when memory runs out (every key then matches nothing).
  bool Reserve(size_t keyCount);
  // Settle: searches the keys to search, sharing the slice as said above.
  void Settle();

  // Matches: the verdict on key k (after Settle); false for a key not considered.
  bool Matches(size_t k) const;
  // Unsearched: whether key k counts as not matching because its search could not run to its
  // end, and why.
  bool Unsearched(size_t k, UnsearchedReason* reason) const;
  // Span: where matched key k (its text key[0, length)) matches in the subject, as byte offsets
  // [*start, *end): entry 0 of its search, made within the span slice when its verdict needed
  // none; an exact key spans the whole subject. False, with *start and *end 0, when that search
  // could not run to its end.
  bool Span(size_t k, const char* key, size_t length, size_t* start, size_t* end);

  // Stopped: the stop flag was seen set; the verdicts are then incomplete.
  bool Stopped() const { return stopped; }
  // Steps: what the lookup's searches took, compilations included.
  int64_t Steps() const { return steps; }

 private:
  // What is known of a distinct key text that needs a search (or, when spans are asked, a key
  // its facts matched).
  enum Outcome : int8_t {
    OutcomeToSearch = 0,  // not decided yet
    OutcomeFactsMatch,    // its facts (or the reference's own search) matched it: no span yet
    OutcomeMatch,         // its search matched it: span known
    OutcomeNoMatch,
    OutcomeOutOfSteps,   // its share ran out
    OutcomeOutOfMemory,  // its search needed more memory than one may take
    OutcomeStopped,
  };
  struct Slot {
    const char* text;
    size_t length;
    uint32_t entry;  // its cache entry, or FactsCache::kNone
    Outcome outcome;
    bool spanTried;  // a span search ran (OutcomeFactsMatch)
    bool spanFound;
    size_t spanStart;
    size_t spanEnd;
  };

  void Decide(size_t k, const char* key, size_t length, uint32_t entry, KeyVerdict verdict);
  uint32_t SlotFor(const char* key, size_t length, uint32_t entry, Outcome outcome);
  void Search(Slot& slot, int64_t share, size_t from, bool forSpan);
  const Pattern* PatternOf(Slot& slot, PatternWork* work, PatternPtr* local);

  const char* subject;
  size_t length;
  MatchMode mode;
  FactsCache* cache;
  KeyWork work;
  bool reference;
  SubjectIndex index;  // prepared for the byte searches of pattern keys

  std::vector<uint32_t> keySlots;  // per key: a Slot index, or one of the kSlot... marks
  std::vector<Slot> slots;
  std::unordered_map<std::string_view, uint32_t> slotOf;  // distinct texts
  std::vector<uint32_t> held;                             // cache entries ConsiderText took
  int64_t spanShare = 0;  // each span search's share, once Settle has counted them
  int64_t steps = 0;
  bool stopped = false;
  bool outOfMemory = false;  // the tables could not grow: every key matches nothing
};

}  // namespace mimoza
