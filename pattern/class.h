// pattern/class.h: class texts (what the lexer makes of "[...]", "." and "\d") -> which
// characters they contain. One reader of class items serves the class test of the search, the
// 256-bit byte set of the automaton's class edges and the character lists of the key facts.
// Leaves this file: ClassContains, ClassByteSet, ClassCharacters.
// Tested by tests/pattern/class_test.cpp.
#pragma once

#include <cstdint>

#include "pattern/limits.h"

namespace mimoza {

// ClassContains: 1 when the class text contains the character at s, else 0. Reads s[0] and s[1]
// only; never reads past the NUL of the class text.
int32_t ClassContains(const char* text, const char* s);

// ClassByteSet: when the class text holds no lead byte, its test depends on the first byte of
// the character only: sets bit c of set (32 bytes) for every first byte c it contains, and
// returns true. Returns false, leaving set undefined, for a class with two-byte items.
bool ClassByteSet(const char* text, uint8_t* set);

// ClassCharacters: when the class contains exactly a few whole characters, each one a subject
// would have to hold as its bytes (single bytes that lead no two-byte character, and two-byte
// characters), writes them into chars (two bytes each, the second 0 for a single byte) and
// returns their number, at most kMaxClassCharacters; duplicates are written once. Returns -1
// for a class that contains more, contains characters by their first byte alone (a range
// reaching into the lead bytes), is negated, or holds any item that is not plain this way.
int32_t ClassCharacters(const char* text, uint8_t (*chars)[2]);

}  // namespace mimoza
