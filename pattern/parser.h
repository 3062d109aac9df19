// pattern/parser.h: tokens -> syntax tree, with every quantifier expanded.
// Leaves this file: NodeKind, PatternNode, ParsePattern, ParseAlternation, ParseSequence,
// ParseQuantified, ParseAtom, NewNode, CopyTree, FreeTree. Tested by tests/pattern/parser_test.cpp.
#pragma once

#include <cstdint>

namespace mimoza {

// The state of one compilation (pattern/lexer.h). Only the parser and the automaton's builder
// reach into it; the search sees the tree's kinds through pattern/automaton.h and never the
// lexer.
struct PatternLexer;

enum NodeKind : int32_t {
  NodeChar = 0,    // one character: charLead, charTrail
  NodeLineStart,   // "^"
  NodeLineEnd,     // "$"
  NodeClass,       // classText (a copy owned by the tree)
  NodeConcat,      // left, then right
  NodeAlt,         // right is preferred: the automaton tries it first
  NodeStar,        // greedy repetition of left
  NodeLazyStar,    // lazy repetition of left
  NodeEmpty,       // matches the empty string
  NodeGroupOpen,   // group's start marker
  NodeGroupClose,  // group's end marker
};

struct PatternNode {
  NodeKind kind;
  uint8_t charLead;       // NodeChar
  uint8_t charTrail;      // NodeChar: 0 for a one-byte character
  int32_t group;          // NodeGroupOpen, NodeGroupClose: 1, 2, ... by their "("
  PatternNode* left;      // NodeConcat, NodeAlt: first child; NodeStar, NodeLazyStar: the child
  PatternNode* right;     // NodeConcat, NodeAlt: second child
  const char* classText;  // NodeClass
};

// ParsePattern: primes the lexer on text and parses the whole of it into lexer.root. False when
// a size bound was passed or memory ran out (the pattern then compiles to null).
bool ParsePattern(PatternLexer& lexer, const char* text);

// ParseAlternation: the whole tree of the tokens from the current one, or null when the lexer's
// failed flag is set (a size bound was passed or memory ran out).
PatternNode* ParseAlternation(PatternLexer& lexer);

// ParseSequence: appends quantified items to *sequence until "|", ")", "(" or the end.
void ParseSequence(PatternLexer& lexer, PatternNode** sequence, bool* started);

// ParseQuantified: applies at most one quantifier to atom (which may be absent).
PatternNode* ParseQuantified(PatternLexer& lexer, PatternNode* atom);

// ParseAtom: a character, class or anchor; null, consuming nothing, for anything else.
PatternNode* ParseAtom(PatternLexer& lexer);

// NewNode: a node from the compilation's arena, charged to lexer.meter, or null (setting
// lexer.failed and releasing the children) when kMaxPatternNodes would be passed, the meter's
// limit is passed or memory runs out.
PatternNode* NewNode(PatternLexer& lexer, NodeKind kind, PatternNode* left, PatternNode* right);

// CopyTree: a deep copy of node (class texts and group numbers included); null on failure.
PatternNode* CopyTree(PatternLexer& lexer, const PatternNode* node);

// FreeTree: returns a subtree's nodes for reuse; null does nothing.
void FreeTree(PatternLexer& lexer, PatternNode* node);

}  // namespace mimoza
