// pattern/lexer.h: pattern text -> tokens, one per NextToken call; the escape decoder and the
// small text helpers shared by the later stages.
// Leaves this file: PatternToken, kTokenTexts, kMetacharacters, IsMetacharacter and
// AlternationByte (declared in pattern/pattern.h), EscapeMode, PatternLexer, NextToken,
// PlainTextCharacters, DecodeEscape, HexValue, DupText. The limits it applies are in
// pattern/limits.h. Tested by tests/pattern/lexer_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/limits.h"
#include "pattern/memory.h"
#include "pattern/pattern.h"

namespace mimoza {

struct PatternNode;

// Token kinds. Kinds are also indexes into kTokenTexts: keep both in this order. A two-byte text
// precedes its one-byte prefix, so "*?" wins over "*".
enum PatternToken : int32_t {
  TokChar = 0,      // one character; charLead/charTrail hold its bytes
  TokGroupOpen,     // "("
  TokGroupClose,    // ")"
  TokLazyStar,      // "*?"
  TokLazyPlus,      // "+?"
  TokLazyOptional,  // "??"
  TokLazyRepeat,    // "{m,n}?" (or a stray "}?"); repeatMin/repeatMax hold the counts
  TokStar,          // "*"
  TokPlus,          // "+"
  TokOptional,      // "?"
  TokBraceOpen,     // "{": never delivered; becomes TokRepeat, TokLazyRepeat or TokEnd
  TokRepeat,        // "{m,n}" (or a stray "}"); repeatMin/repeatMax hold the counts
  TokDot,           // ".": never delivered; becomes TokClass
  TokClassOpen,     // "[": never delivered; becomes TokClass or TokEnd
  TokClass,         // "[...]", ".", "\d" ... (or a stray "]"); classText holds the class
  TokLineStart,     // "^"
  TokLineEnd,       // "$"
  TokBar,           // "|"
  TokEscape,        // "\": never delivered; becomes TokChar, TokClass or TokEnd
  TokEnd,           // end of the text, or a construct cut off by it
};

// The text each kind is recognised by; "c" and "" are placeholders that are never compared.
inline constexpr const char* kTokenTexts[] = {"c", "(", ")", "*?", "+?", "??", "}?", "*", "+",  "?",
                                              "{", "}", ".", "[",  "]",  "^",  "$",  "|", "\\", ""};
static_assert(sizeof(kTokenTexts) / sizeof(kTokenTexts[0]) == TokEnd + 1);

// The bytes that start a token other than a literal: the first bytes of the texts of kinds
// TokGroupOpen to TokEscape. Derived from kTokenTexts, so that everything that asks whether a
// text is plain (the plain-text fast path, the key facts, the tests' key vocabulary) reads the
// language exactly as the lexer does.
// For each first byte, the kinds whose texts start with it, in kind order (at most two: a
// two-byte text and its one-byte prefix); TokChar where there are fewer.
struct MetacharacterTable {
  bool isMeta[256];
  PatternToken kinds[256][2];
};
constexpr MetacharacterTable MakeMetacharacterTable() {
  MetacharacterTable table{};
  for (int32_t kind = TokGroupOpen; kind < TokEnd; ++kind) {
    const auto first = static_cast<unsigned char>(kTokenTexts[kind][0]);
    PatternToken* slots = table.kinds[first];
    slots[table.isMeta[first] ? 1 : 0] = static_cast<PatternToken>(kind);
    table.isMeta[first] = true;
  }
  return table;
}
inline constexpr MetacharacterTable kMetacharacters = MakeMetacharacterTable();

enum EscapeMode : int32_t {
  KeepClassEscapes = 0,    // inside brackets: "\d" ... "\W" and "\\" stay two bytes
  ExpandClassEscapes = 1,  // outside brackets and in the class test: they become class texts
};

// CompileMeter: the work of one compilation in search steps (pattern/limits.h says what each
// part is worth), against a limit and a stop flag: a caller sharing a budget cuts a compilation
// as it cuts a search.
struct CompileMeter {
  int64_t steps = 0;
  int64_t limit = INT64_MAX;
  const std::atomic<bool>* stop = nullptr;
  WorkEnd end = WorkDone;
  int64_t nextPoll = kStopPollSteps;

  // Charge: adds cost; false, with end set, once the limit is passed or the stop flag is seen.
  bool Charge(int64_t cost) {
    if (end != WorkDone) return false;
    steps += cost;
    if (steps > limit) {
      end = WorkOutOfSteps;
      return false;
    }
    if (steps >= nextPoll) {
      nextPoll = steps + kStopPollSteps;
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
        end = WorkStopped;
        return false;
      }
    }
    return true;
  }
  // ChargeGrowth: what an arena took from the heap since *charged was brought up to it last.
  bool ChargeGrowth(size_t heapBytes, size_t* charged) {
    if (heapBytes <= *charged) return end == WorkDone;
    const auto cost = static_cast<int64_t>((heapBytes - *charged) / kFreshBytesPerStep);
    *charged = heapBytes;
    return Charge(cost);
  }
};

// The state of one compilation, shared by the lexer and the parser.
// treeBlock is raw storage for the arena and is left uninitialised on purpose.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
struct PatternLexer {
  PatternNode* root = nullptr;               // the syntax tree, stored by CompilePattern
  PatternToken token = TokChar;              // kind of the current token
  uint8_t charLead = 0;                      // TokChar: its (first) byte
  uint8_t charTrail = 0;                     // TokChar: second byte of a two-byte character, else 0
  const char* cursor = nullptr;              // next unread byte of the caller's text
  char classText[kClassTextLimit + 1] = {};  // last class text written, NUL-terminated
  int32_t repeatMin = 0;                     // last repeat's lower count
  int32_t repeatMax = 0;                     // last repeat's upper count; 0: no upper bound
  int32_t groupCount = 0;                    // groups opened so far (kept by the parser)
  bool sawAnchor = false;                    // the parser made a "^" or "$" node
  const char* cutOpening = nullptr;          // a "[" or "{" the text ends inside, else null

  // The tree's memory: nodes and class texts come from the arena, whose first block is
  // treeBlock; freed nodes are kept for reuse.
  alignas(8) unsigned char treeBlock[4096];
  Arena arena{treeBlock, sizeof(treeBlock)};
  PatternNode* freeNodes = nullptr;  // released nodes, linked through their left field
  int32_t liveNodes = 0;             // nodes in use, checked against kMaxPatternNodes
  bool failed = false;               // a bound was passed or memory ran out: compile to null
  CompileMeter meter;                // every node made is charged here; past its limit: failed
  size_t treeBytesCharged = 0;       // of the arena's heap bytes, those charged to the meter
};

// NextToken: reads the token at cursor into the record and advances past it. Never fails; once
// the text is used up every call gives TokEnd and cursor stays on the NUL.
void NextToken(PatternLexer& lexer);

// PlainTextCharacters: the number of characters of text[0, length) when every one of them is a
// literal (no metacharacter, no lead byte standing last without its second byte), else 0.
int32_t PlainTextCharacters(const char* text, size_t length);

// DecodeEscape: decodes the escape at `at` (a backslash followed by a byte other than NUL) into
// out (kEscapeOutputBytes bytes, NUL-terminated) and returns the first byte after it. "\x" with
// no digit, or digits of value 0, give the empty output; a NUL is never stepped over.
const char* DecodeEscape(EscapeMode mode, const char* at, char* out);

// HexValue: the value of the hexadecimal digits at the start of text (0 when there is none);
// saturates at INT32_MAX rather than overflowing on a long run of digits.
int32_t HexValue(const char* text);

// DupText: a copy of text in the arena, or null for a null text or when memory runs out. The
// copy lives as long as the arena.
char* DupText(Arena& arena, const char* text);

}  // namespace mimoza
