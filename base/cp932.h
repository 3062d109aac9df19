// base/cp932.h: code page 932 byte facts for every folder: which bytes lead a two-byte
// character, which may follow one, and how far one character reaches.
// Leaves this file: IsLeadByte, IsSecondByte, CharacterLength, StepCharacter, ValidCharacterLength.
// Header-only (the INTERFACE library mimoza_base), below the pattern matcher, so that the core,
// the faces and the tools step through text by the same rule. Exercised by every test that
// reads double-byte text (tests/pattern/lexer_test.cpp, tests/knowledge/dictionary_check_test.cpp,
// tests/terminal/encoding_test.cpp).
#pragma once

#include <cstddef>

namespace mimoza {

// Bytes 0x81-0x9F and 0xE0-0xFC lead a two-byte character in code page 932, on every platform,
// whatever the system's own code page; the second byte may be "\\", "[", "|" or any other byte.
constexpr bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// IsSecondByte: whether c can follow a lead byte in a character the code page defines
// (0x40-0x7E and 0x80-0xFC). Readers step over any byte after a lead byte; only those that judge
// or convert text ask this.
constexpr bool IsSecondByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// CharacterLength: the bytes of the character at s in a NUL-terminated text (s[0] is not the
// NUL): 2 for a lead byte and its second byte, 1 for anything else, a lead byte right before the
// NUL included. Every walk over a subject steps by this rule: the search's and the key screen's
// alike.
constexpr size_t CharacterLength(const unsigned char* s) {
  return IsLeadByte(s[0]) && s[1] != 0 ? 2 : 1;
}

// StepCharacter: the bytes of the character at text[at] (at < end) that stay before end: 2 for
// a lead byte with a byte after it, else 1, so a lead byte standing last is one character.
constexpr size_t StepCharacter(const char* text, size_t at, size_t end) {
  return IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < end ? 2 : 1;
}

// ValidCharacterLength: StepCharacter for readers that judge bytes: 2 only when the byte after
// the lead byte can follow it (IsSecondByte), so a lead byte before anything else is one byte of
// its own.
constexpr size_t ValidCharacterLength(const char* text, size_t at, size_t end) {
  return StepCharacter(text, at, end) == 2 && IsSecondByte(static_cast<unsigned char>(text[at + 1]))
             ? 2
             : 1;
}

}  // namespace mimoza
