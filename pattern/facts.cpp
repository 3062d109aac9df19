// pattern/facts.cpp: pattern text -> (lexer, parser) -> syntax tree -> key facts, by one
// bottom-up walk over the tree.
// Leaves this file: ComputePatternFacts, IsPlainPattern and PatternFacts' members. The walk
// (Facts, EvalSequence, EvalAlternation) is private.
// Tested by tests/pattern/facts_test.cpp, and against the matcher by
// tests/knowledge/subject_search_test.cpp and fuzz/dictionary_fuzz.cpp.
//
// What the walk works out of a part of the pattern, matching by matching: the clauses of needles
// every match of the part contains, and the texts the part can match when they are few. Only
// what is sure is kept: anything the walk does not fully understand (an anchor, a class with
// many members, deep nesting) demands nothing and has unknown texts, which leaves the decision
// to the matcher. A subtree that can never match (an absent atom, an empty class) has no texts.
#include <cstring>
#include <new>

#include "pattern/automaton.h"
#include "pattern/class.h"
#include "pattern/lexer.h"
#include "pattern/parser.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Groups nested deeper than this are left to the matcher: each level costs the walk a few
// kilobytes of stack, and keys people write nest two or three deep.
constexpr int32_t kMaxFactsDepth = 16;

struct Text {
  const char* bytes;
  size_t length;
};

// At least one of the needles occurs in every subject the part matches.
struct Clause {
  int32_t count;
  Text needles[kMaxFactsNeedles];
};

// The facts of one part. Only the first textCount texts and clauseCount clauses are set: the
// records are filled in place on the walk's frames (hence no initialisers).
struct Facts {
  int32_t textCount;  // -1: unknown or infinite; 0: the part never matches
  Text texts[kMaxFactsTexts];
  int32_t clauseCount;
  Clause clauses[kMaxFactsClauses];
};

// The top-level sequence as prefix texts, one starred character and suffix texts.
struct StarForm {
  int32_t state = 0;  // 0: no starred item yet; 1: one; -1: not of this form
  bool any = false;
  int32_t charCount = 0;
  Text chars[kMaxClassCharacters] = {};
  int32_t prefixCount = 0;
  Text prefix[kMaxFactsTexts] = {};
};

struct Walk {
  Arena& arena;  // scratch for joined texts; dies with the compilation's lexer
  bool outOfMemory = false;
  StarForm star;
};

void SetUnknown(Facts& f) {
  f.textCount = -1;
  f.clauseCount = 0;
}

// SetTexts: the part matches exactly these texts; one of them is its only clause (unless one is
// empty: then nothing is demanded).
void SetTexts(Facts& f, const Text* texts, int32_t count) {
  f.textCount = count;
  f.clauseCount = 0;
  bool demands = count > 0 && count <= kMaxFactsNeedles;
  for (int32_t i = 0; i < count; ++i) {
    f.texts[i] = texts[i];
    demands = demands && texts[i].length > 0;
  }
  if (demands) {
    f.clauseCount = 1;
    f.clauses[0].count = count;
    for (int32_t i = 0; i < count; ++i) f.clauses[0].needles[i] = texts[i];
  }
}

size_t ShortestNeedle(const Clause& c) {
  size_t shortest = SIZE_MAX;
  for (int32_t i = 0; i < c.count; ++i) {
    if (c.needles[i].length < shortest) shortest = c.needles[i].length;
  }
  return shortest;
}

// IsBetter: a clause whose shortest needle is longer rules out more subjects, and with equal
// lengths fewer needles rule out more.
bool IsBetter(const Clause& candidate, const Clause& current) {
  const size_t a = ShortestNeedle(candidate);
  const size_t b = ShortestNeedle(current);
  return a != b ? a > b : candidate.count < current.count;
}

// AddClause: adds a clause to a conjunction, dropping the least selective one when it is full.
void AddClause(Facts& f, const Clause& clause) {
  if (f.clauseCount < kMaxFactsClauses) {
    f.clauses[f.clauseCount++] = clause;
    return;
  }
  int32_t worst = 0;
  for (int32_t i = 1; i < f.clauseCount; ++i) {
    if (IsBetter(f.clauses[worst], f.clauses[i])) worst = i;
  }
  if (IsBetter(clause, f.clauses[worst])) f.clauses[worst] = clause;
}

// Join: the texts become every text so far followed by every text of next; unknown when either
// is, or when the texts would be too many or too long.
void Join(Walk& walk, Facts& f, const Facts& next) {
  if (f.textCount < 0 || next.textCount < 0 || f.textCount * next.textCount > kMaxFactsTexts) {
    f.textCount = next.textCount == 0 || f.textCount == 0 ? 0 : -1;
    return;
  }
  Text joined[kMaxFactsTexts];
  int32_t count = 0;
  for (int32_t i = 0; i < f.textCount; ++i) {
    for (int32_t j = 0; j < next.textCount; ++j) {
      const Text& a = f.texts[i];
      const Text& b = next.texts[j];
      if (a.length == 0 || b.length == 0) {
        joined[count++] = a.length == 0 ? b : a;
        continue;
      }
      if (a.length + b.length > kMaxFactsTextBytes) {
        f.textCount = -1;
        return;
      }
      auto* bytes = static_cast<char*>(walk.arena.Allocate(a.length + b.length));
      if (bytes == nullptr) {
        walk.outOfMemory = true;
        f.textCount = -1;
        return;
      }
      std::memcpy(bytes, a.bytes, a.length);
      std::memcpy(bytes + a.length, b.bytes, b.length);
      joined[count++] = Text{bytes, a.length + b.length};
    }
  }
  f.textCount = count;
  for (int32_t i = 0; i < count; ++i) f.texts[i] = joined[i];
}

// Append: the part `next` follows the parts so far.
void Append(Walk& walk, Facts& all, const Facts& next) {
  for (int32_t i = 0; i < next.clauseCount; ++i) AddClause(all, next.clauses[i]);
  Join(walk, all, next);
}

// IsPlainChar: a character node that matches exactly its bytes. A lead byte without its second
// byte (at the end of the pattern, or from an escape such as "\x82") matches only a lead byte
// standing last in the subject, which no needle can say.
bool IsPlainChar(const PatternNode* node) {
  return node->kind == NodeChar && (node->charTrail != 0 || !IsLeadByte(node->charLead));
}

// ClassHoldsEveryCharacter: whether the class contains every character a subject can hold (as
// "." does): a byte set with every byte but the NUL.
bool ClassHoldsEveryCharacter(const char* text) {
  uint8_t set[32];
  if (!ClassByteSet(text, set)) return false;
  for (unsigned c = 1; c < 256; ++c) {
    if ((set[c >> 3] & (1u << (c & 7))) == 0) return false;
  }
  return true;
}

// ClassTexts: the characters of a class as texts; -1 when it is not a short list of them.
int32_t ClassTexts(Walk& walk, const PatternNode* node, Text* texts) {
  if (node->classText == nullptr) return -1;
  uint8_t chars[kMaxClassCharacters][2];
  const int32_t count = ClassCharacters(node->classText, chars);
  for (int32_t i = 0; i < count; ++i) {
    const size_t length = chars[i][1] != 0 ? 2 : 1;
    auto* bytes = static_cast<char*>(walk.arena.Allocate(length));
    if (bytes == nullptr) {
      walk.outOfMemory = true;
      return -1;
    }
    std::memcpy(bytes, chars[i], length);
    texts[i] = Text{bytes, length};
  }
  return count;
}

void EvalSequence(Walk& walk, const PatternNode* node, Facts& all, int32_t depth, bool top);

// alternation: each branch gives its most selective clause, and one needle of some branch must
// occur; the texts are those of all branches. Absent branches and branches that never match
// offer nothing.
void EvalAlternation(Walk& walk, const PatternNode* node, Facts& all, int32_t depth) {
  all.textCount = 0;
  all.clauseCount = 0;
  Clause any;  // NOLINT(cppcoreguidelines-pro-type-member-init): count says what is set
  any.count = 0;
  bool demands = true;
  Facts branch;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  WorkStack<const PatternNode*> branches;
  if (!branches.Push(node)) walk.outOfMemory = true;
  while (!branches.Empty() && !walk.outOfMemory) {
    const PatternNode* at = branches.Pop();
    if (at == nullptr) continue;
    if (at->kind == NodeAlt) {
      if (!branches.Push(at->left) || !branches.Push(at->right)) walk.outOfMemory = true;
      continue;
    }
    EvalSequence(walk, at, branch, depth, false);
    if (branch.textCount == 0) continue;
    if (all.textCount < 0 || branch.textCount < 0 ||
        all.textCount + branch.textCount > kMaxFactsTexts) {
      all.textCount = -1;
    } else {
      for (int32_t i = 0; i < branch.textCount; ++i) all.texts[all.textCount++] = branch.texts[i];
    }
    if (demands && branch.clauseCount > 0) {
      int32_t best = 0;
      for (int32_t i = 1; i < branch.clauseCount; ++i) {
        if (IsBetter(branch.clauses[i], branch.clauses[best])) best = i;
      }
      const Clause& clause = branch.clauses[best];
      demands = any.count + clause.count <= kMaxFactsNeedles;
      for (int32_t i = 0; demands && i < clause.count; ++i)
        any.needles[any.count++] = clause.needles[i];
    } else {
      demands = false;
    }
  }
  if (walk.outOfMemory) SetUnknown(all);
  if (demands && any.count > 0) {
    all.clauseCount = 1;
    all.clauses[0] = any;
  }
}

// RepeatsNothing: whether a starred part can only repeat the empty text (an absent or
// never-matching operand, groups around nothing), so that the star matches the empty text alone.
bool RepeatsNothing(Walk& walk, const PatternNode* operand, int32_t depth) {
  if (operand == nullptr) return true;
  if (depth >= kMaxFactsDepth) return false;
  Facts f;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  EvalSequence(walk, operand, f, depth + 1, false);
  if (f.textCount < 0) return false;
  for (int32_t i = 0; i < f.textCount; ++i) {
    if (f.texts[i].length > 0) return false;
  }
  return true;
}

// StarredCharacters: when the operand of a star is one character or a short class (or any
// character), fills the star form's item and returns true.
bool StarredCharacters(Walk& walk, const PatternNode* operand, StarForm& star) {
  if (operand == nullptr) return false;
  if (IsPlainChar(operand)) {
    const size_t length = operand->charTrail != 0 ? 2 : 1;
    auto* bytes = static_cast<char*>(walk.arena.Allocate(length));
    if (bytes == nullptr) {
      walk.outOfMemory = true;
      return false;
    }
    bytes[0] = static_cast<char>(operand->charLead);
    if (length == 2) bytes[1] = static_cast<char>(operand->charTrail);
    star.any = false;
    star.charCount = 1;
    star.chars[0] = Text{bytes, length};
    return true;
  }
  if (operand->kind != NodeClass || operand->classText == nullptr) return false;
  if (ClassHoldsEveryCharacter(operand->classText)) {
    star.any = true;
    star.charCount = 0;
    return true;
  }
  star.any = false;
  star.charCount = ClassTexts(walk, operand, star.chars);
  return star.charCount > 0;
}

// sequence: the items of a chain of concatenations, in order. A run of plain characters is one
// needle; the clauses of all items hold together, and the texts are those of the items joined.
// At the top level, the first starred character splits the sequence into the star form.
void EvalSequence(Walk& walk, const PatternNode* node, Facts& all, int32_t depth, bool top) {
  all.textCount = 1;
  all.texts[0] = Text{"", 0};
  all.clauseCount = 0;
  char run[kMaxFactsTextBytes];
  size_t runLength = 0;
  bool runCut = false;  // the run outgrew the buffer: its needle is its beginning
  Facts item;           // NOLINT(cppcoreguidelines-pro-type-member-init)
  auto flushRun = [&]() {
    if (runLength == 0) return;
    auto* bytes = static_cast<char*>(walk.arena.Allocate(runLength));
    if (bytes == nullptr) {
      walk.outOfMemory = true;
      return;
    }
    std::memcpy(bytes, run, runLength);
    const Text text{bytes, runLength};
    SetTexts(item, &text, 1);
    if (runCut) item.textCount = -1;
    Append(walk, all, item);
    runLength = 0;
    runCut = false;
  };
  WorkStack<const PatternNode*> items;
  if (!items.Push(node)) walk.outOfMemory = true;
  while (!items.Empty() && !walk.outOfMemory) {
    const PatternNode* at = items.Pop();
    if (at != nullptr && at->kind == NodeConcat) {
      // The left part comes first: push it last.
      if (!items.Push(at->right) || !items.Push(at->left)) walk.outOfMemory = true;
      continue;
    }
    if (at != nullptr && IsPlainChar(at)) {
      const size_t length = at->charTrail != 0 ? 2 : 1;
      if (runLength + length > sizeof run) {
        runCut = true;
      } else {
        run[runLength++] = static_cast<char>(at->charLead);
        if (length == 2) run[runLength++] = static_cast<char>(at->charTrail);
      }
      continue;
    }
    flushRun();
    if (at == nullptr) {
      // An absent part gives no way through: the sequence never matches.
      all.textCount = 0;
      all.clauseCount = 0;
      return;
    }
    bool starred = false;
    switch (at->kind) {
      case NodeEmpty:
      case NodeGroupOpen:
      case NodeGroupClose:
        continue;  // they match the empty text
      case NodeClass: {
        Text texts[kMaxClassCharacters];
        const int32_t count = ClassTexts(walk, at, texts);
        if (count < 0) {
          SetUnknown(item);
        } else {
          SetTexts(item, texts, count);
        }
        break;
      }
      case NodeAlt:
        if (depth >= kMaxFactsDepth) {
          SetUnknown(item);
        } else {
          EvalAlternation(walk, at, item, depth + 1);
        }
        break;
      case NodeStar:
      case NodeLazyStar:
        if (RepeatsNothing(walk, at->left, depth)) continue;
        SetUnknown(item);
        starred = top && walk.star.state == 0 && all.textCount >= 0 &&
                  StarredCharacters(walk, at->left, walk.star);
        break;
      default:  // anchors, and a lead byte without its second byte
        SetUnknown(item);
        break;
    }
    if (walk.outOfMemory) break;
    if (starred) {
      // What came before is the prefix; the texts collected from here on are the suffix.
      walk.star.state = 1;
      walk.star.prefixCount = all.textCount;
      for (int32_t i = 0; i < all.textCount; ++i) walk.star.prefix[i] = all.texts[i];
      all.textCount = 1;
      all.texts[0] = Text{"", 0};
      continue;
    }
    if (top && walk.star.state == 1 && item.textCount < 0) walk.star.state = -1;
    Append(walk, all, item);
    if (all.textCount == 0) {
      all.clauseCount = 0;  // a part that never matches: neither does the sequence
      return;
    }
  }
  flushRun();
  if (walk.outOfMemory) SetUnknown(all);
}

// Only the first count texts are set (hence no initialiser).
struct Collected {  // NOLINT(cppcoreguidelines-pro-type-member-init)
  int32_t count = 0;
  FactsText texts[kMaxFactsTexts + kMaxFactsClauses * kMaxFactsNeedles + 2 * kMaxFactsTexts +
                  kMaxClassCharacters];
  void Add(const Text& t) { texts[count++] = FactsText{t.bytes, t.length}; }
};

}  // namespace

int32_t PatternFacts::Stored() const {
  return storage == nullptr ? 0 : static_cast<unsigned char>(storage[0]);
}

FactsText PatternFacts::At(int32_t i) const {
  const auto* ends = reinterpret_cast<const unsigned char*>(storage.get()) + 1;
  auto end = [&](int32_t k) -> size_t {
    const auto at = 2 * static_cast<size_t>(k);
    return k < 0 ? 0 : static_cast<size_t>(ends[at] | ends[at + 1] << 8);
  };
  const char* bytes = storage.get() + 1 + 2 * static_cast<size_t>(Stored());
  return FactsText{bytes + end(i - 1), end(i) - end(i - 1)};
}

size_t PatternFacts::MemoryBytes() const {
  const int32_t stored = Stored();
  if (stored == 0) return 0;
  const FactsText last = At(stored - 1);
  return static_cast<size_t>(last.bytes + last.length - storage.get());
}

int32_t PatternFacts::NeedlesEnd() const {
  int32_t end = 1 + (textCount > 0 ? textCount : 0);
  for (int32_t c = 0; c < clauseCount; ++c) end += clauseSizes[c];
  return end;
}

FactsText PatternFacts::Needle(int32_t clause, int32_t i) const {
  int32_t at = 1 + (textCount > 0 ? textCount : 0);
  for (int32_t c = 0; c < clause; ++c) at += clauseSizes[c];
  return At(at + i);
}

bool PatternFacts::Store(FactsText source, const FactsText* texts, int32_t count) {
  size_t bytes = source.length;
  for (int32_t i = 0; i < count; ++i) bytes += texts[i].length;
  const int32_t stored = count + 1;
  storage.reset();
  if (bytes > 0xFFFF || stored > 0xFF) return false;
  storage.reset(new (std::nothrow) char[1 + 2 * static_cast<size_t>(stored) + bytes]);
  if (storage == nullptr) return false;
  storage[0] = static_cast<char>(stored);
  char* out = storage.get() + 1 + 2 * static_cast<size_t>(stored);
  size_t end = 0;
  for (int32_t i = 0; i < stored; ++i) {
    const FactsText& text = i == 0 ? source : texts[i - 1];
    if (text.length > 0) std::memcpy(out + end, text.bytes, text.length);
    end += text.length;
    storage[1 + 2 * i] = static_cast<char>(end & 0xFF);
    storage[2 + 2 * i] = static_cast<char>(end >> 8);
  }
  return true;
}

bool IsPlainPattern(const char* text, size_t length) {
  return PlainTextCharacters(text, length) > 0;
}

bool ComputePatternFacts(const char* text, PatternFacts* facts) {
  *facts = PatternFacts{};
  const size_t length = std::strlen(text);
  if (length > kMaxFactsSourceBytes) return false;
  const FactsText source{text, length};
  Collected collected;
  const int32_t plainCharacters = PlainTextCharacters(text, length);
  if (plainCharacters > 0) {
    // A plain text matches where its bytes occur, unless it is too long to compile at all.
    if (2 * static_cast<int64_t>(plainCharacters) - 1 > kMaxPatternNodes ||
        plainCharacters + 1 > kMaxPatternStates) {
      facts->textCount = 0;
    } else if (length <= kMaxFactsTextBytes) {
      facts->textCount = 1;
      collected.Add(Text{text, length});
    } else {
      facts->clauseCount = 1;
      facts->clauseSizes[0] = 1;
      collected.Add(Text{text, kMaxFactsTextBytes});  // its beginning must occur too
    }
    return facts->Store(source, collected.texts, collected.count);
  }

  PatternLexer lexer;
  lexer.meter.limit = kFactsBaseSteps + kFactsStepsPerByte * static_cast<int64_t>(length);
  const bool parsed = ParsePattern(lexer, text);
  // Past its work limit the facts say nothing: the matcher decides.
  if (lexer.meter.end != WorkDone) return facts->Store(source, nullptr, 0);
  // A pattern past the size bounds compiles to null, and a null pattern never matches.
  if (!parsed || CountExtraStates(lexer.root) > kMaxPatternStates - 2) {
    facts->textCount = 0;
    return facts->Store(source, nullptr, 0);
  }
  Walk walk{lexer.arena, false, StarForm{}};
  Facts all;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  if (lexer.root != nullptr && lexer.root->kind == NodeAlt) {
    EvalAlternation(walk, lexer.root, all, 0);
  } else {
    EvalSequence(walk, lexer.root, all, 0, true);
  }
  if (walk.outOfMemory) return false;
  // Where an anchor takes effect it holds for the whole pattern (only line starts are tried, or
  // the match must end at a line end), even from a branch that can never match: texts then say
  // too much. The clauses still hold: an anchor only takes matches away.
  if (lexer.sawAnchor && all.textCount != 0) {
    all.textCount = -1;
    walk.star.state = -1;
  }

  // Texts decide on their own; otherwise the clauses, and the star form when there is one (the
  // sequence as a whole is infinite, and its texts after the star are the suffixes).
  const StarForm& star = walk.star;
  if (all.textCount == 0 || (all.textCount > 0 && star.state != 1)) {
    facts->textCount = static_cast<int8_t>(all.textCount);
    for (int32_t i = 0; i < all.textCount; ++i) collected.Add(all.texts[i]);
    return facts->Store(source, collected.texts, collected.count);
  }
  facts->clauseCount = static_cast<int8_t>(all.clauseCount);
  for (int32_t c = 0; c < all.clauseCount; ++c) {
    facts->clauseSizes[c] = static_cast<int8_t>(all.clauses[c].count);
    for (int32_t i = 0; i < all.clauses[c].count; ++i) collected.Add(all.clauses[c].needles[i]);
  }
  if (star.state == 1 && all.textCount > 0) {
    facts->starForm = true;
    facts->starAny = star.any;
    facts->prefixCount = static_cast<int8_t>(star.prefixCount);
    for (int32_t i = 0; i < star.prefixCount; ++i) collected.Add(star.prefix[i]);
    facts->starCount = static_cast<int8_t>(star.charCount);
    for (int32_t i = 0; i < star.charCount; ++i) collected.Add(star.chars[i]);
    facts->suffixCount = static_cast<int8_t>(all.textCount);
    for (int32_t i = 0; i < all.textCount; ++i) collected.Add(all.texts[i]);
  }
  return facts->Store(source, collected.texts, collected.count);
}

}  // namespace mimoza
