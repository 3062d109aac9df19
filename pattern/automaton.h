// pattern/automaton.h: syntax tree -> numbered-state automaton, and the compile entry point.
// Leaves this file: PatternEdge, Pattern, CompileReporting, BuildPattern, CountExtraStates,
// BuildFragment, AddEdge, BuildStartFilter (CompilePattern and FreePattern are declared in
// pattern/pattern.h).
// Tested by tests/pattern/automaton_test.cpp.
#pragma once

#include <cstdint>

#include "pattern/memory.h"
#include "pattern/parser.h"
#include "pattern/pattern.h"

namespace mimoza {

struct CompileMeter;  // pattern/lexer.h

struct PatternEdge {
  PatternEdge* next;       // the next edge of the same state, tried after this one
  const char* classText;   // NodeClass: the edge's own copy (null if it could not be made)
  const uint8_t* byteSet;  // NodeClass without two-byte items: a bit per first byte it holds
  int32_t kind;            // NodeKind of the node that made the edge
  int32_t epsilon;         // -1: taken without consuming; 0: consumes one character
  int32_t target;          // state the edge leads to
  int32_t group;           // NodeGroupOpen, NodeGroupClose: the group number
  uint8_t charLead;        // NodeChar: first byte
  uint8_t charTrail;       // NodeChar: second byte, 0 for a one-byte character
};

// firstBlock is raw storage for the arena and is left uninitialised on purpose.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
struct Pattern {
  PatternEdge** states = nullptr;  // index == state number: first edge of its list, or null
  int32_t startState = 0;          // always 0
  int32_t finalState = 1;          // always 1; it has no edges
  int32_t stateCount = 2;          // next free number while building; then the length of states
  int32_t groupSlots = 1;          // groups + 1; slot 0 is the whole match
  int32_t lineStartAnchored = 0;   // 1: the search tries line starts only
  int32_t lineEndAnchored = 0;     // 1: final only at a line end, nothing consumes CR or LF
  bool hasGroupEdges = false;      // some edge records a span
  bool failed = false;             // memory ran out while building: the build gives null
  int64_t compileSteps = 0;        // what compiling it took (CompileSteps)
  const char* literal = nullptr;   // the pattern is this plain text: searched as bytes
  // Start filter: which subject characters a match can begin with. anyStart: no filter;
  // firstLead != 0: only that character (firstTrail its second byte); else firstBytes, a bit
  // per first byte.
  bool anyStart = true;
  uint8_t firstLead = 0;
  uint8_t firstTrail = 0;
  uint8_t firstBytes[32] = {};

  // Edges, the state array and class-text copies come from the arena; a short key fits in
  // firstBlock, so compiling it costs one heap call.
  alignas(8) unsigned char firstBlock[768];
  Arena arena{firstBlock, sizeof(firstBlock)};
};

// CompileReporting: CompilePattern, which calls it; *failure says why the result is null, and is
// CompileOk when it is not. *cutOpening, when given, gets the "[" or "{" of text that the text
// ends inside (the pattern then ends before it), else null.
Pattern* CompileReporting(const char* text, CompileFailure* failure,
                          const char** cutOpening = nullptr);

// BuildPattern: the automaton of lexer.root with lexer.groupCount groups; null when it would
// pass kMaxPatternStates or memory runs out.
Pattern* BuildPattern(PatternLexer& lexer);

// BuildStartFilter: fills the start filter from the consuming edges reachable from state 0
// without consuming; leaves anyStart set when it cannot tell (the empty match, classes with
// two-byte items, memory running out).
void BuildStartFilter(Pattern& pattern);

// CountExtraStates: the states the subtree needs beyond the start and final states.
int32_t CountExtraStates(const PatternNode* node);

// BuildFragment: adds the states and edges that take the walk from state from to state to by
// matching node; the byte tables of its classes are charged to meter (null: not counted).
void BuildFragment(Pattern& pattern, const PatternNode* node, int32_t from, int32_t to,
                   CompileMeter* meter);

// AddEdge: a new edge at the head of from's list (so it is tried before the edges added
// earlier), or null, with the list unchanged, when memory runs out.
PatternEdge* AddEdge(Pattern& pattern, int32_t from, int32_t to, int32_t epsilon, int32_t kind);

}  // namespace mimoza
