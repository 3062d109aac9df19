// knowledge/subject_search.h: one subject line prepared for many byte searches, and the verdict
// on a dictionary key from its facts (pattern/pattern.h) without compiling it.
// A lookup tests every key on every turn. Most keys are plain words, and most keys that are
// patterns still need some literal text to occur in the subject; both are settled here by byte
// searches over the subject, and only the keys that may match go on to the pattern matcher. Every
// verdict given here is the one compiling and searching the key would give.
// Private to mimoza_knowledge and its tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/pattern.h"

namespace mimoza {

// A subject prepared for many byte searches. Every subject gets the set of byte pairs it holds,
// which rules out most needles at once; long subjects also get the positions of their pairs, so a
// search looks only where the needle's rarest pair occurs instead of at every byte.
struct SubjectIndex {
  const char* bytes = nullptr;
  size_t length = 0;
  uint32_t* bucketStarts = nullptr;  // kPairBuckets + 1 offsets into positions, or null: no index
  uint32_t* positions = nullptr;     // positions of the subject's byte pairs, grouped by bucket
  uint64_t* pairBits = nullptr;      // 65536 bits: which byte pairs occur at all, or null
  uint64_t* quadBits = nullptr;      // 65536 bits by hash: runs of four bytes of long subjects
  // A bit per position, set where a character starts: a match starts only there, never on the
  // second byte of a two-byte character. Null when it could not be made (then worked out).
  uint64_t* starts = nullptr;
  // The places a starred key's walk has marked, 2 * (length + 1) stamps made on first use and
  // kept for every later key: a mark counts only when it holds the current key's stamp, so no
  // key pays for clearing them.
  mutable uint16_t* walkMarks = nullptr;
  mutable uint16_t walkStamp = 0;

  SubjectIndex() = default;
  SubjectIndex(const SubjectIndex&) = delete;
  SubjectIndex& operator=(const SubjectIndex&) = delete;
  ~SubjectIndex();
};

// IndexSubject: prepares the NUL-terminated subject. Without memory for the index the searches
// fall back to scanning, with the same results.
void IndexSubject(const char* subject, SubjectIndex* index);

// StartsCharacter: whether a character of the subject starts at pos (pos < length).
bool StartsCharacter(const SubjectIndex& subject, size_t pos);

// SubjectContains: whether needle[0, length) occurs in the subject (length >= 1) where a
// character starts.
bool SubjectContains(const SubjectIndex& subject, const char* needle, size_t length);

// FirstMatchFrom: a place no match of the key can start before, from its facts (null: none
// known) or, for a plain key, its text: the first occurrence of the plain text, of a finite
// key's texts or of a star-form key's prefixes. Such keys have no anchors, so searching the
// subject from there finds the same first match as searching it whole. 0 when nothing is known.
size_t FirstMatchFrom(const SubjectIndex& subject, const char* plainText, size_t plainLength,
                      const PatternFacts* facts);

enum KeyVerdict : int8_t {
  KeyNoMatch = 0,  // the key cannot match the subject
  KeyMatch,        // the key matches the subject
  KeySearch,       // undecided: compile the key and search it
};

// JudgeFacts: what a key with these facts (from ComputePatternFacts) does with the subject.
KeyVerdict JudgeFacts(const SubjectIndex& subject, const PatternFacts& facts);

}  // namespace mimoza
