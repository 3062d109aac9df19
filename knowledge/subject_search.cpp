// knowledge/subject_search.cpp: one subject line and many byte texts -> whether each occurs, and
// a key's facts -> match, no match, or "compile and search".
// Leaves this file: SubjectIndex, IndexSubject, StartsCharacter, SubjectContains, FirstMatchFrom,
// JudgeFacts. The occurrence walk and the star-form walk are private. Tested by
// tests/knowledge/subject_search_test.cpp (against CompilePattern and SearchPattern).
#include "knowledge/subject_search.h"

#include <cstdlib>
#include <cstring>

#include "knowledge/knowledge_internal.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Subjects shorter than this are scanned directly: an index would cost more than it saves.
constexpr size_t kIndexFrom = 128;
constexpr uint32_t kPairBuckets = 4096;  // ~1.5 pairs a bucket for the longest input line

// QuadBit: the bit of the four bytes at p in SubjectIndex::quadBits.
uint32_t QuadBit(const unsigned char* p) {
  uint32_t quad;
  std::memcpy(&quad, p, sizeof quad);
  return (quad * 2654435761u) >> 16;
}

uint32_t PairBucket(unsigned char first, unsigned char second) {
  const uint32_t pair = (static_cast<uint32_t>(first) << 8) | second;
  return (pair * 2654435761u) >> 20;  // the top 12 bits of a Fibonacci hash
}

}  // namespace

SubjectIndex::~SubjectIndex() {
  std::free(bucketStarts);
  std::free(positions);
  std::free(pairBits);
  std::free(quadBits);
  std::free(walkMarks);
  std::free(starts);
}

bool StartsCharacter(const SubjectIndex& subject, size_t pos) {
  if (subject.starts != nullptr) return (subject.starts[pos >> 6] >> (pos & 63) & 1) != 0;
  const auto* s = reinterpret_cast<const unsigned char*>(subject.bytes);
  size_t at = 0;
  while (at < pos) at += CharacterLength(s + at);
  return at == pos;
}

void IndexSubject(const char* subject, SubjectIndex* index) {
  index->bytes = subject;
  index->length = std::strlen(subject);
  const auto* s = reinterpret_cast<const unsigned char*>(subject);
  index->starts = static_cast<uint64_t*>(std::calloc(index->length / 64 + 1, sizeof(uint64_t)));
  if (index->starts != nullptr) {
    for (size_t at = 0; at < index->length; at += CharacterLength(s + at)) {
      index->starts[at >> 6] |= uint64_t{1} << (at & 63);
    }
  }
  if (index->length < 2 || index->length > UINT32_MAX) return;
  index->pairBits = static_cast<uint64_t*>(std::calloc(65536 / 64, sizeof(uint64_t)));
  if (index->pairBits != nullptr) {
    for (size_t i = 0; i + 1 < index->length; ++i) {
      const uint32_t pair = (static_cast<uint32_t>(s[i]) << 8) | s[i + 1];
      index->pairBits[pair >> 6] |= uint64_t{1} << (pair & 63);
    }
  }
  if (index->length < kIndexFrom) return;
  // In a long line most byte pairs of Japanese text occur somewhere; runs of four bytes (two
  // characters) still rule out most needles.
  index->quadBits = static_cast<uint64_t*>(std::calloc(65536 / 64, sizeof(uint64_t)));
  if (index->quadBits != nullptr) {
    for (size_t i = 0; i + 4 <= index->length; ++i) {
      const uint32_t bit = QuadBit(s + i);
      index->quadBits[bit >> 6] |= uint64_t{1} << (bit & 63);
    }
  }
  const size_t pairs = index->length - 1;
  auto* starts = static_cast<uint32_t*>(std::calloc(kPairBuckets + 1, sizeof(uint32_t)));
  auto* positions = static_cast<uint32_t*>(std::malloc(pairs * sizeof(uint32_t)));
  if (starts == nullptr || positions == nullptr) {
    std::free(starts);
    std::free(positions);
    return;
  }
  // Counting sort of the pair positions by bucket: count, turn counts into starts, place.
  for (size_t i = 0; i < pairs; ++i) ++starts[PairBucket(s[i], s[i + 1]) + 1];
  for (uint32_t b = 0; b < kPairBuckets; ++b) starts[b + 1] += starts[b];
  for (size_t i = 0; i < pairs; ++i) {
    const uint32_t bucket = PairBucket(s[i], s[i + 1]);
    positions[starts[bucket]++] = static_cast<uint32_t>(i);
  }
  // Placing advanced every start to the next bucket's start: shift them back.
  for (uint32_t b = kPairBuckets; b > 0; --b) starts[b] = starts[b - 1];
  starts[0] = 0;
  index->bucketStarts = starts;
  index->positions = positions;
}

bool SubjectContains(const SubjectIndex& subject, const char* needle, size_t length) {
  if (length > subject.length) return false;
  const auto* n = reinterpret_cast<const unsigned char*>(needle);
  // Quads first: a long line holds most byte pairs, so for it the pairs rarely rule anything out
  // and checking them all first would cost more than the quads save.
  if (subject.quadBits != nullptr) {
    for (size_t i = 0; i + 4 <= length; ++i) {
      const uint32_t bit = QuadBit(n + i);
      if ((subject.quadBits[bit >> 6] & (uint64_t{1} << (bit & 63))) == 0) return false;
    }
  }
  if (subject.pairBits != nullptr) {
    for (size_t i = 0; i + 1 < length; ++i) {
      const uint32_t pair = (static_cast<uint32_t>(n[i]) << 8) | n[i + 1];
      if ((subject.pairBits[pair >> 6] & (uint64_t{1} << (pair & 63))) == 0) return false;
    }
  }
  if (subject.bucketStarts == nullptr || length < 2) {
    const char* end = subject.bytes + subject.length;
    for (const char* at = FindBytes(subject.bytes, needle, length, end); at != nullptr;
         at = FindBytes(at + 1, needle, length, end)) {
      if (StartsCharacter(subject, static_cast<size_t>(at - subject.bytes))) return true;
    }
    return false;
  }
  size_t rarest = 0;
  uint32_t rarestCount = UINT32_MAX;
  for (size_t i = 0; i + 1 < length; ++i) {
    const uint32_t bucket = PairBucket(n[i], n[i + 1]);
    const uint32_t count = subject.bucketStarts[bucket + 1] - subject.bucketStarts[bucket];
    if (count == 0) return false;
    if (count < rarestCount) {
      rarestCount = count;
      rarest = i;
    }
  }
  const uint32_t bucket = PairBucket(n[rarest], n[rarest + 1]);
  for (uint32_t k = subject.bucketStarts[bucket]; k < subject.bucketStarts[bucket + 1]; ++k) {
    const size_t pairAt = subject.positions[k];
    if (pairAt < rarest) continue;
    const size_t start = pairAt - rarest;
    if (start + length <= subject.length &&
        std::memcmp(subject.bytes + start, needle, length) == 0 &&
        StartsCharacter(subject, start)) {
      return true;
    }
  }
  return false;
}

namespace {

// ForEachOccurrence: calls visit(p) for every p where the text (length >= 1) occurs in the
// subject, in increasing order, until visit returns false.
template <typename Visit>
void ForEachOccurrence(const SubjectIndex& subject, const FactsText& text, Visit visit) {
  const size_t n = text.length;
  if (n > subject.length) return;
  if (subject.bucketStarts == nullptr || n < 2) {
    const char* end = subject.bytes + subject.length;
    for (const char* at = FindBytes(subject.bytes, text.bytes, n, end); at != nullptr;
         at = FindBytes(at + 1, text.bytes, n, end)) {
      const auto pos = static_cast<size_t>(at - subject.bytes);
      if (StartsCharacter(subject, pos) && !visit(pos)) return;
    }
    return;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(text.bytes);
  const uint32_t bucket = PairBucket(b[0], b[1]);
  for (uint32_t k = subject.bucketStarts[bucket]; k < subject.bucketStarts[bucket + 1]; ++k) {
    const size_t at = subject.positions[k];
    if (at + n <= subject.length && std::memcmp(subject.bytes + at, text.bytes, n) == 0 &&
        StartsCharacter(subject, at) && !visit(at)) {
      return;
    }
  }
}

bool Contains(const SubjectIndex& subject, const FactsText& text) {
  return text.length == 0 || SubjectContains(subject, text.bytes, text.length);
}

// NextWalkStamp: the stamp that marks places for one key, or 0 without memory for the marks.
// Stamps left by earlier keys never equal it: when the stamps run out, the marks are cleared.
uint16_t NextWalkStamp(const SubjectIndex& subject) {
  const size_t marks = 2 * (subject.length + 1);
  if (subject.walkMarks == nullptr) {
    subject.walkMarks = static_cast<uint16_t*>(std::calloc(marks, sizeof(uint16_t)));
    if (subject.walkMarks == nullptr) return 0;
    subject.walkStamp = 0;
  }
  if (subject.walkStamp == UINT16_MAX) {
    std::memset(subject.walkMarks, 0, marks * sizeof(uint16_t));
    subject.walkStamp = 0;
  }
  return ++subject.walkStamp;
}

// DecideStarForm: whether prefix, starred characters, suffix match somewhere in the subject.
// From the end of every prefix occurrence the walk steps over the characters the star takes, by
// the matcher's own step rule, and succeeds at a place where a suffix text begins. A place
// reached once need not be walked from again: the steps from it are the same whichever start led
// there. Only the occurrences are visited and only the places walked are marked, so a key costs
// what its texts and walks touch, not the subject's length.
KeyVerdict DecideStarForm(const SubjectIndex& subject, const PatternFacts& facts) {
  const size_t length = subject.length;
  const auto* s = reinterpret_cast<const unsigned char*>(subject.bytes);
  if (facts.suffixCount == 0) return KeyNoMatch;  // nothing can follow the starred characters
  const uint16_t stamp = NextWalkStamp(subject);
  if (stamp == 0) return KeySearch;
  uint16_t* suffixes = subject.walkMarks;             // a suffix text begins here
  uint16_t* walked = subject.walkMarks + length + 1;  // reached by the walk
  bool everySuffix = false;  // an empty suffix text: every place reached ends a match
  for (int32_t i = 0; i < facts.suffixCount && !everySuffix; ++i) {
    const FactsText suffix = facts.Suffix(i);
    everySuffix = suffix.length == 0;
    ForEachOccurrence(subject, suffix, [&](size_t at) {
      suffixes[at] = stamp;
      return true;
    });
  }
  // Step: moves at past the subject character there when the star takes it.
  auto step = [&](size_t* at) {
    if (*at >= length) return false;  // the terminating NUL is no character
    const size_t width = CharacterLength(s + *at);
    bool taken = facts.starAny;
    for (int32_t i = 0; i < facts.starCount && !taken; ++i) {
      const FactsText c = facts.StarChar(i);
      taken = c.length == width && std::memcmp(c.bytes, s + *at, width) == 0;
    }
    if (taken) *at += width;
    return taken;
  };
  bool matched = false;
  // WalkFrom: walks from the end of a prefix text; false once matched.
  auto walkFrom = [&](size_t at) {
    for (;;) {
      if (walked[at] == stamp) return true;
      walked[at] = stamp;
      if (everySuffix || suffixes[at] == stamp) {
        matched = true;
        return false;
      }
      if (!step(&at)) return true;
    }
  };
  for (int32_t i = 0; i < facts.prefixCount && !matched; ++i) {
    const FactsText prefix = facts.Prefix(i);
    if (prefix.length == 0) {
      // Every character is a start.
      for (size_t p = 0; p < length; p += CharacterLength(s + p)) {
        if (!walkFrom(p)) break;
      }
    } else {
      ForEachOccurrence(subject, prefix, [&](size_t p) { return walkFrom(p + prefix.length); });
    }
  }
  return matched ? KeyMatch : KeyNoMatch;
}

}  // namespace

size_t FirstMatchFrom(const SubjectIndex& subject, const char* plainText, size_t plainLength,
                      const PatternFacts* facts) {
  size_t first = subject.length;
  const auto earliest = [&](const FactsText& text) {
    if (text.length == 0) {
      first = 0;
      return;
    }
    ForEachOccurrence(subject, text, [&](size_t at) {
      if (at < first) first = at;
      return false;
    });
  };
  if (plainText != nullptr) {
    earliest(FactsText{plainText, plainLength});
  } else if (facts != nullptr && facts->textCount > 0) {
    for (int32_t i = 0; i < facts->textCount; ++i) earliest(facts->Text(i));
  } else if (facts != nullptr && facts->starForm) {
    for (int32_t i = 0; i < facts->prefixCount; ++i) earliest(facts->Prefix(i));
  } else {
    return 0;
  }
  return first < subject.length ? first : 0;
}

KeyVerdict JudgeFacts(const SubjectIndex& subject, const PatternFacts& facts) {
  // The search never tries the end of a subject as a start, so an empty subject matches nothing.
  if (subject.length == 0) return KeyNoMatch;
  // Finitely many texts: the key matches where one of them occurs.
  if (facts.textCount >= 0) {
    for (int32_t i = 0; i < facts.textCount; ++i) {
      if (Contains(subject, facts.Text(i))) return KeyMatch;
    }
    return KeyNoMatch;
  }
  for (int32_t c = 0; c < facts.clauseCount; ++c) {
    bool holds = false;
    for (int32_t i = 0; i < facts.clauseSizes[c] && !holds; ++i) {
      holds = Contains(subject, facts.Needle(c, i));
    }
    if (!holds) return KeyNoMatch;
  }
  if (facts.starForm) return DecideStarForm(subject, facts);
  return KeySearch;
}

}  // namespace mimoza
