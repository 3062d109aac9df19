// knowledge/key_match.cpp: key text + subject -> match, no match, or "compile and search".
// Leaves this file: SubjectIndex, IndexSubject, SubjectContains, JudgeKey. The screening lexer
// and parser (Screen*) are private.
// Tested by tests/knowledge/key_match_test.cpp (against CompilePattern and SearchPattern).
#include "knowledge/key_match.h"

#include <cstdlib>
#include <cstring>

#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Subjects shorter than this are scanned directly: an index would cost more than it saves.
constexpr size_t kIndexFrom = 128;
constexpr uint32_t kPairBuckets = 4096;  // ~1.5 pairs a bucket for the longest input line

uint32_t PairBucket(unsigned char first, unsigned char second) {
  const uint32_t pair = (static_cast<uint32_t>(first) << 8) | second;
  return (pair * 2654435761u) >> 20;  // the top 12 bits of a Fibonacci hash
}

bool ScanContains(const char* bytes, size_t length, const char* needle, size_t needleLength) {
  if (needleLength > length) return false;
  const char* last = bytes + (length - needleLength);  // the last possible start
  for (const char* at = bytes; at <= last; ++at) {
    at = static_cast<const char*>(std::memchr(at, needle[0], static_cast<size_t>(last - at) + 1));
    if (at == nullptr) return false;
    if (std::memcmp(at + 1, needle + 1, needleLength - 1) == 0) return true;
  }
  return false;
}

// ---- Screening a key ----------------------------------------------------------------------
// A key is read with the pattern language's own token and grammar rules, but only to learn which
// literal texts a match must contain: "at least one of these needles occurs in the subject". The
// reading must cut tokens exactly where the pattern lexer does (a trail byte is never a
// metacharacter, a ")" that closes no group ends the pattern, "\" is left to the real lexer);
// whatever it does not fully understand it answers with "no requirement", which is always safe.

constexpr int32_t kMaxNeedles = 8;          // a set with more needles than this demands nothing
constexpr int32_t kMaxClauses = 4;          // a sequence keeps its most selective sets
constexpr int32_t kMaxScreenDepth = 16;     // deeper group nesting is simply compiled
constexpr int32_t kMaxSureCount = 1000000;  // larger repeat counts are not relied on

struct Needle {
  const char* bytes;
  size_t length;
};

// At least one of the needles occurs in the subject. Only the first count needles are set: the
// records are filled in place and never cleared, as every key of every lookup passes here.
struct Clause {
  int32_t count;
  Needle needles[kMaxNeedles];
};

// What a part of a pattern demands of any subject it matches: every clause holds. No clause at
// all: the part may match anywhere, even as the empty string.
struct Requirement {
  int32_t clauseCount;
  bool exact;  // one clause, and the part matches every subject that satisfies it
  Clause clauses[kMaxClauses];
};

void CopyClause(Clause& to, const Clause& from) {
  to.count = from.count;
  for (int32_t i = 0; i < from.count; ++i) to.needles[i] = from.needles[i];
}

void SetNeedles(Requirement& r, const Needle* needles, int32_t count, bool exact) {
  r.clauseCount = 1;
  r.exact = exact;
  r.clauses[0].count = count;
  for (int32_t i = 0; i < count; ++i) r.clauses[0].needles[i] = needles[i];
}

enum ScreenToken : int8_t {
  ScrChar,        // one literal character of charLength bytes at tokenStart
  ScrGroupOpen,   // "("
  ScrGroupClose,  // ")"
  ScrQuantZero,   // a quantifier that allows no copy of its atom: "*", "?", "{0,...}", "}" ...
  ScrQuantOne,    // a quantifier that demands a copy: "+", "+?", "{m,...}" with m >= 1
  ScrSet,         // a class of plain members, each in members
  ScrOpaque,      // an atom that demands nothing we can name: ".", a wide class, an anchor
  ScrBar,         // "|"
  ScrEnd,         // the end of the pattern, also where a construct is cut off
};

struct ScreenLexer {
  const char* cursor = nullptr;
  const char* end = nullptr;
  ScreenToken token = ScrEnd;
  const char* tokenStart = nullptr;
  size_t charLength = 0;
  Needle members[kMaxNeedles] = {};  // members of the current ScrSet
  int32_t memberCount = 0;
  bool gaveUp = false;  // a construct this reading leaves to the pattern lexer ("\")
  int32_t depth = 0;
};

bool IsScreenMeta(unsigned char c) { return std::strchr("()*+?{}.[]^$|\\", c) != nullptr && c; }

// ReadRepeat: "{" at cursor; counts up to "}" and an optional lazy "?".
void ReadRepeat(ScreenLexer& lx) {
  const char* p = lx.cursor + 1;
  int32_t minimum = 0;
  bool readingMax = false;
  bool huge = false;
  for (;;) {
    if (p == lx.end) {  // unterminated: the pattern ends here
      lx.cursor = lx.end;
      lx.token = ScrEnd;
      return;
    }
    const char b = *p++;
    if (b == '}') break;
    if (b == ',') readingMax = true;
    if (b >= '0' && b <= '9' && !readingMax && !huge) {
      minimum = minimum * 10 + (b - '0');
      huge = minimum > kMaxSureCount;
    }
  }
  if (p != lx.end && *p == '?') ++p;
  lx.cursor = p;
  lx.token = minimum >= 1 && !huge ? ScrQuantOne : ScrQuantZero;
}

// ReadClass: "[" at cursor. Plain members become needles; "^", "-", "]" as a member or more
// members than needles make the class opaque, and "\" gives the reading up.
void ReadClass(ScreenLexer& lx) {
  const char* p = lx.cursor + 1;
  bool opaque = false;
  lx.memberCount = 0;
  if (p == lx.end) {
    lx.cursor = lx.end;
    lx.token = ScrEnd;
    return;
  }
  if (*p == ']') {
    opaque = true;
    ++p;
  }
  if (lx.end - p >= 2 && p[0] == '^' && p[1] == ']') {
    opaque = true;
    p += 2;
  }
  for (;;) {
    if (p == lx.end) {
      lx.cursor = lx.end;
      lx.token = ScrEnd;
      return;
    }
    const auto b = static_cast<unsigned char>(*p);
    if (b == ']') {
      ++p;
      break;
    }
    if (b == '\\') {
      lx.gaveUp = true;
      lx.token = ScrEnd;
      return;
    }
    size_t width = 1;
    if (IsLeadByte(b)) {
      if (lx.end - p < 2) {
        lx.cursor = lx.end;
        lx.token = ScrEnd;
        return;
      }
      width = 2;
    } else if (b == '^' || b == '-') {
      opaque = true;
    }
    if (lx.memberCount < kMaxNeedles) {
      lx.members[lx.memberCount++] = Needle{p, width};
    } else {
      opaque = true;
    }
    p += width;
  }
  lx.cursor = p;
  lx.token = opaque ? ScrOpaque : ScrSet;
}

void NextScreenToken(ScreenLexer& lx) {
  if (lx.gaveUp || lx.cursor == lx.end) {
    lx.token = ScrEnd;
    return;
  }
  lx.tokenStart = lx.cursor;
  const auto c = static_cast<unsigned char>(*lx.cursor);
  switch (c) {
    case '(':
      lx.token = ScrGroupOpen;
      ++lx.cursor;
      return;
    case ')':
      lx.token = ScrGroupClose;
      ++lx.cursor;
      return;
    case '*':
    case '+':
    case '?':
    case '}':  // outside a repeat: the last counts, which this reading does not track
      lx.token = c == '+' ? ScrQuantOne : ScrQuantZero;
      ++lx.cursor;
      if (lx.cursor != lx.end && *lx.cursor == '?') ++lx.cursor;  // the lazy forms
      return;
    case '{':
      ReadRepeat(lx);
      return;
    case '[':
      ReadClass(lx);
      return;
    case '.':
    case ']':  // outside a class: the last class text
    case '^':
    case '$':
      lx.token = ScrOpaque;
      ++lx.cursor;
      return;
    case '|':
      lx.token = ScrBar;
      ++lx.cursor;
      return;
    case '\\':
      lx.gaveUp = true;
      lx.token = ScrEnd;
      return;
    default:
      break;
  }
  if (IsLeadByte(c)) {
    if (lx.end - lx.cursor < 2) {  // a lead byte without its trail byte
      lx.token = ScrOpaque;
      ++lx.cursor;
      return;
    }
    lx.token = ScrChar;
    lx.charLength = 2;
    lx.cursor += 2;
    return;
  }
  lx.token = ScrChar;
  lx.charLength = 1;
  ++lx.cursor;
}

size_t ShortestNeedle(const Clause& c) {
  size_t shortest = SIZE_MAX;
  for (int32_t i = 0; i < c.count; ++i) {
    if (c.needles[i].length < shortest) shortest = c.needles[i].length;
  }
  return shortest;
}

// Better: a clause whose shortest needle is longer rules out more subjects, and with equal
// lengths fewer needles rule out more.
bool IsBetter(const Clause& candidate, const Clause& current) {
  const size_t a = ShortestNeedle(candidate);
  const size_t b = ShortestNeedle(current);
  return a != b ? a > b : candidate.count < current.count;
}

// AddClause: adds a clause to a conjunction, dropping the least selective one when it is full.
void AddClause(Requirement& r, const Clause& clause) {
  if (r.clauseCount < kMaxClauses) {
    CopyClause(r.clauses[r.clauseCount++], clause);
    return;
  }
  int32_t worst = 0;
  for (int32_t i = 1; i < r.clauseCount; ++i) {
    if (IsBetter(r.clauses[worst], r.clauses[i])) worst = i;
  }
  if (IsBetter(clause, r.clauses[worst])) CopyClause(r.clauses[worst], clause);
}

void ScreenAlternation(ScreenLexer& lx, Requirement& all);

// atom -> char | class | "." | anchor | "(" alternation ")" | nothing
// plainChar tells the sequence that the atom is one character it may join to a literal run.
void ScreenAtom(ScreenLexer& lx, Requirement& r, bool* plainChar) {
  r.clauseCount = 0;
  r.exact = false;
  *plainChar = false;
  switch (lx.token) {
    case ScrChar: {
      const Needle character{lx.tokenStart, lx.charLength};
      SetNeedles(r, &character, 1, true);
      *plainChar = true;
      NextScreenToken(lx);
      return;
    }
    case ScrSet:
      SetNeedles(r, lx.members, lx.memberCount, true);
      NextScreenToken(lx);
      return;
    case ScrOpaque:
      NextScreenToken(lx);
      return;
    case ScrGroupOpen:
      if (++lx.depth > kMaxScreenDepth) {
        lx.gaveUp = true;
        lx.token = ScrEnd;
        return;
      }
      NextScreenToken(lx);
      ScreenAlternation(lx, r);
      --lx.depth;
      NextScreenToken(lx);  // the ")", or the end again
      return;
    default:
      return;  // no atom: a quantifier stands on nothing
  }
}

// quantified -> atom [quantifier]
void ScreenQuantified(ScreenLexer& lx, Requirement& r, bool* plainChar) {
  ScreenAtom(lx, r, plainChar);
  if (lx.token == ScrQuantZero || lx.token == ScrQuantOne) {
    *plainChar = false;
    if (lx.token == ScrQuantZero) r.clauseCount = 0;
    r.exact = false;
    NextScreenToken(lx);
  }
}

// sequence -> quantified* (up to "|", ")" or the end)
// Every part of a sequence must match, so their clauses add up. Runs of unquantified characters
// are contiguous in the key, so a run is one needle.
void ScreenSequence(ScreenLexer& lx, Requirement& all) {
  all.clauseCount = 0;
  int32_t parts = 0;
  bool exactPart = false;
  const char* runStart = nullptr;
  const char* runEnd = nullptr;
  Requirement item;
  auto endRun = [&]() {
    if (runStart == nullptr) return;
    Clause run;
    run.count = 1;
    run.needles[0] = Needle{runStart, static_cast<size_t>(runEnd - runStart)};
    AddClause(all, run);
    ++parts;
    exactPart = true;
    runStart = nullptr;
  };
  while (lx.token != ScrBar && lx.token != ScrGroupClose && lx.token != ScrEnd) {
    const char* itemStart = lx.tokenStart;
    bool plainChar = false;
    ScreenQuantified(lx, item, &plainChar);
    if (plainChar) {
      if (runStart == nullptr) runStart = itemStart;
      runEnd = itemStart + item.clauses[0].needles[0].length;
      continue;
    }
    endRun();
    for (int32_t i = 0; i < item.clauseCount; ++i) AddClause(all, item.clauses[i]);
    ++parts;
    exactPart = item.exact;
  }
  endRun();
  // Only a sequence of one part can be exact: two parts must both occur, and in order.
  all.exact = parts == 1 && exactPart && all.clauseCount == 1;
}

// AddBranch: ors the most selective clause of a branch into any; false when the branch demands
// nothing or the needles overflow, so the alternation demands nothing either.
bool AddBranch(Clause& any, const Requirement& branch) {
  if (branch.clauseCount == 0) return false;
  int32_t best = 0;
  for (int32_t i = 1; i < branch.clauseCount; ++i) {
    if (IsBetter(branch.clauses[i], branch.clauses[best])) best = i;
  }
  const Clause& clause = branch.clauses[best];
  if (any.count + clause.count > kMaxNeedles) return false;
  for (int32_t i = 0; i < clause.count; ++i) any.needles[any.count++] = clause.needles[i];
  return true;
}

// alternation -> sequence ("|" sequence)*: each branch gives its most selective clause, and one
// needle of any branch must occur.
void ScreenAlternation(ScreenLexer& lx, Requirement& all) {
  ScreenSequence(lx, all);
  if (lx.token != ScrBar) return;
  Clause any;
  any.count = 0;
  bool demands = AddBranch(any, all);
  bool exact = all.exact;
  Requirement branch;
  // Every branch is read even when nothing is demanded any more, to leave the tokens where the
  // parser would.
  while (lx.token == ScrBar) {
    NextScreenToken(lx);
    ScreenSequence(lx, branch);
    demands = demands && AddBranch(any, branch);
    exact = exact && branch.exact;
  }
  all.clauseCount = 0;
  all.exact = false;
  if (demands) {
    all.clauseCount = 1;
    all.exact = exact;
    CopyClause(all.clauses[0], any);
  }
}

}  // namespace

SubjectIndex::~SubjectIndex() {
  std::free(bucketStarts);
  std::free(positions);
}

void IndexSubject(const char* subject, SubjectIndex* index) {
  index->bytes = subject;
  index->length = std::strlen(subject);
  if (index->length < kIndexFrom || index->length > UINT32_MAX) return;
  const size_t pairs = index->length - 1;
  auto* starts = static_cast<uint32_t*>(std::calloc(kPairBuckets + 1, sizeof(uint32_t)));
  auto* positions = static_cast<uint32_t*>(std::malloc(pairs * sizeof(uint32_t)));
  if (starts == nullptr || positions == nullptr) {
    std::free(starts);
    std::free(positions);
    return;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(subject);
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
  if (subject.bucketStarts == nullptr || length < 2) {
    return ScanContains(subject.bytes, subject.length, needle, length);
  }
  const auto* n = reinterpret_cast<const unsigned char*>(needle);
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
        std::memcmp(subject.bytes + start, needle, length) == 0) {
      return true;
    }
  }
  return false;
}

KeyVerdict JudgeKey(const SubjectIndex& subject, const char* key, size_t length) {
  // The search never tries the end of a subject as a start, so an empty subject matches nothing.
  if (subject.length == 0) return KeyNoMatch;
  // The empty pattern matches at the first byte of every other subject.
  if (length == 0) return KeyMatch;
  // A key of plain characters is the common case: compiled, it is a chain of character edges, and
  // such a chain matches where the key's bytes occur. Equal bytes read from the same first byte
  // split into the same characters, so even a search starting on a trail byte agrees.
  bool plain = true;
  for (size_t i = 0; i < length && plain; ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    if (IsLeadByte(c)) {
      plain = i + 1 < length;  // a lead byte without its trail byte is left to the matcher
      ++i;
    } else {
      plain = !IsScreenMeta(c);
    }
  }
  if (plain) return SubjectContains(subject, key, length) ? KeyMatch : KeyNoMatch;

  ScreenLexer lx;
  lx.cursor = key;
  lx.end = key + length;
  NextScreenToken(lx);
  Requirement r;
  ScreenAlternation(lx, r);
  if (lx.gaveUp || r.clauseCount == 0) return KeySearch;
  // A ")" that closes no group ends the pattern; the needles read before it still hold, but
  // exactness is not claimed for such keys.
  const bool exact = r.exact && lx.token == ScrEnd;
  for (int32_t c = 0; c < r.clauseCount; ++c) {
    bool holds = false;
    for (int32_t i = 0; i < r.clauses[c].count && !holds; ++i) {
      holds =
          SubjectContains(subject, r.clauses[c].needles[i].bytes, r.clauses[c].needles[i].length);
    }
    if (!holds) return KeyNoMatch;
  }
  return exact ? KeyMatch : KeySearch;
}

}  // namespace mimoza
