// knowledge/check_internal.h: the dictionary checker's stages below its public interface: the
// diagnostics as they are found (CheckReporter), the rules on the bytes of both files and on
// Boke.dat, and the judgement of a pattern (a key or a yes/no list). Private to mimoza_knowledge:
// check_text.cpp, check_keys.cpp and dictionary_check.cpp, tested through dictionary_check.h.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "knowledge/dictionary_check.h"
#include "knowledge/dictionary_format.h"
#include "knowledge/knowledge.h"

namespace mimoza {

// Excerpt: text[0, length) quoted for a message: whole characters up to kExcerptBytes, every byte
// that is no printable character written as \xHH, "..." when cut. Always code page 932, and
// never a control byte, so a message cannot reach a terminal raw.
std::string Excerpt(const char* text, size_t length);
std::string Excerpt(std::string_view text);
// HexByte: "0x1B".
std::string HexByte(unsigned char c);

// The parts of a diagnostic's CheckText: Says(id, arguments) a message, Verbatim(text) a text
// (code page 932) and Count(n) a number as an argument.
inline CheckText Says(CheckMessage id, std::vector<CheckText> arguments = {}) {
  return CheckText{id, std::string(), std::move(arguments)};
}
inline CheckText Verbatim(std::string_view text) {
  return CheckText{CheckMsgVerbatim, std::string(text), {}};
}
template <typename Number>
CheckText Count(Number n) {
  return Verbatim(std::to_string(n));
}

// A diagnostic as it is found: its place still a stored offset.
struct PendingDiagnostic {
  CheckedFile file = CheckedDictionary;
  CheckSeverity severity = CheckNote;
  CheckRule rule = RuleCount;
  size_t stored = kNoOffset;  // stored offset; kNoOffset: the file as a whole
  CheckText message;
};

// CheckReporter: the diagnostics of one check, counted by file and rule.
class CheckReporter {
 public:
  // Add: a diagnostic at a stored offset (kNoOffset: the whole file); message() makes its text,
  // called only while the rule has room left.
  template <typename Message>
  void Add(CheckedFile file, size_t stored, CheckSeverity severity, CheckRule rule,
           Message message) {
    if (++counts[file][rule] > kMaxPerRule) return;
    found.push_back(PendingDiagnostic{file, severity, rule, stored, message()});
  }

  // Finish: the notes on what was left out, then every diagnostic in file and position order
  // (those on the whole file after the rest), its stored offset made a line and a column.
  void Finish(const StoredText* texts[2], std::vector<CheckDiagnostic>* out);

 private:
  std::vector<PendingDiagnostic> found;
  uint32_t counts[2][RuleCount] = {};
};

// CheckBytes: bytes that are no code page 932 character, and the 0x1A end marks.
void CheckBytes(const StoredText& text, CheckedFile file, CheckReporter& reporter);

// FirstControl: the offset in text of the first control character that shows as a replacement
// mark (C0 but tab, line feed and carriage return, which show as blanks or breaks, and DEL), or
// kNoOffset.
size_t FirstControl(std::string_view text);
// ControlMessage: what an answer (or, with quip, a quip) holding the control character c is told.
CheckText ControlMessage(bool quip, unsigned char c);
// FirstKeyControl: the offset in a key's text of its first control character other than NUL
// (bytes below 0x20, and 0x7F, that are no character's second byte), or kNoOffset. No typed
// line holds one; the NUL, which cuts the key, is told by RuleKeyCut.
size_t FirstKeyControl(std::string_view text);
// FindUntypedForm: the first character of text whose code typed text never holds (it holds
// the character's other code, TypedForm) at *at, and what it is told; false when there is none.
bool FindUntypedForm(std::string_view text, size_t* at, CheckText* message);

// CheckQuips: the lines of Boke.dat as a pick reads them.
void CheckQuips(const StoredText& text, CheckReporter& reporter);

// A finding on a pattern, reported wherever the pattern stands.
struct PatternFinding {
  CheckSeverity severity = CheckNote;
  CheckRule rule = RuleCount;
  CheckText message;  // naming the pattern
};

// The prompts, in the order of their keys' numbers; the title is looked up as an exact key, the
// others as patterns, so only they can be taken over by another key.
struct PromptEntry {
  const ReservedKey* key;  // its key and default
  CheckMessage role;       // what it is, for messages: CheckMsgRoleOfferLearn ...
  bool exact;              // looked up as an exact key
};
inline constexpr int32_t kPromptCount = 7;
extern const PromptEntry kPrompts[kPromptCount];

// What the checker finds of a pattern.
struct PatternJudgement {
  std::vector<PatternFinding> findings;
  // What its compiling and search take on the hardest line the checker builds for it, as a
  // lookup charges them; 0 for a pattern the lookup settles without searching (a plain text, or
  // one its facts decide).
  int64_t steps = 0;
};

// JudgePattern: the findings on a pattern: a key (name a CheckMsgKeyNamed, ownPrompt the prompt
// it is the entry of, or null) or a yes/no list (isList, name a CheckMsgListNamed).
PatternJudgement JudgePattern(const std::string& text, const CheckText& name, bool isList,
                              const ReservedKey* ownPrompt, const CheckOptions& options);

}  // namespace mimoza
