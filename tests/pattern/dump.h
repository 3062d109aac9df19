// tests/pattern/dump.h: compact text forms of tokens, trees, automata and spans for golden
// comparisons in the pattern tests.
#pragma once

#include <string>

#include "pattern/automaton.h"
#include "pattern/class.h"
#include "pattern/lexer.h"
#include "pattern/parser.h"
#include "pattern/search.h"

namespace mimoza {

// A byte as itself when printable ASCII, else as \xHH.
std::string DumpBytes(const std::string& bytes);
// Every token of text: "Char(a) LazyStar Class(0-9) Repeat(2,3) End".
std::string DumpTokens(const char* text);
// The tree of text: "Concat(a,Star(a))"; Open1/Close1 for markers, "-" for an absent child.
std::string DumpTree(const char* text, int32_t* groupCount = nullptr);
// Edge lists in try order: "0: 'a'->2 | 2: 'b'->1"; flags appended as " ^" and " $".
std::string DumpPattern(const Pattern* pattern);
// A search result: "no" or "match 1-3 g1=0-1 g2=?-2" (offsets into subject, ? for null).
std::string DumpSearch(const char* pattern, const char* subject, int32_t ignoreCase = 0,
                       SearchWalk walk = WalkBounded);

}  // namespace mimoza
