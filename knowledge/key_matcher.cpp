// knowledge/key_matcher.cpp: a subject line, the keys of a lookup and its slice -> the verdict on
// each key, the keys not searched to their end, and where matched keys match.
// Leaves this file: KeyMatcher's members. The copy of a key as a pattern text is private.
// Tested by tests/knowledge/dictionary_test.cpp and fuzz/dictionary_fuzz.cpp.
#include "knowledge/key_matcher.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "knowledge/knowledge_internal.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Marks in keySlots for keys that need no slot.
constexpr uint32_t kSlotNone = UINT32_MAX;            // not considered: matches nothing
constexpr uint32_t kSlotNoMatch = UINT32_MAX - 1;     // decided: no match
constexpr uint32_t kSlotMatch = UINT32_MAX - 2;       // decided: a match (its span not asked)
constexpr uint32_t kSlotPlainMatch = UINT32_MAX - 3;  // a plain key found: its span is its bytes

// KeyText: a key as the NUL-terminated pattern text the compiler and the facts take.
class KeyText {
 public:
  // Set: false for a key longer than any a lookup reads (it matches nothing).
  bool Set(const char* key, size_t length) {
    if (length > kMaxKeyBytes) return false;
    std::memcpy(text, key, length);
    text[length] = '\0';
    return true;
  }
  const char* Get() const { return text; }

 private:
  char text[kMaxKeyBytes + 1] = {};
};

}  // namespace

KeyMatcher::KeyMatcher(const char* theSubject, MatchMode theMode, FactsCache* theCache,
                       const KeyWork& theWork, bool isReference)
    : subject(theSubject),
      length(theSubject == nullptr ? 0 : std::strlen(theSubject)),
      mode(theMode),
      cache(theCache),
      work(theWork),
      reference(isReference) {
  if (subject != nullptr && mode == PatternKey) IndexSubject(subject, &index);
}

KeyMatcher::~KeyMatcher() {
  for (const uint32_t entry : held) cache->Release(entry);
}

bool KeyMatcher::Reserve(size_t keyCount) {
  // The one place a lookup's tables grow: report running out as a result, as the core does.
  try {
    keySlots.assign(keyCount, kSlotNone);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  return !outOfMemory;
}

void KeyMatcher::Consider(size_t k, const char* key, size_t keyLength, KeyForm form,
                          uint32_t entry) {
  if (outOfMemory || k >= keySlots.size()) return;
  if (mode == ExactKey) {
    const bool same = keyLength == length && std::memcmp(key, subject, keyLength) == 0;
    keySlots[k] = same ? kSlotMatch : kSlotNoMatch;
    return;
  }
  if (mode != PatternKey || keyLength > kMaxKeyBytes) {
    keySlots[k] = kSlotNoMatch;
    return;
  }
  if (form == KeyCompiled && IsPlainPattern(key, keyLength)) form = KeyPlain;
  switch (form) {
    case KeyPlain:
      if (reference) {
        Decide(k, key, keyLength, FactsCache::kNone,
               SubjectContains(index, key, keyLength) ? KeyMatch : KeyNoMatch);
      } else {
        keySlots[k] = SubjectContains(index, key, keyLength) ? kSlotPlainMatch : kSlotNoMatch;
      }
      return;
    case KeyFacts:
      Decide(k, key, keyLength, entry, JudgeFacts(index, cache->Facts(entry)));
      return;
    case KeyCompiled:
      break;
  }
  // The facts of a key the cache does not keep are worked out for this lookup alone.
  KeyText text;
  text.Set(key, keyLength);
  PatternFacts facts;
  const KeyVerdict verdict =
      ComputePatternFacts(text.Get(), &facts) ? JudgeFacts(index, facts) : KeySearch;
  Decide(k, key, keyLength, FactsCache::kNone, verdict);
}

void KeyMatcher::ConsiderText(size_t k, const char* key, size_t keyLength) {
  if (mode != PatternKey || IsPlainPattern(key, keyLength)) {
    Consider(k, key, keyLength, KeyPlain);
    return;
  }
  const uint32_t entry = cache == nullptr ? FactsCache::kNone : cache->Acquire(key, keyLength);
  if (entry == FactsCache::kNone) {
    Consider(k, key, keyLength, KeyCompiled);
    return;
  }
  try {
    held.push_back(entry);
  } catch (const std::bad_alloc&) {
    cache->Release(entry);
    Consider(k, key, keyLength, KeyCompiled);
    return;
  }
  Consider(k, key, keyLength, KeyFacts, entry);
}

// Decide: key k as its facts judged it.
void KeyMatcher::Decide(size_t k, const char* key, size_t keyLength, uint32_t entry,
                        KeyVerdict verdict) {
  if (reference && verdict != KeySearch) {
    // The reference takes nothing from the facts: it searches the key itself.
    KeyText text;
    text.Set(key, keyLength);
    verdict = MatchesPattern(text.Get(), subject) ? KeyMatch : KeyNoMatch;
  }
  switch (verdict) {
    case KeyNoMatch:
      keySlots[k] = kSlotNoMatch;
      return;
    case KeyMatch:
      keySlots[k] =
          work.spanSteps > 0 ? SlotFor(key, keyLength, entry, OutcomeFactsMatch) : kSlotMatch;
      return;
    case KeySearch:
      keySlots[k] = SlotFor(key, keyLength, entry, OutcomeToSearch);
      return;
  }
}

// SlotFor: the slot of a distinct key text, made with outcome when it is new. The same text
// always gets the same verdict, so it is searched once.
uint32_t KeyMatcher::SlotFor(const char* key, size_t keyLength, uint32_t entry, Outcome outcome) {
  try {
    const auto [found, added] =
        slotOf.emplace(std::string_view(key, keyLength), static_cast<uint32_t>(slots.size()));
    if (added) slots.push_back(Slot{key, keyLength, entry, outcome, false, false, 0, 0});
    return found->second;
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
    return kSlotNoMatch;
  }
}

void KeyMatcher::Settle() {
  int64_t toSearch = 0;
  int64_t factsMatched = 0;
  for (const Slot& slot : slots) {
    toSearch += slot.outcome == OutcomeToSearch ? 1 : 0;
    factsMatched += slot.outcome == OutcomeFactsMatch ? 1 : 0;
  }
  if (factsMatched > 0) spanShare = work.spanSteps / factsMatched;
  if (toSearch == 0 || outOfMemory) return;
  const int64_t before = steps;
  const int64_t first = std::min(kKeyShareSteps, work.verdictSteps / toSearch);
  int64_t ranOut = 0;
  for (Slot& slot : slots) {
    if (slot.outcome != OutcomeToSearch || stopped) continue;
    Search(slot, first, 0, false);
    ranOut += slot.outcome == OutcomeOutOfSteps ? 1 : 0;
  }
  if (ranOut == 0 || stopped) return;
  // Only the keys that need more share what the first round left, equally.
  const int64_t second = (work.verdictSteps - (steps - before)) / ranOut;
  if (second <= first) return;
  for (Slot& slot : slots) {
    if (slot.outcome == OutcomeOutOfSteps && !stopped) Search(slot, second, 0, false);
  }
}

// PatternOf: the slot's compiled pattern within *work's limit: a kept one (charged what
// compiling it took) or compiled now into *local (and kept when the cache has room). Null with
// work->end WorkDone: the key never matches.
const Pattern* KeyMatcher::PatternOf(Slot& slot, PatternWork* patternWork, PatternPtr* local) {
  const bool cached = cache != nullptr && slot.entry != FactsCache::kNone;
  if (cached) {
    if (const Pattern* kept = cache->KeptPattern(slot.entry)) {
      const int64_t cost = CompileSteps(kept);
      patternWork->end = cost > patternWork->stepLimit ? WorkOutOfSteps : WorkDone;
      patternWork->steps = std::min(cost, patternWork->stepLimit);
      return patternWork->end == WorkDone ? kept : nullptr;
    }
  }
  KeyText text;
  if (!text.Set(slot.text, slot.length)) return nullptr;
  local->reset(CompileWithin(text.Get(), patternWork));
  if (cached && *local != nullptr) return cache->KeepPattern(slot.entry, *local);
  return local->get();
}

// Search: one search of the slot's key within share steps, from subject offset from: for its
// verdict, or (forSpan) for the span of a key its facts matched.
void KeyMatcher::Search(Slot& slot, int64_t share, size_t from, bool forSpan) {
  PatternWork compiling;
  compiling.stepLimit = share;
  compiling.stop = work.stop;
  PatternPtr local;
  const Pattern* pattern = PatternOf(slot, &compiling, &local);
  PatternWork searching;
  searching.stepLimit = share - compiling.steps;
  searching.stop = work.stop;
  MatchSpan* spans = nullptr;
  const bool found = compiling.end == WorkDone && pattern != nullptr &&
                     SearchWithin(pattern, subject + from, &spans, &searching) > 0;
  steps += compiling.steps + searching.steps;
  const WorkEnd end = compiling.end != WorkDone ? compiling.end : searching.end;
  stopped = stopped || end == WorkStopped;
  if (found && spans[0].start != nullptr && spans[0].end != nullptr) {
    slot.spanFound = true;
    slot.spanStart = static_cast<size_t>(spans[0].start - subject);
    slot.spanEnd = static_cast<size_t>(spans[0].end - subject);
  }
  FreeSpans(spans);
  if (forSpan) return;  // a span search leaves the verdict as it was
  switch (end) {
    case WorkDone:
      slot.outcome = found ? OutcomeMatch : OutcomeNoMatch;
      break;
    case WorkOutOfSteps:
      slot.outcome = OutcomeOutOfSteps;
      break;
    case WorkOutOfMemory:
      slot.outcome = OutcomeOutOfMemory;
      break;
    case WorkStopped:
      slot.outcome = OutcomeStopped;
      break;
  }
}

bool KeyMatcher::Matches(size_t k) const {
  if (outOfMemory || k >= keySlots.size()) return false;
  const uint32_t slot = keySlots[k];
  if (slot == kSlotMatch || slot == kSlotPlainMatch) return true;
  if (slot >= kSlotPlainMatch) return false;
  const Outcome outcome = slots[slot].outcome;
  return outcome == OutcomeMatch || outcome == OutcomeFactsMatch;
}

bool KeyMatcher::Unsearched(size_t k, UnsearchedReason* reason) const {
  if (outOfMemory || k >= keySlots.size() || keySlots[k] >= kSlotPlainMatch) return false;
  switch (slots[keySlots[k]].outcome) {
    case OutcomeOutOfSteps:
      *reason = UnsearchedSteps;
      return true;
    case OutcomeOutOfMemory:
      *reason = UnsearchedMemory;
      return true;
    default:
      return false;
  }
}

bool KeyMatcher::Span(size_t k, const char* key, size_t keyLength, size_t* start, size_t* end) {
  *start = 0;
  *end = 0;
  if (mode == ExactKey) {
    *end = length;
    return true;
  }
  if (mode != PatternKey || k >= keySlots.size()) return false;
  const uint32_t at = keySlots[k];
  if (at == kSlotPlainMatch) {
    *start = FirstMatchFrom(index, key, keyLength, nullptr);
    *end = *start + keyLength;
    return true;
  }
  if (at >= kSlotPlainMatch) return false;
  Slot& slot = slots[at];
  if (slot.outcome == OutcomeFactsMatch && !slot.spanTried) {
    slot.spanTried = true;
    // No match starts before where the facts say; searching from there finds the same one.
    const size_t from = cache != nullptr && slot.entry != FactsCache::kNone
                            ? FirstMatchFrom(index, nullptr, 0, &cache->Facts(slot.entry))
                            : 0;
    Search(slot, spanShare, from <= length ? from : 0, true);
  }
  if (!slot.spanFound) return false;
  *start = slot.spanStart;
  *end = slot.spanEnd;
  return true;
}

}  // namespace mimoza
