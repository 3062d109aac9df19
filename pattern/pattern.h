// pattern/pattern.h: the pattern matcher's public interface.
// A pattern text (code page 932 bytes) compiles to a Pattern, which is searched once in a subject
// line and freed. Every text compiles (malformed constructs have defined meanings); the result is
// null only when memory runs out or the pattern passes the size bounds, and a null Pattern never
// matches. Nothing here throws, prints or keeps global state.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/cp932.h"  // IsLeadByte, CharacterLength: the pattern language steps by them
#include "pattern/limits.h"

namespace mimoza {

// IsMetacharacter: whether a byte starts a token other than a literal character in a pattern
// text (outside a two-byte character, whose second byte is always literal).
bool IsMetacharacter(unsigned char c);

// AlternationByte: the byte that separates the alternatives of a pattern ("|"), for callers that
// read a list of alternatives as text.
char AlternationByte();

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

// PatternMemoryBytes: the memory a compiled pattern holds, for callers that bound a cache of
// them; 0 for null.
size_t PatternMemoryBytes(const Pattern* pattern);

// MatchesEmptyText: whether the pattern can match the empty text: a path of edges that consume
// nothing (anchors included) leads from its start to its final state. Such a pattern matches at
// the first position of every line (or every line start). False for null.
bool MatchesEmptyText(const Pattern* pattern);

// QuoteMetacharacters: writes into out (room for outSize bytes, at least 1) the text with a "\"
// before every metacharacter that is not the second byte of a two-byte character, so that as a
// pattern it matches exactly where the text occurs; cut at a character boundary when it does not
// fit. Returns the length written (a NUL follows).
size_t QuoteMetacharacters(const char* text, char* out, size_t outSize);

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

// ---- Bounded work -----------------------------------------------------------------------------
// A caller that shares one budget among many compilations and searches (a turn over every key of
// a dictionary) gives each its limits and reads back what it took. Steps are the one unit of
// work: a search step enters one (state, position) pair; clearing a search's visited record and
// compiling are counted in the same steps (pattern/limits.h says what each is worth), so a limit
// in steps bounds the time of both.

// How a bounded compilation or search ended.
enum WorkEnd : int8_t {
  WorkDone = 0,     // it ran to its end: its result is the pattern's own
  WorkOutOfSteps,   // it passed its step limit; a search then counts as no match
  WorkOutOfMemory,  // a search needed more memory than its limit, or than there was
  WorkStopped,      // the caller's stop flag was seen set: it gave up at once
};

// What one compilation or search may take, and what it took.
struct PatternWork {
  int64_t stepLimit = kSearchStepBudget;     // in: the steps it may take
  size_t memoryLimit = kSearchMemoryBudget;  // in: the bytes a search may hold while it walks
  const std::atomic<bool>* stop = nullptr;   // in: looked at every kStopPollSteps steps
  int64_t steps = 0;                         // out: the steps taken, at most stepLimit
  WorkEnd end = WorkDone;                    // out: why it ended
};

// CompileWithin: CompilePattern, its work counted against work's step limit and stop flag. Null
// with work->end WorkDone is a pattern that never matches (past a size bound, or memory ran out);
// null with another end is one whose compilation was cut short, which says nothing of it.
Pattern* CompileWithin(const char* text, PatternWork* work);

// CompileSteps: the steps compiling the pattern took (0 for null). A caller that keeps compiled
// patterns charges them again on every use, so that keeping one never changes what a limit
// decides.
int64_t CompileSteps(const Pattern* pattern);

// SearchWithin: SearchPattern (case-sensitive) within work's limits; a search that passes them
// counts as no match, and work->end says why.
int32_t SearchWithin(const Pattern* pattern, const char* subject, MatchSpan** spans,
                     PatternWork* work);

// MatchesWithin: MatchesPattern within work's limits, compiling and searching together; when
// compiled is given it receives the pattern (null when it did not compile). False, with
// work->end saying why, when the work passed its limits.
bool MatchesWithin(const char* text, const char* subject, PatternWork* work,
                   PatternPtr* compiled = nullptr);

// ---- What a pattern text tells without searching -----------------------------------------
// The key facts of a pattern, computed from the same lexer and parser the compiler uses, by one
// bottom-up walk over the parsed tree: the literal texts any match must contain, the finite set
// of texts it can match when there are few, and the "texts, one starred character, texts" form.
// A caller with many patterns and one subject settles most patterns by byte searches with them.

// A text of PatternFacts: length bytes, inside its storage.
struct FactsText {
  const char* bytes;
  size_t length;
};

class PatternFacts {
 public:
  // Texts: when textCount >= 0, the pattern matches a subject exactly when the subject contains
  // one of these texts (an empty one matches every non-empty subject); none: it never matches.
  // -1: not known (infinitely many, too many, or an anchor decides).
  int8_t textCount = -1;
  // Clauses, when textCount is -1: every subject the pattern matches contains one needle of each
  // clause.
  int8_t clauseCount = 0;
  int8_t clauseSizes[kMaxFactsClauses] = {};
  // The star form: the pattern is a sequence of finitely many prefix texts, then any number of
  // one starred character (of the starred characters, or any character when starAny), then
  // finitely many suffix texts. It matches where a prefix is followed by such characters and then
  // a suffix.
  bool starForm = false;
  bool starAny = false;
  int8_t prefixCount = 0;
  int8_t starCount = 0;  // starred characters, one or two bytes each
  int8_t suffixCount = 0;

  // Source: the pattern text the facts are of.
  FactsText Source() const { return At(0); }
  FactsText Text(int32_t i) const { return At(1 + i); }
  FactsText Needle(int32_t clause, int32_t i) const;
  FactsText Prefix(int32_t i) const { return At(NeedlesEnd() + i); }
  FactsText StarChar(int32_t i) const { return At(NeedlesEnd() + prefixCount + i); }
  FactsText Suffix(int32_t i) const { return At(NeedlesEnd() + prefixCount + starCount + i); }
  // MemoryBytes: what the record holds on the heap, for callers that bound a cache of them.
  size_t MemoryBytes() const;

  // Store: keeps copies of the source and of the texts, in the order texts, clause needles,
  // prefixes, starred characters, suffixes (the counts above say how many of each). False when
  // memory runs out.
  bool Store(FactsText source, const FactsText* texts, int32_t count);

 private:
  FactsText At(int32_t i) const;
  int32_t NeedlesEnd() const;
  int32_t Stored() const;
  // One block, so a record costs one allocation and little more than its texts: the number of
  // texts (one byte), the end offset of each (two bytes), then the bytes of the source and of
  // the texts.
  std::unique_ptr<char[]> storage;
};

// ComputePatternFacts: the facts of a NUL-terminated pattern text. A pattern that compiles to
// null (past a size bound) never matches, and its facts say so. Working them out takes at most
// kFactsStepsPerByte steps for each byte of the text (and kFactsBaseSteps more), so that the facts
// of a dictionary cost in proportion to its size; a pattern that would take more (counted repeats
// of counted repeats) gets facts that say nothing, and is searched. Returns false, the facts
// saying nothing, when memory runs out.
bool ComputePatternFacts(const char* text, PatternFacts* facts);

// IsPlainPattern: whether text[0, length) is a plain text: every character a literal, so the
// pattern matches exactly where its bytes occur. The empty text is not plain (it matches at the
// first position of every subject).
bool IsPlainPattern(const char* text, size_t length);

// ---- What a checker of keys asks (pattern/examine.cpp) --------------------------------------
// Read off the compiled automaton and the real search, so that a checker names exactly what the
// matcher does: why a pattern can never match, whether it matches every line, whether an anchor
// in one alternative anchors them all, and what its search costs on lines built to be hard.

// Why a pattern text compiles to null (and so never matches).
enum CompileFailure : int8_t {
  CompileOk = 0,         // it compiled
  CompileTooManyNodes,   // its syntax tree, every copy of a counted repeat included, passes the
                         // node bound
  CompileTooManyStates,  // its automaton passes the state bound
  CompileOutOfMemory,    // memory ran out
};

struct PatternExamination {
  CompileFailure failure = CompileOk;  // why the pattern compiled to null, if it did
  int32_t bound = 0;                   // the node or state bound it passed
  // Some text matches: a way of edges that characters and anchors can take leads from the start
  // to the final state. False for an anchor where it can never hold ("a^b"), a repeat of nothing
  // ("+a") or an empty class, as for a null pattern.
  bool canMatch = false;
  bool matchesEmpty = false;  // MatchesEmptyText: it matches at the first position of every line
  // An anchor that takes effect holds for the whole pattern: a "^" at the start of one alternative
  // makes the search try line starts only, for every alternative ("a|^b" finds no "a" after the
  // first character of a line). Set when such an anchor is there and another way through the
  // pattern does without it; lineEndSpreads is the same for "$" and line ends.
  bool lineStartSpreads = false;
  bool lineEndSpreads = false;
  // The offset of a "[" or "{" that never closes: the pattern ends before it, as if the text
  // ended there ("ab[cd" is "ab"); -1 when there is none.
  int32_t cutOpening = -1;
};

// ExaminePattern: compiles text and fills *examination. Returns the compiled pattern (null when
// it did not compile) for the searches the caller makes next.
PatternPtr ExaminePattern(const char* text, PatternExamination* examination);

// What a search took on the line that cost it most.
struct SearchCost {
  int64_t steps = 0;    // (state, position) pairs entered
  bool gaveUp = false;  // it ran out of the step or memory budget, and so counted as no match
  // The line: one character (its bytes, NUL-terminated) repeated, or "" for the pattern's own
  // characters in turn.
  char repeated[3] = {};
};

// HardLineCost: searches the pattern in lines of lineBytes bytes built to be hard for it (the
// character its edges consume most, "a", and its consumed characters in turn, each repeated to
// fill the line) and returns the costliest search. An automaton too small for any search of such
// a line to pass floor steps (each pass enters a pair at most once) is not searched: zero steps.
SearchCost HardLineCost(const Pattern* pattern, size_t lineBytes, int64_t floor);

}  // namespace mimoza
