// pattern/examine.cpp: pattern text -> what a checker of keys reports of it (PatternExamination);
// compiled pattern -> the cost of its search in lines built to be hard for it (SearchCost).
// Leaves this file: ExaminePattern, HardLineCost. CanPass, ReachesFinal and the line builders
// are private. Tested by tests/pattern/examine_test.cpp, and through the dictionary checker by
// tests/knowledge/dictionary_check_test.cpp.
#include <cstring>
#include <memory>
#include <new>

#include "pattern/automaton.h"
#include "pattern/limits.h"
#include "pattern/memory.h"
#include "pattern/pattern.h"
#include "pattern/search.h"

namespace mimoza {
namespace {

constexpr int32_t kNoKind = -1;

// CanPass: whether some character lets the walk take a consuming edge (an edge that consumes
// nothing is always there to take: anchors are built only where they can hold).
bool CanPass(const PatternEdge& edge) {
  if (edge.epsilon != 0 || edge.kind != NodeClass) return true;
  if (edge.classText == nullptr) return false;  // such an edge never holds
  if (edge.byteSet == nullptr) return true;     // a class with two-byte characters in it
  for (unsigned c = 1; c < 256; ++c) {          // a subject never holds the byte 0
    if ((edge.byteSet[c >> 3] & (1u << (c & 7))) != 0) return true;
  }
  return false;
}

// ReachesFinal: whether a way of edges that can be taken, none of them of kind avoided, leads from
// the start to the final state; unknown (no memory to look) when that cannot be told.
bool ReachesFinal(const Pattern& pattern, int32_t avoided, bool unknown) {
  std::unique_ptr<bool[]> seen(new (std::nothrow) bool[static_cast<size_t>(pattern.stateCount)]());
  WorkStack<int32_t> work;
  if (seen == nullptr || !work.Push(pattern.startState)) return unknown;
  seen[pattern.startState] = true;
  while (!work.Empty()) {
    const int32_t state = work.Pop();
    if (state == pattern.finalState) return true;
    for (const PatternEdge* edge = pattern.states[state]; edge != nullptr; edge = edge->next) {
      if (seen[edge->target] || edge->kind == avoided || !CanPass(*edge)) continue;
      seen[edge->target] = true;
      if (!work.Push(edge->target)) return unknown;
    }
  }
  return false;
}

// A character an edge consumes: lead and trail (0 for a one-byte character); lead 0 for none.
struct EdgeCharacter {
  uint8_t lead;
  uint8_t trail;
};

// ConsumedCharacter: the character of a character edge, or a character a one-byte class edge
// holds (its first printable byte, else its first byte); none for edges that consume nothing and
// classes with two-byte items.
EdgeCharacter ConsumedCharacter(const PatternEdge& edge) {
  if (edge.epsilon != 0) return {0, 0};
  if (edge.kind == NodeChar) return {edge.charLead, edge.charTrail};
  if (edge.byteSet == nullptr) return {0, 0};
  unsigned first = 0;
  for (unsigned c = 1; c < 256; ++c) {
    if ((edge.byteSet[c >> 3] & (1u << (c & 7))) == 0) continue;
    if (c >= 0x20 && !IsLeadByte(static_cast<unsigned char>(c)))
      return {static_cast<uint8_t>(c), 0};
    if (first == 0) first = c;
  }
  // A lead byte alone stands for a one-byte character only at the end of a subject; skip it.
  if (IsLeadByte(static_cast<unsigned char>(first))) return {0, 0};
  return {static_cast<uint8_t>(first), 0};
}

// FillRepeated: line gets the character repeated to at most bytes bytes, and a NUL.
void FillRepeated(char* line, size_t bytes, EdgeCharacter c) {
  const size_t width = c.trail != 0 ? 2 : 1;
  size_t at = 0;
  for (; at + width <= bytes; at += width) {
    line[at] = static_cast<char>(c.lead);
    if (width == 2) line[at + 1] = static_cast<char>(c.trail);
  }
  line[at] = '\0';
}

// FillInTurn: line gets the characters of the automaton's edges, state by state, over and over,
// to at most bytes bytes, and a NUL; false when the edges consume no character it can write.
bool FillInTurn(const Pattern& pattern, char* line, size_t bytes) {
  size_t at = 0;
  bool any = true;
  while (any) {
    any = false;
    for (int32_t state = 0; state < pattern.stateCount; ++state) {
      for (const PatternEdge* edge = pattern.states[state]; edge != nullptr; edge = edge->next) {
        const EdgeCharacter c = ConsumedCharacter(*edge);
        if (c.lead == 0 || (c.trail == 0 && IsLeadByte(c.lead))) continue;
        const size_t width = c.trail != 0 ? 2 : 1;
        if (at + width > bytes) {
          line[at] = '\0';
          return at > 0;
        }
        line[at++] = static_cast<char>(c.lead);
        if (width == 2) line[at++] = static_cast<char>(c.trail);
        any = true;
      }
    }
  }
  line[at] = '\0';
  return at > 0;
}

// RepeatsOneOf: whether line is one of the characters repeated.
bool RepeatsOneOf(const char* line, const EdgeCharacter* characters, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const size_t width = characters[i].trail != 0 ? 2 : 1;
    size_t at = 0;
    while (line[at] != '\0' && static_cast<uint8_t>(line[at]) == characters[i].lead &&
           (width == 1 || static_cast<uint8_t>(line[at + 1]) == characters[i].trail)) {
      at += width;
    }
    if (at > 0 && line[at] == '\0') return true;
  }
  return false;
}

// MostConsumed: the character the automaton's edges consume most often (lead 0 when none).
EdgeCharacter MostConsumed(const Pattern& pattern) {
  std::unique_ptr<int32_t[]> counts(new (std::nothrow) int32_t[65536]());
  EdgeCharacter best{0, 0};
  if (counts == nullptr) return best;
  int32_t bestCount = 0;
  for (int32_t state = 0; state < pattern.stateCount; ++state) {
    for (const PatternEdge* edge = pattern.states[state]; edge != nullptr; edge = edge->next) {
      const EdgeCharacter c = ConsumedCharacter(*edge);
      if (c.lead == 0 || (c.trail == 0 && IsLeadByte(c.lead))) continue;
      const int32_t count = ++counts[c.lead << 8 | c.trail];
      if (count > bestCount) {
        bestCount = count;
        best = c;
      }
    }
  }
  return best;
}

}  // namespace

PatternPtr ExaminePattern(const char* text, PatternExamination* examination) {
  *examination = PatternExamination{};
  const char* cut = nullptr;
  PatternPtr pattern(CompileReporting(text, &examination->failure, &cut));
  if (cut != nullptr) examination->cutOpening = static_cast<int32_t>(cut - text);
  if (pattern == nullptr) {
    examination->bound = examination->failure == CompileTooManyNodes    ? kMaxPatternNodes
                         : examination->failure == CompileTooManyStates ? kMaxPatternStates
                                                                        : 0;
    return pattern;
  }
  const Pattern& p = *pattern;
  // Not knowing, the answers lean to what reports nothing.
  examination->canMatch = ReachesFinal(p, kNoKind, true);
  examination->matchesEmpty = MatchesEmptyText(&p);
  examination->lineStartSpreads = p.lineStartAnchored == 1 && ReachesFinal(p, NodeLineStart, false);
  examination->lineEndSpreads = p.lineEndAnchored == 1 && ReachesFinal(p, NodeLineEnd, false);
  return pattern;
}

SearchCost HardLineCost(const Pattern* pattern, size_t lineBytes, int64_t floor) {
  SearchCost cost;
  // A plain text is searched as bytes, without steps.
  if (pattern == nullptr || pattern->literal != nullptr || lineBytes == 0) return cost;
  if (lineBytes > kMaxSubjectBytes) lineBytes = kMaxSubjectBytes;
  // Each of the search's two passes (the second only where group spans need it) enters a
  // (state, position) pair at most once.
  const uint64_t mostSteps =
      2 * static_cast<uint64_t>(pattern->stateCount) * (uint64_t{lineBytes} + 1);
  if (floor >= 0 && mostSteps <= static_cast<uint64_t>(floor)) return cost;
  std::unique_ptr<char[]> line(new (std::nothrow) char[lineBytes + 1]);
  if (line == nullptr) return cost;
  const EdgeCharacter frequent = MostConsumed(*pattern);
  const EdgeCharacter repeats[] = {frequent, {'a', 0}};
  EdgeCharacter tried[2] = {};  // the characters of the repeated lines searched so far
  int32_t triedCount = 0;
  for (int32_t round = 0; round < 3; ++round) {
    EdgeCharacter c{0, 0};
    if (round < 2) {
      c = repeats[round];
      if (c.lead == 0 || (round == 1 && frequent.lead == 'a' && frequent.trail == 0)) continue;
      FillRepeated(line.get(), lineBytes, c);
      tried[triedCount++] = c;
    } else if (!FillInTurn(*pattern, line.get(), lineBytes) ||
               RepeatsOneOf(line.get(), tried, triedCount)) {
      continue;  // no characters, or a line searched already
    }
    if (line[0] == '\0') continue;
    MatchSpan* spans = nullptr;
    PatternWork work;
    SearchWith(pattern, line.get(), &spans, 0, WalkBounded, &work);
    FreeSpans(spans);
    const bool gaveUp = work.end != WorkDone;
    if (gaveUp > cost.gaveUp || (gaveUp == cost.gaveUp && work.steps > cost.steps)) {
      cost.steps = work.steps;
      cost.gaveUp = gaveUp;
      cost.repeated[0] = static_cast<char>(c.lead);
      cost.repeated[1] = static_cast<char>(c.trail);
      cost.repeated[2] = '\0';
    }
  }
  return cost;
}

}  // namespace mimoza
