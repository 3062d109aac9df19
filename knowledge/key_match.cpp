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
// A key is read with the pattern language's own token and grammar rules, to learn which literal
// texts any match must contain ("at least one of these needles occurs in the subject"), every
// text it can match when there are finitely many, and the texts around its one starred item when
// it has that shape. The reading must cut tokens exactly where the pattern lexer does (a trail
// byte is never a metacharacter, a ")" that closes no group ends the pattern, "\" is left to the
// real lexer); whatever it does not fully understand it answers with "no requirement" and
// "unknown texts", which leave the key to the matcher.

constexpr int32_t kMaxNeedles = 8;          // a set with more needles than this demands nothing
constexpr int32_t kMaxClauses = 4;          // a sequence keeps its most selective sets
constexpr int32_t kMaxTexts = 16;           // larger finite languages are not spelled out
constexpr size_t kScratchBytes = 1024;      // room for the texts joined from several parts
constexpr int32_t kMaxScreenDepth = 16;     // deeper group nesting is simply compiled
constexpr int32_t kMaxSureCount = 1000000;  // larger repeat counts are not relied on

struct Needle {
  const char* bytes;
  size_t length;
};

// At least one of the needles occurs in the subject. Only the first count needles are set: the
// screen's records are filled in place and never cleared, as every key of every lookup passes
// through them (hence the lint exemptions where they are declared).
struct Clause {
  int32_t count;
  Needle needles[kMaxNeedles];
};

// What a part of a pattern demands of any subject it matches: every clause holds (no clause at
// all: the part may match anywhere, even as the empty string). When the part can match only
// finitely many texts, language lists them all.
struct Requirement {
  int32_t clauseCount;
  Clause clauses[kMaxClauses];
  int32_t languageCount;  // -1: unknown or infinite; 0: the part never matches
  Needle language[kMaxTexts];
};

void CopyClause(Clause& to, const Clause& from) {
  to.count = from.count;
  for (int32_t i = 0; i < from.count; ++i) to.needles[i] = from.needles[i];
}

// SetNeedles: the requirement of one character, or of a class: one of the needles, and exactly
// those texts.
void SetNeedles(Requirement& r, const Needle* needles, int32_t count) {
  r.clauseCount = 1;
  r.clauses[0].count = count;
  r.languageCount = count;
  for (int32_t i = 0; i < count; ++i) r.clauses[0].needles[i] = r.language[i] = needles[i];
}

// A quantified item that repeats one character of a set, or any character: "x*", "[xy]+", ".*".
struct StarItem {
  bool valid;
  bool any;   // "." : every character but NUL
  bool plus;  // at least one copy
  int32_t count;
  Needle chars[kMaxNeedles];
};

// A pattern that is one sequence: finitely many prefix texts, one starred item, and finitely
// many suffix texts ("おは.*よう", "あ[いう]+え?"). Whether it matches follows from where the
// texts occur and a walk over the characters between them.
struct StarForm {     // NOLINT(cppcoreguidelines-pro-type-member-init)
  int32_t state = 0;  // 0: no starred item yet; 1: one, at the top level; -1: not of this form
  StarItem item;
  int32_t prefixCount = 0;
  Needle prefix[kMaxTexts];
  int32_t suffixCount = 0;
  Needle suffix[kMaxTexts];
};

enum ScreenToken : int8_t {
  ScrChar,        // one literal character of charLength bytes at tokenStart
  ScrGroupOpen,   // "("
  ScrGroupClose,  // ")"
  ScrStar,        // "*" or "*?": any number of copies of the atom
  ScrPlus,        // "+" or "+?": one copy or more
  ScrOptional,    // "?" or "??": the atom or nothing
  ScrQuantZero,   // a repeat that allows no copy of its atom: "{0,...}", or "}" outside one
  ScrQuantOne,    // a repeat that demands a copy: "{m,...}" with m >= 1
  ScrSet,         // a class of plain members, each in members
  ScrDot,         // ".": any character
  ScrOpaque,      // an atom that demands nothing we can name: a wide class, an anchor
  ScrBar,         // "|"
  ScrEnd,         // the end of the pattern, also where a construct is cut off
};

struct ScreenLexer {  // NOLINT(cppcoreguidelines-pro-type-member-init)
  const char* cursor = nullptr;
  const char* end = nullptr;
  ScreenToken token = ScrEnd;
  const char* tokenStart = nullptr;
  size_t charLength = 0;
  Needle members[kMaxNeedles];  // members of the current ScrSet
  int32_t memberCount = 0;
  bool gaveUp = false;  // a construct this reading leaves to the pattern lexer ("\")
  int32_t depth = 0;
  size_t scratchUsed = 0;
  char scratch[kScratchBytes];  // texts of finite languages that join several parts
  StarItem item;                // what the quantified item just read repeats, if it can star
  StarForm star;                // the whole pattern as prefix, one starred item, suffix
};

// The bytes that start a token other than a literal.
bool IsScreenMeta(unsigned char c) {
  switch (c) {
    case '(':
    case ')':
    case '*':
    case '+':
    case '?':
    case '{':
    case '}':
    case '.':
    case '[':
    case ']':
    case '^':
    case '$':
    case '|':
    case '\\':
      return true;
    default:
      return false;
  }
}

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
      lx.token = c == '*' ? ScrStar : c == '+' ? ScrPlus : c == '?' ? ScrOptional : ScrQuantZero;
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
      lx.token = ScrDot;
      ++lx.cursor;
      return;
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

// JoinLanguages: the texts become every text so far followed by every text of next; unknown when
// either is, or when the texts do not fit.
void JoinLanguages(ScreenLexer& lx, Requirement& r, const Needle* next, int32_t nextCount) {
  if (r.languageCount < 0 || nextCount < 0 || r.languageCount * nextCount > kMaxTexts) {
    r.languageCount = -1;
    return;
  }
  Needle joined[kMaxTexts];
  int32_t count = 0;
  for (int32_t i = 0; i < r.languageCount; ++i) {
    for (int32_t j = 0; j < nextCount; ++j) {
      const Needle& a = r.language[i];
      const Needle& b = next[j];
      if (a.length == 0 || b.length == 0) {
        joined[count++] = a.length == 0 ? b : a;
        continue;
      }
      if (kScratchBytes - lx.scratchUsed < a.length + b.length) {
        r.languageCount = -1;
        return;
      }
      char* text = lx.scratch + lx.scratchUsed;
      std::memcpy(text, a.bytes, a.length);
      std::memcpy(text + a.length, b.bytes, b.length);
      lx.scratchUsed += a.length + b.length;
      joined[count++] = Needle{text, a.length + b.length};
    }
  }
  r.languageCount = count;
  for (int32_t i = 0; i < count; ++i) r.language[i] = joined[i];
}

void ScreenAlternation(ScreenLexer& lx, Requirement& all);

// atom -> char | class | "." | anchor | "(" alternation ")" | nothing
// plainChar tells the sequence that the atom is one character it may join to a literal run.
void ScreenAtom(ScreenLexer& lx, Requirement& r, bool* plainChar) {
  r.clauseCount = 0;
  r.languageCount = -1;
  *plainChar = false;
  switch (lx.token) {
    case ScrChar: {
      const Needle character{lx.tokenStart, lx.charLength};
      SetNeedles(r, &character, 1);
      *plainChar = true;
      NextScreenToken(lx);
      return;
    }
    case ScrSet:
      SetNeedles(r, lx.members, lx.memberCount);
      NextScreenToken(lx);
      return;
    case ScrDot:
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
      // No atom: a quantifier stands on nothing. Such an atom gives no way through, so it
      // matches no text at all ("?a" is "a", and "+a" never matches).
      r.languageCount = 0;
      return;
  }
}

// quantified -> atom [quantifier]
void ScreenQuantified(ScreenLexer& lx, Requirement& r, bool* plainChar) {
  const ScreenToken atom = lx.token;
  ScreenAtom(lx, r, plainChar);
  // A starred character, class or dot can become the middle of a StarForm.
  StarItem& item = lx.item;
  item.valid = (lx.token == ScrStar || lx.token == ScrPlus) &&
               (atom == ScrChar || atom == ScrSet || atom == ScrDot);
  if (item.valid) {
    item.any = atom == ScrDot;
    item.plus = lx.token == ScrPlus;
    item.count = item.any ? 0 : r.languageCount;
    for (int32_t i = 0; i < item.count; ++i) item.chars[i] = r.language[i];
  }
  switch (lx.token) {
    case ScrOptional:
      if (r.languageCount >= 0 && r.languageCount < kMaxTexts) {
        r.language[r.languageCount++] = Needle{lx.tokenStart, 0};
      } else {
        r.languageCount = -1;
      }
      r.clauseCount = 0;
      break;
    case ScrStar:
    case ScrQuantZero:
      r.clauseCount = 0;
      r.languageCount = -1;
      break;
    case ScrPlus:
    case ScrQuantOne:
      r.languageCount = -1;
      break;
    default:
      return;
  }
  *plainChar = false;
  NextScreenToken(lx);
}

// sequence -> quantified* (up to "|", ")" or the end)
// Every part of a sequence must match, so their clauses add up, and its texts are those of its
// parts joined in order. Runs of unquantified characters are contiguous in the key, so a run is
// one needle.
void ScreenSequence(ScreenLexer& lx, Requirement& all) {
  all.clauseCount = 0;
  all.languageCount = 1;
  all.language[0] = Needle{lx.tokenStart, 0};  // the empty sequence matches the empty text
  const char* runStart = nullptr;
  const char* runEnd = nullptr;
  Requirement item;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  auto endRun = [&]() {
    if (runStart == nullptr) return;
    Clause run;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    run.count = 1;
    run.needles[0] = Needle{runStart, static_cast<size_t>(runEnd - runStart)};
    AddClause(all, run);
    JoinLanguages(lx, all, run.needles, 1);
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
    if (lx.item.valid && lx.depth == 0 && lx.star.state == 0 && all.languageCount >= 0) {
      // The first starred item of the pattern's own sequence: what came before is the prefix,
      // and the texts collected from here on are the suffix.
      lx.star.state = 1;
      lx.star.item = lx.item;
      lx.star.prefixCount = all.languageCount;
      for (int32_t i = 0; i < all.languageCount; ++i) lx.star.prefix[i] = all.language[i];
      all.languageCount = 1;
      all.language[0] = Needle{lx.tokenStart, 0};
      continue;
    }
    if (lx.depth == 0 && lx.star.state == 1 && item.languageCount < 0) lx.star.state = -1;
    JoinLanguages(lx, all, item.language, item.languageCount);
  }
  endRun();
  if (lx.depth == 0 && lx.star.state == 1) {
    // The sequence as a whole is infinite; its suffix texts complete the StarForm.
    if (all.languageCount < 0) lx.star.state = -1;
    lx.star.suffixCount = all.languageCount;
    for (int32_t i = 0; i < all.languageCount; ++i) lx.star.suffix[i] = all.language[i];
    all.languageCount = -1;
  }
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
// needle of any branch must occur; the texts are those of all branches.
void ScreenAlternation(ScreenLexer& lx, Requirement& all) {
  ScreenSequence(lx, all);
  if (lx.token != ScrBar) return;
  Clause any;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  any.count = 0;
  bool demands = AddBranch(any, all);
  Requirement branch;                     // NOLINT(cppcoreguidelines-pro-type-member-init)
  if (lx.depth == 0) lx.star.state = -1;  // a StarForm is a single sequence
  // Every branch is read even when nothing is demanded any more, to leave the tokens where the
  // parser would.
  while (lx.token == ScrBar) {
    NextScreenToken(lx);
    ScreenSequence(lx, branch);
    demands = demands && AddBranch(any, branch);
    if (all.languageCount < 0 || branch.languageCount < 0 ||
        all.languageCount + branch.languageCount > kMaxTexts) {
      all.languageCount = -1;
    } else {
      for (int32_t i = 0; i < branch.languageCount; ++i) {
        all.language[all.languageCount++] = branch.language[i];
      }
    }
  }
  all.clauseCount = 0;
  if (demands) {
    all.clauseCount = 1;
    CopyClause(all.clauses[0], any);
  }
}

}  // namespace

SubjectIndex::~SubjectIndex() {
  std::free(bucketStarts);
  std::free(positions);
  std::free(pairBits);
  std::free(quadBits);
  std::free(walkMarks);
}

void IndexSubject(const char* subject, SubjectIndex* index) {
  index->bytes = subject;
  index->length = std::strlen(subject);
  if (index->length < 2 || index->length > UINT32_MAX) return;
  const auto* s = reinterpret_cast<const unsigned char*>(subject);
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
    return ScanContains(subject.bytes, subject.length, needle, length);
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
        std::memcmp(subject.bytes + start, needle, length) == 0) {
      return true;
    }
  }
  return false;
}

namespace {

// ForEachOccurrence: calls visit(p) for every p where needle (length >= 1) occurs in the subject,
// in increasing order, until visit returns false.
template <typename Visit>
void ForEachOccurrence(const SubjectIndex& subject, const Needle& needle, Visit visit) {
  const size_t n = needle.length;
  if (n > subject.length) return;
  if (subject.bucketStarts == nullptr || n < 2) {
    const char* last = subject.bytes + (subject.length - n);
    for (const char* at = subject.bytes; at <= last; ++at) {
      at = static_cast<const char*>(
          std::memchr(at, needle.bytes[0], static_cast<size_t>(last - at) + 1));
      if (at == nullptr) return;
      if (std::memcmp(at + 1, needle.bytes + 1, n - 1) == 0 &&
          !visit(static_cast<size_t>(at - subject.bytes))) {
        return;
      }
    }
    return;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(needle.bytes);
  const uint32_t bucket = PairBucket(b[0], b[1]);
  for (uint32_t k = subject.bucketStarts[bucket]; k < subject.bucketStarts[bucket + 1]; ++k) {
    const size_t at = subject.positions[k];
    if (at + n <= subject.length && std::memcmp(subject.bytes + at, needle.bytes, n) == 0 &&
        !visit(at)) {
      return;
    }
  }
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

// StepOver: moves at past the subject character there when the starred item takes it.
bool StepOver(const SubjectIndex& subject, const StarItem& item, size_t* at) {
  const auto* s = reinterpret_cast<const unsigned char*>(subject.bytes);
  if (*at >= subject.length) return false;  // the terminating NUL is no character
  const size_t width = IsLeadByte(s[*at]) && *at + 1 < subject.length ? 2 : 1;
  if (!item.any) {
    bool member = false;
    for (int32_t i = 0; i < item.count && !member; ++i) {
      member =
          item.chars[i].length == width && std::memcmp(item.chars[i].bytes, s + *at, width) == 0;
    }
    if (!member) return false;
  }
  *at += width;
  return true;
}

// DecideStarForm: whether prefix, starred item, suffix match somewhere in the subject. From the
// end of every prefix occurrence the walk steps over the characters the item takes, the way the
// matcher consumes them (a lead byte and its trail byte together), and succeeds at a place where
// a suffix text begins. A place reached once need not be walked from again: the steps from it
// are the same whichever start led there. Only the occurrences are visited and only the places
// walked are marked, so a key costs what its texts and walks touch, not the subject's length.
KeyVerdict DecideStarForm(const SubjectIndex& subject, const StarForm& form) {
  const size_t length = subject.length;
  const auto* s = reinterpret_cast<const unsigned char*>(subject.bytes);
  // How "." takes a lead byte right before the terminator is the matcher's own affair.
  if (form.item.any && IsLeadByte(s[length - 1])) return KeySearch;
  if (form.suffixCount == 0) return KeyNoMatch;  // nothing can follow the starred item
  const uint16_t stamp = NextWalkStamp(subject);
  if (stamp == 0) return KeySearch;
  uint16_t* suffixes = subject.walkMarks;             // a suffix text begins here
  uint16_t* walked = subject.walkMarks + length + 1;  // reached after the required steps
  bool everySuffix = false;  // an empty suffix text: every place reached ends a match
  for (int32_t i = 0; i < form.suffixCount; ++i) {
    if (form.suffix[i].length == 0) {
      everySuffix = true;
      break;
    }
    ForEachOccurrence(subject, form.suffix[i], [&](size_t at) {
      suffixes[at] = stamp;
      return true;
    });
  }
  bool matched = false;
  // Step: StepOver, with the "." case (most starred keys) worked out here, as the walks of a long
  // line take most of their time stepping.
  auto step = [&](size_t* at) {
    if (!form.item.any) return StepOver(subject, form.item, at);
    if (*at >= length) return false;  // the terminating NUL is no character
    *at += IsLeadByte(s[*at]) && *at + 1 < length ? 2 : 1;
    return true;
  };
  // WalkFrom: walks from the start p of a prefix text of prefixLength bytes; false once matched.
  auto walkFrom = [&](size_t p, size_t prefixLength) {
    size_t at = p + prefixLength;
    if (form.item.plus && !step(&at)) return true;
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
  for (int32_t i = 0; i < form.prefixCount && !matched; ++i) {
    const Needle& prefix = form.prefix[i];
    if (prefix.length == 0) {
      // Every byte before the terminator is a start.
      for (size_t p = 0; p < length; ++p) {
        if (!walkFrom(p, 0)) break;
      }
    } else {
      ForEachOccurrence(subject, prefix, [&](size_t p) { return walkFrom(p, prefix.length); });
    }
  }
  return matched ? KeyMatch : KeyNoMatch;
}

}  // namespace

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
  Requirement r;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  ScreenAlternation(lx, r);
  if (lx.gaveUp) return KeySearch;
  // A pattern that can match only finitely many texts, none of them anchored, matches where one
  // of them occurs. (A ")" that closes no group ends the pattern; such keys are left to the
  // matcher.)
  if (r.languageCount >= 0 && lx.token == ScrEnd) {
    for (int32_t i = 0; i < r.languageCount; ++i) {
      const Needle& text = r.language[i];
      if (text.length == 0 || SubjectContains(subject, text.bytes, text.length)) return KeyMatch;
    }
    return KeyNoMatch;
  }
  for (int32_t c = 0; c < r.clauseCount; ++c) {
    bool holds = false;
    for (int32_t i = 0; i < r.clauses[c].count && !holds; ++i) {
      const Needle& needle = r.clauses[c].needles[i];
      holds = SubjectContains(subject, needle.bytes, needle.length);
    }
    if (!holds) return KeyNoMatch;
  }
  if (lx.star.state == 1 && lx.token == ScrEnd) return DecideStarForm(subject, lx.star);
  return KeySearch;
}

}  // namespace mimoza
