// pattern/pattern.h: the pattern matcher's public interface.
// A pattern text (code page 932 bytes) compiles to a Pattern, which is searched once in a subject
// line and freed. Every text compiles (malformed constructs have defined meanings); the result is
// null only when memory runs out or the pattern passes the size bounds, and a null Pattern never
// matches. Nothing here throws, prints or keeps global state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mimoza {

// Bytes 0x81-0x9F and 0xE0-0xFC lead a two-byte character in code page 932, on every platform,
// whatever the system's own code page; the second byte may be "\\", "[", "|" or any other byte.
inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// CharacterLength: the bytes of the character at s (s[0] is not the NUL): 2 for a lead byte and
// its second byte, 1 for anything else, a lead byte right before the NUL included. Every walk
// over a subject steps by this rule: the search's and the key screen's alike.
inline size_t CharacterLength(const unsigned char* s) {
  return IsLeadByte(s[0]) && s[1] != 0 ? 2 : 1;
}

struct Pattern;  // a compiled automaton; private to the pattern library

// One group slot of a successful search: [start, end) inside the subject, or null where the
// search wrote nothing. Slot 0 is the whole match.
struct MatchSpan {
  const char* start;
  const char* end;
};

// CompilePattern: compiles a NUL-terminated pattern text (never null).
// Returns null when memory runs out or the pattern would pass the size bounds; the caller frees
// the result with FreePattern.
Pattern* CompilePattern(const char* text);

// FreePattern: releases a Pattern and everything it owns; null does nothing.
void FreePattern(Pattern* pattern);

// SearchPattern: searches the pattern inside the NUL-terminated subject.
// Returns the number of group slots (at least 1) and stores a new span array in *spans on a match;
// returns 0 and leaves *spans unwritten when there is no match, the subject is empty or the pattern
// is null. ignoreCase folds ASCII letters of one-byte characters only when it is exactly 1.
int32_t SearchPattern(const Pattern* pattern, const char* subject, MatchSpan** spans,
                      int32_t ignoreCase);

// FreeSpans: releases a span array from SearchPattern; null does nothing.
void FreeSpans(MatchSpan* spans);

// An owner that frees its Pattern, for the callers that keep compiled patterns.
struct PatternDeleter {
  void operator()(Pattern* pattern) const { FreePattern(pattern); }
};
using PatternPtr = std::unique_ptr<Pattern, PatternDeleter>;

// PatternFound: whether the pattern (null never matches) matches inside subject, case-sensitive;
// for the callers that ask only whether, so the spans are released at once.
bool PatternFound(const Pattern* pattern, const char* subject);

// MatchesPattern: compiles text, searches it inside subject and frees both.
bool MatchesPattern(const char* text, const char* subject);

}  // namespace mimoza
