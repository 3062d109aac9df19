// knowledge/dictionary_check.h: the data files' bytes -> diagnostics, the checker's public
// interface for the hosts (mimoza check, mimoza edit).
// Dictionary.txt and Boke.dat are read as stored and read again the way every lookup and pick
// reads them; each diagnostic names a place in the file as stored, a severity, a rule and a
// message, said as a CheckText that the faces compose in their language. Nothing is written.
// Leaves this file: CheckSeverity, CheckedFile, CheckRule, kCheckRuleNames, CheckMessage,
// CheckText, CheckDiagnostic, PromptRole, StoredFile, CheckOptions, CheckFigures,
// TurnMilliseconds, MissingPromptsNote, ReadStoredFile, CheckDataTexts, CheckDataFiles. Tested by
// tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_check_fuzz.cpp; measured by
// bench/check_bench.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "knowledge/knowledge.h"

namespace mimoza {

enum CheckSeverity : int8_t {
  CheckError = 0,  // the file does not do what it says: an entry is lost, a key breaks others
  CheckWarning,    // it does, but not the way it looks
  CheckNote,       // worth knowing; nothing is wrong
};

enum CheckedFile : int8_t {
  CheckedDictionary = 0,  // Dictionary.txt
  CheckedQuips,           // Boke.dat
};

// Rules are also indexes into kCheckRuleNames: keep both in this order.
enum CheckRule : int8_t {
  // The structure of Dictionary.txt.
  RuleUnclosedKey = 0,   // "<KEY>" without its "</KEY>" before the next tag or line
  RuleUnclosedAnswer,    // "<ANS>" without its "</ANS>" before the next tag or line
  RuleStrayClose,        // a closing tag that closes nothing
  RuleStrayText,         // text between entries that is neither key nor answer
  RuleAnswerWithoutKey,  // an answer with no key before it
  RuleTagInText,         // a key or answer text holding a tag
  RuleKeyTag,            // a key opened by "<KEY" and more than ">"
  RuleEndMark,           // a 0x1A byte (dropped when read)
  // Keys, and the yes/no lists, which are patterns too.
  RuleNeverMatches,       // it compiles to nothing, or no text can get through it
  RuleMatchesEveryLine,   // it matches the empty text at the first position
  RulePromptText,         // it matches the text a prompt is looked up with
  RuleSlowKey,            // on a hard line it needs more than a key's share of a turn
  RuleSearchBudget,       // its search of a hard line runs out of the budget
  RuleNoAnswer,           // a key with no answer of its own
  RuleAnchorAlternative,  // an anchor in one alternative anchors every alternative
  RuleKeyCut,             // a key longer than is read, or holding a NUL
  RuleKeyControl,         // a control character in a key: no typed line holds one
  RuleUnclosedBracket,    // a "[" or "{" that never closes: the pattern ends before it
  RuleUntypedForm,        // the code of a character that typed text holds in its other code
  // The text of both files.
  RuleNotCp932,          // bytes that are no code page 932 character
  RuleControlCharacter,  // a control character in an answer or quip
  RuleLongText,          // an answer or list longer than is shown or read
  // Entries.
  RuleDuplicate,      // the same key and answer twice
  RulePromptMissing,  // a prompt entry that is not there (its default will be written)
  RulePromptAnswers,  // a prompt with several answers (drawn at random)
  RuleAnswerLimit,    // answers past the kMaxAnswers a lookup reads
  // Boke.dat.
  RuleQuipLines,      // lines past those that are read
  RuleQuipCut,        // a line longer than is shown
  RuleQuipNoLineEnd,  // a file without a line end: one quip
  RuleQuipEmptyLine,  // an empty line: an empty response
  // Either file.
  RuleUnreadable,  // the file is there but cannot be read
  RuleCount
};

inline constexpr const char* kCheckRuleNames[] = {"unclosed-key",
                                                  "unclosed-answer",
                                                  "stray-close",
                                                  "stray-text",
                                                  "answer-without-key",
                                                  "tag-in-text",
                                                  "key-tag",
                                                  "end-mark",
                                                  "never-matches",
                                                  "matches-every-line",
                                                  "prompt-text",
                                                  "slow-key",
                                                  "search-budget",
                                                  "no-answer",
                                                  "anchor-alternative",
                                                  "key-cut",
                                                  "key-control-character",
                                                  "unclosed-bracket",
                                                  "untyped-form",
                                                  "not-cp932",
                                                  "control-character",
                                                  "long-text",
                                                  "duplicate",
                                                  "prompt-missing",
                                                  "prompt-answers",
                                                  "answers-past-limit",
                                                  "quip-lines",
                                                  "quip-cut",
                                                  "quip-no-line-end",
                                                  "quip-empty-line",
                                                  "unreadable"};
static_assert(sizeof(kCheckRuleNames) / sizeof(kCheckRuleNames[0]) == RuleCount);

// The messages of diagnostics, and the words they take as arguments: the faces compose them in
// their language from the message table (conversation/messages.h), which holds a text for each
// in this order. The comments say what each takes as {1}, {2}, ...
enum CheckMessage : int16_t {
  CheckMsgVerbatim = 0,  // no message: the argument's own text
  // The structure of Dictionary.txt. A tag argument is the tag as TagText spells it.
  CheckMsgBadKeyOpening,  // {1} the opening tag as written, {2} the exact key tag
  // The three below: {1} the key tag, {2} the tag inside, {3} its line, {4} the closing tag, {5}
  // its line; and: one entry never read, {6} entries never read, none (the text runs on).
  CheckMsgKeyRunsOverEntry,
  CheckMsgKeyRunsOverEntries,
  CheckMsgKeyRunsOverText,
  CheckMsgTagInsideKey,          // {1} the tag inside
  CheckMsgKeyNeverClosed,       // {1} key tag, {2} the lines never read: 1
  CheckMsgKeyNeverClosedLines,  // the same, {2} more than 1
  CheckMsgAnswerRunsToEnd,      // {1} answer tag, {2} the tag inside, {3} its line
  CheckMsgAnswerRunsToClose,    // the same, {4} the closing tag, {5} its line
  CheckMsgAnswerNeverClosed,    // {1} answer tag
  CheckMsgTagInsideAnswer,       // {1} the tag inside
  CheckMsgAnswerWithoutKey,     // {1} the answer, quoted
  CheckMsgStrayClose,           // {1} the closing tag
  CheckMsgStrayText,            // {1} the text, quoted
  // Keys, and the yes/no lists. {1} of a finding on a pattern is a CheckMsgKeyNamed or a
  // CheckMsgListNamed.
  CheckMsgNoAnswer,     // {1} the key, quoted
  CheckMsgNoOwnAnswer,  // {1} the key, quoted, {2} the line of the answers it takes
  CheckMsgKeyTooLong,   // {1} its bytes, {2} the bytes read
  CheckMsgKeyNul,
  CheckMsgKeyControl,      // {1} the byte
  CheckMsgUnclosedClass,   // {1} the pattern, {2} the text it never reads, quoted
  CheckMsgUnclosedRepeat,  // the same
  CheckMsgUntypedForm,     // {1} the character, quoted, {2} its code, {3} the code typed text has
  CheckMsgPromptTextOne,   // {1} the pattern, {2} the prompt's key, {3} its role
  CheckMsgPromptTextMany,  // {1} the pattern, {2} a CheckMsgList of CheckMsgPromptNamed
  CheckMsgNeverMatches,    // {1} the pattern, {2} why (CheckMsgTooManyNodes ...)
  CheckMsgEveryLineKey,    // {1} the pattern
  CheckMsgEveryLineList,   // {1} the pattern
  CheckMsgAnchorStart,     // {1} the pattern, {2} CheckMsgWordKey or CheckMsgWordList
  CheckMsgAnchorEnd,       // the same
  // The two below: {1} the pattern, {2} the hard line's bytes, {3} what it repeats (quoted, or
  // CheckMsgOwnCharacters), {4} the steps taken; and for the slow key {5} a key's share.
  CheckMsgSearchBudget,
  CheckMsgSlowKey,
  // The text of both files.
  CheckMsgLeadByteLineEnd,  // {1} the byte, as 0xHH
  CheckMsgLeadByteBad,      // {1} the byte, {2} the one after it
  CheckMsgNotCp932Byte,     // {1} the byte
  CheckMsgEndMark,          // {1} the bytes after it
  CheckMsgEndMarks,         // {1} the bytes after the first, {2} how many there are
  CheckMsgAnswerNul,
  CheckMsgAnswerControl,  // {1} the byte
  CheckMsgQuipNul,
  CheckMsgQuipControl,  // {1} the byte
  CheckMsgAnswerLong,   // {1} its bytes, {2} the bytes shown
  CheckMsgListLong,     // {1} the list's role, {2} its bytes, {3} the bytes read
  // Entries.
  CheckMsgDuplicate,        // {1} the line of the first
  CheckMsgPromptMissing,    // {1} the prompt's key, {2} its role, {3} its default, quoted
  CheckMsgPromptsMissing,   // {1} how many, {2} a CheckMsgList of CheckMsgPromptNamed
  CheckMsgPromptAnswers,    // {1} the prompt's key, {2} its role, {3} its answers
  CheckMsgKeyAnswerLimit,   // {1} the key, quoted, {2} its answers, {3} the answers read
  CheckMsgFileAnswerLimit,  // {1} the answers all keys pool, {2} the answers read
  CheckMsgNoDictionary,
  // Boke.dat.
  CheckMsgQuipNoLineEnd,   // {1} the file's bytes
  CheckMsgQuipCrLineEnds,  // {1} the file's bytes
  CheckMsgQuipTooMany,     // {1} its lines, {2} the lines read
  CheckMsgQuipEmptyLine,
  CheckMsgQuipLong,  // {1} its bytes, {2} the bytes shown
  // Either file, and what a rule left out.
  CheckMsgUnreadable,  // {1} why: the system's words, or CheckMsgNotRegularFile
  CheckMsgMorePlaces,  // {1} the places not shown
  // mimoza edit's copy, converted back.
  CheckMsgNoCp932Form,  // {1} the character, as U+HHHH
  CheckMsgNotUtf8,
  // Words that the messages above take as arguments.
  CheckMsgKeyNamed,     // {1} the key, quoted
  CheckMsgListNamed,    // {1} the list's role, {2} the list, quoted
  CheckMsgPromptNamed,  // {1} a prompt's key, {2} its role
  CheckMsgList,         // its arguments, as a list (its text joins them)
  CheckMsgWordKey,
  CheckMsgWordList,
  CheckMsgOwnCharacters,
  CheckMsgNotRegularFile,
  CheckMsgTooManyNodes,   // {1} the bound
  CheckMsgTooManyStates,  // {1} the bound
  CheckMsgCompileOutOfMemory,
  CheckMsgNothingGetsThrough,
  // The prompts' roles, in the order of their keys.
  CheckMsgRoleTitle,
  CheckMsgRoleOfferLearn,
  CheckMsgRoleAskAnswer,
  CheckMsgRoleLearned,
  CheckMsgRoleOfferAdd,
  CheckMsgRoleYesList,
  CheckMsgRoleNoList,
  CheckMessageCount
};

// CheckText: a message and its arguments, each a text (code page 932: a quoted excerpt of the
// file, a number, a tag, a key) or itself a message; what the checker found, in no language yet.
struct CheckText {
  CheckMessage id = CheckMsgVerbatim;  // CheckMsgVerbatim: text is all there is
  std::string text;
  std::vector<CheckText> arguments;  // {1}, {2}, ... of the message

  // Two texts are equal when they say the same in every language.
  bool operator==(const CheckText&) const = default;
};

struct CheckDiagnostic {
  CheckedFile file = CheckedDictionary;
  CheckSeverity severity = CheckNote;
  CheckRule rule = RuleCount;
  uint32_t line = 0;    // 1-based, counting the file's LFs as stored; 0: the file as a whole
  uint32_t column = 0;  // 1-based, in code page 932 characters; 0 with line 0
  CheckText message;    // composed by conversation/messages.h, quoting the file's own text
};

// PromptRole: the role of the prompt or list under a reserved key (CheckMsgRoleTitle ...), for
// the words that name it; CheckMsgVerbatim when key is none of them.
CheckMessage PromptRole(const char* key);

// The bytes of a data file as stored.
struct StoredFile {
  std::string bytes;
  bool present = false;  // false: there is no such file
  int error = 0;         // the system's error number when it is there but cannot be read
};

// What a check measured of the dictionary as a whole, besides its diagnostics.
struct CheckFigures {
  // The worst case of a turn's searches: the line's lookup on a line as hard for every key as
  // the hardest line the checker builds for it, each key charged what it would take within its
  // lookup's slice, and the yes/no lists searched in a reply. In search steps, at most the turn's
  // budget (kTurnSteps).
  int64_t turnSteps = 0;
  bool turnCut = false;         // the keys need more than the lookup's slice: some count as not
                                // matching on such a line
  uint32_t missingPrompts = 0;  // bit i: the i-th prompt (in PromptRole's order) has no entry
};

// TurnMilliseconds: steps as the time they stand for on the machine the budget was measured on
// (kTurnSteps in kTurnMilliseconds), rounded up.
int64_t TurnMilliseconds(int64_t steps);

// MissingPromptsNote: the one note that names the prompts whose bits are set in missing (as
// CheckFigures::missingPrompts), with its default when there is one only. missing is not 0.
CheckDiagnostic MissingPromptsNote(uint32_t missing);

struct CheckOptions {
  // The length of the hard lines each key is searched in (tests and fuzzing use shorter ones).
  size_t hardLineBytes = kMaxLineBytes;
  // The line the dictionary's bytes start on: 1, or more for a piece of a larger file.
  uint32_t firstLine = 1;
};

// ReadStoredFile: the bytes of the regular file name as stored (never waiting on a FIFO).
// A missing file gives present false; one that is there but cannot be read (a folder, no
// permission) gives present true and its error number.
StoredFile ReadStoredFile(const char* name);

// CheckDataTexts: the diagnostics of a dictionary's and a quip file's stored bytes, in file and
// position order (those on a whole file after the rest), appended to *diagnostics, and what it
// measured in *figures when given. Returns false when memory ran out (what was found until then
// is kept). A rule reports at most 100 places; one more note says how many it left out. Mimoza's
// own defaults of the yes/no lists, present and past, are not reported, byte for byte as written.
bool CheckDataTexts(const StoredFile& dictionary, const StoredFile& quips,
                    const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics,
                    CheckFigures* figures = nullptr);

// CheckDataFiles: CheckDataTexts over Dictionary.txt and Boke.dat of the working directory.
bool CheckDataFiles(const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics,
                    CheckFigures* figures = nullptr);

}  // namespace mimoza
