// pattern/automaton.cpp: syntax tree -> numbered-state automaton (Pattern), and pattern text ->
// Pattern through the lexer and the parser.
// Leaves this file: CompilePattern, CompileReporting, FreePattern, MatchesEmptyText,
// PatternMemoryBytes, BuildPattern, CountExtraStates, BuildFragment, AddEdge, BuildStartFilter.
// NewPattern, CompileLiteral and LiteralText are private. Tested by
// tests/pattern/automaton_test.cpp and tests/pattern/search_test.cpp.
//
// Both tree walks use an explicit stack: a run of concatenated items nests to the left, so the
// tree is as deep as the pattern is long.
#include "pattern/automaton.h"

#include <cstring>
#include <memory>
#include <new>

#include "pattern/class.h"
#include "pattern/lexer.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// One step of BuildFragment: build node from..to, or, for finishLazy, add the two ways out of a
// lazy loop once its operand is in place.
struct BuildStep {
  const PatternNode* node;
  int32_t from;
  int32_t to;
  bool finishLazy;
};

void AddEpsilon(Pattern& pattern, int32_t from, int32_t to, int32_t kind) {
  AddEdge(pattern, from, to, -1, kind);
}

// ClassMemo: the class texts a build has copied and their byte tables, so that the copies of a
// counted repeat share one copy and one table instead of making thousands of each.
class ClassMemo {
 public:
  // Find: a copy of text made before, with its table (null when the class has two-byte items).
  bool Find(const char* text, const char** copy, const uint8_t** set) const {
    const Slot& slot = slots[Hash(text)];
    if (slot.text == nullptr || std::strcmp(slot.text, text) != 0) return false;
    *copy = slot.text;
    *set = slot.set;
    return true;
  }
  void Keep(const char* copy, const uint8_t* set) { slots[Hash(copy)] = Slot{copy, set}; }

 private:
  static constexpr size_t kSlots = 16;
  struct Slot {
    const char* text;
    const uint8_t* set;
  };
  static size_t Hash(const char* text) {
    size_t hash = 0;
    for (const char* c = text; *c != '\0'; ++c) hash = hash * 31 + static_cast<unsigned char>(*c);
    return hash % kSlots;
  }
  Slot slots[kSlots] = {};
};

// ClassEdge: gives a class edge its text and, when the class tests one byte, its byte table (a
// table then replaces reading the class text), from the memo or made and charged.
void ClassEdge(Pattern& pattern, PatternEdge& edge, const char* text, ClassMemo& memo,
               CompileMeter* meter) {
  const uint8_t* known = nullptr;
  if (text == nullptr) {  // the parser ran out of memory for it
    pattern.failed = true;
    return;
  }
  if (memo.Find(text, &edge.classText, &known)) {
    edge.byteSet = known;
    return;
  }
  if (meter != nullptr && !meter->Charge(kCompileClassSteps)) {
    pattern.failed = true;
    return;
  }
  edge.classText = DupText(pattern.arena, text);
  if (edge.classText == nullptr) {
    pattern.failed = true;
    return;
  }
  auto* set = static_cast<uint8_t*>(pattern.arena.Allocate(32));
  if (set != nullptr && ClassByteSet(edge.classText, set)) edge.byteSet = set;
  memo.Keep(edge.classText, edge.byteSet);
}

// LiteralText: the bytes of a tree that is one character or a run of concatenated characters,
// or null for any other tree. Such a pattern matches exactly where its bytes occur: at a lead
// byte both bytes must be equal, elsewhere the one byte, and start positions move byte by byte.
// A lone lead byte (its second byte 0) matches only before the terminator, so it is left out.
const char* LiteralText(Pattern& pattern, const PatternNode* root) {
  size_t length = 0;
  const PatternNode* node = root;
  for (; node != nullptr && node->kind == NodeConcat; node = node->left) {
    const PatternNode* last = node->right;
    if (last == nullptr || last->kind != NodeChar) return nullptr;
    length += last->charTrail != 0 ? 2 : 1;
  }
  if (node == nullptr || node->kind != NodeChar) return nullptr;
  length += node->charTrail != 0 ? 2 : 1;
  auto* text = static_cast<char*>(pattern.arena.Allocate(length + 1));
  if (text == nullptr) return nullptr;
  text[length] = '\0';
  // The chain runs from the last character to the first: fill from the end.
  for (node = root;; node = node->left) {
    const PatternNode* c = node->kind == NodeConcat ? node->right : node;
    if (IsLeadByte(c->charLead) && c->charTrail == 0) return nullptr;
    if (c->charTrail != 0) text[--length] = static_cast<char>(c->charTrail);
    text[--length] = static_cast<char>(c->charLead);
    if (node->kind != NodeConcat) break;
  }
  return text;
}

}  // namespace

PatternEdge* AddEdge(Pattern& pattern, int32_t from, int32_t to, int32_t epsilon, int32_t kind) {
  auto* edge = static_cast<PatternEdge*>(pattern.arena.Allocate(sizeof(PatternEdge)));
  if (edge == nullptr) {
    pattern.failed = true;
    return nullptr;
  }
  *edge = PatternEdge{pattern.states[from], nullptr, nullptr, kind, epsilon, to, 0, 0, 0};
  pattern.states[from] = edge;
  return edge;
}

int32_t CountExtraStates(const PatternNode* node) {
  int32_t count = 0;
  WorkStack<const PatternNode*> work;
  work.Push(node);
  while (!work.Empty()) {
    const PatternNode* at = work.Pop();
    if (at == nullptr) continue;
    switch (at->kind) {
      case NodeConcat:
        ++count;
        [[fallthrough]];
      case NodeAlt:
        if (!work.Push(at->left) || !work.Push(at->right)) return INT32_MAX;
        break;
      case NodeStar:
      case NodeLazyStar:
        count += 2;
        if (!work.Push(at->left)) return INT32_MAX;
        break;
      default:
        break;
    }
    // The parser's node bound keeps this far below INT32_MAX; stop early all the same.
    if (count > kMaxPatternStates) return count;
  }
  return count;
}

void BuildFragment(Pattern& pattern, const PatternNode* node, int32_t from, int32_t to,
                   CompileMeter* meter) {
  // Steps run in the order a recursive build would take them: a node's new states are numbered
  // before its children, its left child is built before its right one.
  ClassMemo classes;
  size_t bytesCharged = 0;  // of the arena's heap bytes (the state array's first)
  WorkStack<BuildStep> work;
  work.Push({node, from, to, false});
  while (!work.Empty() && !pattern.failed) {
    if (meter != nullptr && !meter->ChargeGrowth(pattern.arena.HeapBytes(), &bytesCharged)) {
      pattern.failed = true;
      break;
    }
    BuildStep step = work.Pop();
    const PatternNode* at = step.node;
    int32_t f = step.from;
    int32_t t = step.to;
    if (step.finishLazy) {
      // The exit goes in last, so the loop state tries leaving before its operand.
      AddEpsilon(pattern, f + 1, f, NodeLazyStar);
      AddEpsilon(pattern, f, t, NodeLazyStar);
      continue;
    }
    if (at == nullptr) continue;  // an absent subtree gives no way through
    bool pushed = true;
    switch (at->kind) {
      case NodeChar:
        if (PatternEdge* edge = AddEdge(pattern, f, t, 0, NodeChar)) {
          edge->charLead = at->charLead;
          edge->charTrail = at->charTrail;
        }
        break;
      case NodeClass:
        if (PatternEdge* edge = AddEdge(pattern, f, t, 0, NodeClass)) {
          ClassEdge(pattern, *edge, at->classText, classes, meter);
        }
        break;
      case NodeEmpty:
        AddEpsilon(pattern, f, t, NodeEmpty);
        break;
      case NodeGroupOpen:
      case NodeGroupClose:
        if (PatternEdge* edge = AddEdge(pattern, f, t, -1, at->kind)) {
          edge->group = at->group;
          pattern.hasGroupEdges = true;
        }
        break;
      case NodeLineStart:
        // "^" takes effect only where nothing can have been matched before it.
        if (f == pattern.startState) {
          pattern.lineStartAnchored = 1;
          AddEpsilon(pattern, f, t, NodeLineStart);
        }
        break;
      case NodeLineEnd:
        // "$" takes effect only where nothing can follow it.
        if (t == pattern.finalState) {
          pattern.lineEndAnchored = 1;
          AddEpsilon(pattern, f, t, NodeLineEnd);
        }
        break;
      case NodeConcat: {
        int32_t middle = pattern.stateCount++;
        pushed =
            work.Push({at->right, middle, t, false}) && work.Push({at->left, f, middle, false});
        break;
      }
      case NodeAlt:
        // The right child is built last, so its edges out of f come first in f's list.
        pushed = work.Push({at->right, f, t, false}) && work.Push({at->left, f, t, false});
        break;
      case NodeStar: {
        int32_t loop = pattern.stateCount;
        pattern.stateCount += 2;
        // The exit goes in before the operand, so the loop state tries its operand first.
        AddEpsilon(pattern, f, loop, NodeStar);
        AddEpsilon(pattern, loop + 1, loop, NodeStar);
        AddEpsilon(pattern, loop, t, NodeStar);
        pushed = work.Push({at->left, loop, loop + 1, false});
        break;
      }
      case NodeLazyStar: {
        int32_t loop = pattern.stateCount;
        pattern.stateCount += 2;
        AddEpsilon(pattern, f, loop, NodeLazyStar);
        pushed = work.Push({at, loop, t, true}) && work.Push({at->left, loop, loop + 1, false});
        break;
      }
      default:
        break;
    }
    if (!pushed) pattern.failed = true;
  }
}

void BuildStartFilter(Pattern& pattern) {
  // The filter is gathered in locals and stored only once it is complete: every early return
  // leaves the pattern without a filter.
  pattern.anyStart = true;
  pattern.firstLead = 0;
  pattern.firstTrail = 0;
  uint8_t bytes[32] = {};
  uint8_t lead = 0;
  uint8_t trail = 0;
  int32_t consuming = 0;
  auto addByte = [&](unsigned c) {
    bytes[c >> 3] = static_cast<uint8_t>(bytes[c >> 3] | (1u << (c & 7)));
  };
  auto* seen = static_cast<bool*>(
      pattern.arena.AllocateZeroed(static_cast<size_t>(pattern.stateCount) * sizeof(bool)));
  WorkStack<int32_t> work;
  if (seen == nullptr || !work.Push(pattern.startState)) return;
  seen[pattern.startState] = true;
  while (!work.Empty()) {
    int32_t state = work.Pop();
    if (state == pattern.finalState) return;  // the empty match can start anywhere
    for (const PatternEdge* edge = pattern.states[state]; edge != nullptr; edge = edge->next) {
      if (edge->epsilon != 0) {
        if (!seen[edge->target]) {
          seen[edge->target] = true;
          if (!work.Push(edge->target)) return;
        }
        continue;
      }
      ++consuming;
      if (edge->kind == NodeChar) {
        addByte(edge->charLead);
        // Either case may match when the search folds.
        if (edge->charLead >= 'a' && edge->charLead <= 'z') addByte(edge->charLead - 0x20u);
        if (edge->charLead >= 'A' && edge->charLead <= 'Z') addByte(edge->charLead + 0x20u);
        lead = edge->charLead;
        trail = edge->charTrail;
        continue;
      }
      if (edge->classText == nullptr) continue;  // never holds
      if (edge->byteSet == nullptr) return;      // two-byte items: the second byte counts
      for (int i = 0; i < 32; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] | edge->byteSet[i]);
    }
  }
  std::memcpy(pattern.firstBytes, bytes, sizeof(bytes));
  // One character that folding cannot touch is looked for directly.
  if (consuming == 1 && lead != 0 && !((lead | 0x20) >= 'a' && (lead | 0x20) <= 'z')) {
    pattern.firstLead = lead;
    pattern.firstTrail = trail;
  }
  pattern.anyStart = false;
}

namespace {

// NewPattern: a record with count states, no edges and groupSlots slots; null when memory runs
// out.
Pattern* NewPattern(int32_t count, int32_t groupSlots) {
  auto* pattern = new (std::nothrow) Pattern;
  if (pattern == nullptr) return nullptr;
  pattern->states = static_cast<PatternEdge**>(
      // NOLINTNEXTLINE(bugprone-sizeof-expression): an array of list heads
      pattern->arena.AllocateZeroed(sizeof(pattern->states[0]) * static_cast<size_t>(count)));
  pattern->groupSlots = groupSlots;
  pattern->failed = pattern->states == nullptr;
  return pattern;
}

// CompileLiteral: for a text of n literal characters, the automaton the parser and
// BuildFragment would make, without a tree: the concatenations nest to the left, so the
// character k (from 1) leads from state t(k - 1) to t(k), where t(0) = 0, t(n) = 1 and
// t(k) = n + 1 - k in between.
Pattern* CompileLiteral(const char* text, int32_t n, CompileMeter& meter) {
  // The tree would hold n characters and n - 1 concatenations; it is charged as if it were made.
  if (2 * static_cast<int64_t>(n) - 1 > kMaxPatternNodes || n + 1 > kMaxPatternStates) {
    return nullptr;
  }
  if (!meter.Charge((2 * static_cast<int64_t>(n) - 1) * kCompileNodeSteps)) return nullptr;
  Pattern* pattern = NewPattern(n + 1, 1);
  if (pattern == nullptr) return nullptr;
  auto t = reinterpret_cast<const unsigned char*>(text);
  int32_t from = 0;
  for (int32_t k = 1; k <= n && !pattern->failed; ++k) {
    int32_t to = k == n ? 1 : n + 1 - k;
    if (PatternEdge* edge = AddEdge(*pattern, from, to, 0, NodeChar)) {
      edge->charLead = *t++;
      if (IsLeadByte(edge->charLead)) edge->charTrail = *t++;
    }
    from = to;
  }
  pattern->stateCount = n + 1;
  size_t bytesCharged = 0;
  if (!meter.ChargeGrowth(pattern->arena.HeapBytes(), &bytesCharged)) pattern->failed = true;
  if (!pattern->failed) BuildStartFilter(*pattern);
  if (!pattern->failed) pattern->literal = DupText(pattern->arena, text);
  if (pattern->failed || pattern->literal == nullptr) {
    delete pattern;
    return nullptr;
  }
  pattern->compileSteps = meter.steps;
  return pattern;
}

}  // namespace

Pattern* BuildPattern(PatternLexer& lexer) {
  int32_t extra = CountExtraStates(lexer.root);
  if (extra > kMaxPatternStates - 2) return nullptr;
  Pattern* pattern = NewPattern(extra + 2, lexer.groupCount + 1);
  if (pattern == nullptr) return nullptr;
  if (!pattern->failed) BuildFragment(*pattern, lexer.root, 0, 1, &lexer.meter);
  if (!pattern->failed) BuildStartFilter(*pattern);
  if (!pattern->failed) pattern->literal = LiteralText(*pattern, lexer.root);
  if (pattern->failed) {
    delete pattern;
    return nullptr;
  }
  pattern->compileSteps = lexer.meter.steps;
  return pattern;
}

namespace {

// Compile: text -> Pattern through the lexer and the parser (or the plain-text path), its work
// charged to meter. *failure says why the result is null when no limit of the meter cut it;
// *cutOpening, when asked, gets the lexer's cutOpening (null for a plain text).
Pattern* Compile(const char* text, CompileMeter& meter, CompileFailure* failure,
                 const char** cutOpening = nullptr) {
  *failure = CompileOk;
  if (text == nullptr) {
    *failure = CompileOutOfMemory;  // a caller's mistake; no bound was passed
    return nullptr;
  }
  // Most keys are plain text: they skip the lexer, the parser and the tree.
  if (int32_t characters = PlainTextCharacters(text, std::strlen(text))) {
    Pattern* pattern = CompileLiteral(text, characters, meter);
    if (pattern == nullptr) {
      *failure = 2 * static_cast<int64_t>(characters) - 1 > kMaxPatternNodes ? CompileTooManyNodes
                 : characters + 1 > kMaxPatternStates                        ? CompileTooManyStates
                                                                             : CompileOutOfMemory;
    }
    return pattern;
  }
  // The record lives on this frame: its first tree block covers a usual key without a heap call.
  // The tree dies with the lexer's arena; freeing it node by node would only cost time.
  PatternLexer lexer;
  lexer.meter = meter;
  Pattern* pattern = nullptr;
  if (!ParsePattern(lexer, text)) {
    // The parser fails at its node bound (deep nesting counts against it too) or when memory runs
    // out; a tree within the bound takes a few megabytes, so it is the bound.
    *failure = CompileTooManyNodes;
  } else {
    pattern = BuildPattern(lexer);
    if (pattern == nullptr) {
      *failure = CountExtraStates(lexer.root) > kMaxPatternStates - 2 ? CompileTooManyStates
                                                                      : CompileOutOfMemory;
    }
  }
  meter = lexer.meter;
  if (cutOpening != nullptr) *cutOpening = lexer.cutOpening;
  return pattern;
}

}  // namespace

Pattern* CompileReporting(const char* text, CompileFailure* failure, const char** cutOpening) {
  CompileMeter unlimited;
  if (cutOpening != nullptr) *cutOpening = nullptr;
  return Compile(text, unlimited, failure, cutOpening);
}

Pattern* CompilePattern(const char* text) {
  CompileFailure ignored = CompileOk;
  return CompileReporting(text, &ignored);
}

Pattern* CompileWithin(const char* text, PatternWork* work) {
  CompileMeter meter;
  meter.limit = work->stepLimit;
  meter.stop = work->stop;
  CompileFailure ignored = CompileOk;
  Pattern* pattern = Compile(text, meter, &ignored);
  work->end = meter.end;
  work->steps = meter.end == WorkOutOfSteps ? work->stepLimit : meter.steps;
  return pattern;
}

int64_t CompileSteps(const Pattern* pattern) {
  return pattern == nullptr ? 0 : pattern->compileSteps;
}

void FreePattern(Pattern* pattern) { delete pattern; }

bool MatchesEmptyText(const Pattern* pattern) {
  if (pattern == nullptr) return false;
  std::unique_ptr<bool[]> seen(new (std::nothrow) bool[static_cast<size_t>(pattern->stateCount)]());
  WorkStack<int32_t> work;
  // Without memory to look, say yes: the callers then treat the pattern as the riskier kind.
  if (seen == nullptr || !work.Push(pattern->startState)) return true;
  seen[pattern->startState] = true;
  while (!work.Empty()) {
    const int32_t state = work.Pop();
    if (state == pattern->finalState) return true;
    for (const PatternEdge* edge = pattern->states[state]; edge != nullptr; edge = edge->next) {
      if (edge->epsilon == 0 || seen[edge->target]) continue;
      seen[edge->target] = true;
      if (!work.Push(edge->target)) return true;
    }
  }
  return false;
}

size_t PatternMemoryBytes(const Pattern* pattern) {
  return pattern == nullptr ? 0 : sizeof(Pattern) + pattern->arena.HeapBytes();
}

}  // namespace mimoza
