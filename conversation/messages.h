// conversation/messages.h: the words every face shows besides the dictionary's own texts, in one
// table that holds an English and a Japanese text of each message: the record of a turn, the
// checker's diagnostics, the notices, the terminal's key words and the desktop window's words. Texts are code page 932 in and
// out (no conversion here, so the Windows program links it); a face converts at its edge.
// Leaves this file: Language, MessageId, CheckMessageId, MessageText, Compose, FillPlaceholders,
// ComposeCheck, ComposeCheckSummary, StoreFailureWords. Tested by tests/conversation/messages_test.cpp.
//
// A text holds numbered placeholders, {1} to {9}, which the caller's arguments fill ({1} the
// first), and {D} and {Q}, which the data files' names fill (knowledge/limits.h). A placeholder
// without an argument is left empty; a text never holds "{" otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "knowledge/dictionary_check.h"

namespace mimoza {

enum Language : int8_t {
  LanguageEnglish = 0,  // the terminal's words outside a Japanese locale
  LanguageJapanese,     // the terminal's under a ja_* locale; the Windows dialog's and the window's
  LanguageCount
};

// The messages, in the order of the table in messages.cpp; the comment says what each takes as
// arguments. The checker's messages (CheckMessage, knowledge/dictionary_check.h) follow the
// faces' own from MsgCheckFirst on, in their own order (CheckMessageId).
enum MessageId : int16_t {
  // The record of a turn (the why box and window) and the report of `mimoza explain`. A place is
  // "Dictionary.txt:N"; a chance is "3/4 (75.00%)".
  MsgState = 0,  // {1} the dialogue's state: one of the three below
  MsgStateIdle,
  MsgStateAwaitingConsent,
  MsgStateAwaitingAnswer,
  MsgQuipRoll,   // {1} the roll, {2} the roll that asks for a quip, {3} its chance,
                 // {4} MsgQuipLine(s) or MsgNoQuip
  MsgQuipLine,   // {1} lines of the quip file: 1
  MsgQuipLines,  // {1} lines of the quip file: not 1
  MsgNoQuip,
  MsgNoKeyMatches,
  MsgKeysThatMatch,
  MsgKeyMatches,      // {1} the key's place, {2} the key, {3} the line with the match marked
  MsgSpanGaveUp,      // {1} the line
  MsgMoreKeys,        // {1} keys not listed
  MsgUnsearchedHeader,
  MsgUnsearchedKey,     // {1} the key's place, {2} the key, {3} MsgUnsearchedSteps or ...Memory
  MsgUnsearchedSteps,
  MsgUnsearchedMemory,
  MsgPool,            // {1} the answers of the pool
  MsgPoolQuipTook,    // {1} the answers of the pool
  MsgPoolEntry,       // {1} its number, {2} the answer, {3} its place
  MsgPoolEntryDrawn,  // the same, for the one drawn
  MsgMoreAnswers,     // {1} answers not listed
  MsgDrawnQuip,       // {1} the quip's line, {2} the file's lines, {3} its chance
  MsgDrawnAnswer,     // {1} the answer's number, {2} the pool's, {3} its place, {4} its chance
  MsgDrawnNothing,
  MsgReply,  // {1} how the reply read: one of the three below
  MsgReplyNeither,
  MsgReplyYes,
  MsgReplyNo,
  MsgShownDrawn,
  MsgShownCleared,     // {1} the bytes a line needs to be offered
  MsgShownOfferLearn,  // {1} the prompt's key
  MsgShownOfferAdd,    // {1} the prompt's key
  MsgShownRefused,
  MsgShownQuestion,  // {1} the prompt's key
  MsgShownLearned,   // {1} the prompt's key
  MsgShownNotStored,
  MsgTurnAbandoned,
  MsgPromptPool,  // {1} the prompt's key, {2} its role, {3} the answers of its pool
  MsgPromptDefaultStored,
  MsgPromptNone,  // {1} the prompt's built-in default
  MsgSourceWithKey,     // {1} an answer's place, {2} the key that pooled it
  MsgExplainAnswer,     // {1} the answer, {2} its chance, {3} its places
  MsgExplainNoQuips,    // {1} the quip's chance (none), {2} the roll that asks for a quip
  MsgExplainQuip,       // {1} the quip's chance, {2} MsgQuipShares
  MsgQuipShares,        // {1} MsgQuipLine(s), {2} each line's draws, {3} all the draws
  MsgQuipShareRange,    // {1} the fewest draws, {2} the most
  MsgQuipSharesNever,   // {1} MsgQuipShares, {2} the lines never drawn
  MsgTurnAnswerOrQuip,  // {1} the roll that asks for a quip
  MsgTurnAnswer,
  MsgTurnQuip,
  MsgTurnOffer,      // {1} its chance; the prompt's choices follow
  MsgTurnClear,      // {1} the bytes a line needs to be offered, {2} its chance
  MsgPromptChoice,   // {1} the text, {2} its chance, {3} its places with their keys
  MsgPromptBuiltIn,  // {1} the default, {2} its chance
  MsgExplainUnreadable,
  MsgExplainEmptyLine,
  MsgNothingSaidYet,
  // The summary of `mimoza check`.
  MsgNoProblems,
  MsgCheckSummary,  // {1} the errors, {2} the warnings, {3} the notes, each counted below
  MsgErrorCount,    // {1} errors: 1
  MsgErrorsCount,   // {1} errors: not 1
  MsgWarningCount,  // likewise
  MsgWarningsCount,
  MsgNoteCount,
  MsgNotesCount,
  MsgTurnCost,     // {1} the steps, {2} their time in ms, {3} the turn's steps, {4} their ms
  MsgTurnCostCut,  // the same, when the keys need more than the line's lookup may take
  // Notices: what a face says of its own.
  MsgStoreRefused,          // {1} to {4} the dictionary's tags
  MsgStoreFailed,           // {1} the system's reason
  MsgDictionaryUnwritable,  // {1} the data directory, {2} the system's reason
  MsgDictionaryUnreadable,  // {1} the data directory, {2} the reason (MsgNotRegularFile ...)
  MsgNotRegularFile,
  MsgHistoryOff,
  MsgHistoryNotLoaded,  // {1} the reason
  MsgHistoryNotSaved,   // {1} the reason
  MsgTurnsNotShown,     // {1} the reason
  MsgTurnsNotSaved,     // {1} the reason
  MsgNoJapanese,        // {1} the terminal's character set
  MsgNoWhyYet,
  MsgDialogueDropped,
  // Forget and restore as the Windows dialog offers them. An item is one line of a list.
  MsgQuoted,            // {1} a text of the file or of the user, quoted
  MsgForgetQuestion,    // the items follow
  MsgForgetAnswerItem,  // {1} the answer's line, {2} the answer, {3} the key's line, {4} the key
  MsgForgetLooseItem,   // {1} the answer's line, {2} the answer (no key before it)
  MsgForgetKeyItem,     // {1} the key's line, {2} the key
  MsgForgetPooledItem,  // {1} the key's line, {2} the key
  MsgForgotten,         // {1} the answers forgotten (MsgQuoted), {2} the backup
  MsgNothingToForget,
  MsgRestoreQuestion,   // {1} the backup, {2} when it was taken
  MsgRestoreLoses,      // MsgForgetAnswerItem items follow
  MsgRestored,          // {1} the backup, {2} the backup of the file it replaced
  MsgRestoreSame,       // {1} the backup
  MsgNoBackup,
  MsgStoreBusy,  // {1} the process that holds the lock
  MsgStoreChanged,
  MsgStoreCannotBackUp,   // {1} the system's reason, {2} the backups folder
  MsgStoreCannotReplace,  // {1} the system's reason
  // F4 in the interactive terminal: its box's caption and keys, and a "no".
  MsgForgetCaption,
  MsgForgetYesNo,   // the keys of the question
  MsgNotForgotten,  // the user said no
  MsgForgetGone,    // the file no longer holds what the turn showed
  MsgCarriedKept,
  MsgRestoreLost,        // MsgForgetAnswerItem items follow
  MsgBackupRow,          // {1} the backup's name, {2} when it was taken, {3} its entries, {4} bytes
  MsgBackupRowRestore,   // the same, for a backup a restore made
  MsgNotABackup,         // {1} the name asked for (MsgQuoted)
  MsgBackupMissing,      // {1} the backup's name
  MsgOldFileKept,        // {1} the backup of the file replaced
  MsgCopyKept,           // {1} where the edited copy is kept
  // The desktop window: forget, restore and the edit round trip as it offers them, and its own
  // fixed words.
  MsgForgetTitle,
  MsgForgetWord,
  MsgRestoreTitle,
  MsgRestoreWord,
  MsgEditCannot,         // {1} why (MsgStore... words)
  MsgEditNoCopy,         // {1} the system's reason
  MsgEditNone,
  MsgEditCopyGone,       // {1} the copy
  MsgEditCopyUnreadable,  // {1} the system's reason
  MsgEditUnchanged,
  MsgEditCheckRanOut,
  MsgEditErrors,
  MsgEditShrinks,        // {1} the copy's entries, {2} the file's
  MsgEditApplied,
  MsgEditDropped,
  MsgEditOpened,
  MsgEditHint,
  MsgEditApply,
  MsgEditDiscard,
  MsgEditReplace,
  MsgSeverityError,  // a diagnostic's severity, in CheckSeverity's order
  MsgSeverityWarning,
  MsgSeverityNote,
  MsgEditProblems,
  MsgCheckTitle,
  MsgCheckPartial,
  MsgDiagnostics,
  MsgClose,
  MsgCancelWord,
  MsgMenuCheck,
  MsgMenuEdit,
  MsgMenuRestore,
  MsgMenuOpenFolder,
  MsgMenuAbout,
  MsgMenu,
  MsgWhyWord,
  MsgWhyTip,
  MsgWhyPanel,
  MsgWhyEmpty,
  MsgForgetTip,
  MsgBusy,
  MsgTranscript,
  MsgInputHint,
  MsgInput,
  MsgSend,
  MsgSendCtrl,
  MsgSendCtrlTip,
  MsgCannotAbandon,
  MsgTurnStopped,
  MsgEarlierTurns,        // {1} the time of the last
  MsgBackups,
  MsgFolderNoUri,         // {1} the data folder
  MsgFolderNotOpened,     // {1} the system's reason
  MsgProgramName,
  MsgAboutComment,
  MsgCannotStart,
  MsgNoDataDirectory,
  MsgDataDirectoryUnusable,// {1} the data folder
  // The interactive terminal: its search, hints, first line and key bar items.
  MsgSearching,     // {1} the text searched for
  MsgSearchFailed,  // {1} the text searched for
  MsgBoxHint,
  MsgSearchHint,
  MsgScrolledBack,
  MsgFirstScreen,  // what Mimoza is and how to teach it, in one line
  MsgKeySend,
  MsgKeyAddAnswer,
  MsgKeyReadAll,
  MsgKeyWhy,
  MsgKeyForget,
  MsgKeyScroll,
  MsgKeyCancel,
  MsgKeyQuit,
  MsgCheckFirst,  // the checker's messages, CheckMessageId(CheckMsgVerbatim) on
  MessageCount = MsgCheckFirst + static_cast<int16_t>(CheckMessageCount)
};

// CheckMessageId: where the checker's message id stands in the table.
constexpr MessageId CheckMessageId(CheckMessage id) {
  return static_cast<MessageId>(MsgCheckFirst + static_cast<int16_t>(id));
}

// MessageText: the text of id in language, placeholders unfilled; empty for an id out of range.
std::string_view MessageText(Language language, MessageId id);

// Compose: the text of id in language with its placeholders filled, code page 932. Never throws:
// when memory runs out it gives an empty text.
std::string Compose(Language language, MessageId id,
                    std::initializer_list<std::string_view> arguments = {}) noexcept;

// FillPlaceholders: text with its placeholders filled. text is code page 932 and stepped through
// by characters (so a second byte "{" stays part of its character), or, with utf8, UTF-8: a face
// that converted a message's text first fills it with its own UTF-8 arguments (paths, the
// system's words). Never throws; empty when memory runs out.
std::string FillPlaceholders(std::string_view text, std::span<const std::string_view> arguments,
                             bool utf8 = false) noexcept;

// ComposeCheck: a diagnostic's CheckText in language, code page 932. Never throws.
std::string ComposeCheck(Language language, const CheckText& text) noexcept;

// ComposeCheckSummary: "2 errors, 1 warning, 3 notes", or "no problems found" when all are 0, in
// language, code page 932. Never throws.
std::string ComposeCheckSummary(Language language, size_t errors, size_t warnings,
                                size_t notes) noexcept;

// StoreFailureWords: why a learned pair was not stored, for the error number
// ConversationHost::StoreFailed gives (0: its texts hold a tag of the dictionary).
std::string StoreFailureWords(Language language, int error) noexcept;

}  // namespace mimoza
