// desktop/core_seams.h: where the desktop window meets the core's operations beyond a turn:
// cancelling a dialogue, abandoning a turn, forget, backups and restore, and the edit round trip;
// one function each, so that the window calls nothing else for these (core_seams.cpp).
// Leaves this file: SeamStatus, SeamOutcome, CancelDialogue, AbandonTurn, ForgetProposal,
// ProposeForget, Forget, BackupRow, ListBackups, RestoreBackup, EditInProgress, EditCopy,
// MakeEditableCopy, EditOutcome, ApplyEditedCopy, DiscardEditedCopy, WhyText, StoreFailureText,
// DiagnosticMessage.
// Tested by tests/desktop/window_model_test.cpp (cancel, forget, restore and edit on a data
// directory, the words) and scripts/test-desktop (Esc, F4, restore through the window).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/window_model.h"
#include "knowledge/dictionary_store.h"
#include "terminal/common/dictionary_copy.h"

namespace mimoza {

enum SeamStatus : int8_t {
  SeamDone = 0,  // it was done; the outcome's text says what, if anything
  SeamNothing,   // there was nothing to do (no dialogue to cancel, nothing to forget)
  SeamFailed,    // it could not be done; the text says why and nothing was changed
  SeamAsk,       // it needs the user's yes first: the text is the question
};

struct SeamOutcome {
  SeamStatus status = SeamNothing;
  std::string text;  // UTF-8, for a notice
};

// CancelDialogue (worker thread): drops a learning dialogue waiting for the consent or the
// answer; nothing is stored and the engine is idle again; the text says it was dropped.
// SeamNothing when none was waiting.
SeamOutcome CancelDialogue(ChatSession& session);

// AbandonTurn (window thread, while a job runs on the worker): asks the running turn to stop at
// once, nothing stored and the dialogue's state as before the line; the job's report then says
// it was abandoned. Returns whether the core can (it can: Conversation::RequestAbandon, which
// does nothing when the job is no turn, and leaves a turn that has stored its pair to finish).
bool AbandonTurn(ChatSession& session);

// What F4 would forget: the pair just learned, else the answer just shown, named from the last
// turn's trace and planned on Dictionary.txt as it is now.
struct ForgetProposal {
  SeamStatus status = SeamNothing;  // SeamDone: plan holds it; else text says why not
  std::string text;                 // UTF-8: the question and what goes, or why nothing can
  ForgetPlan plan;
};

// ProposeForget (worker): what the last turn showed that can be forgotten. Nothing after a
// quip, a cleared line, Mimoza's own prompts, an abandoned turn, or once the file was replaced
// since; SeamFailed when the file no longer holds it where the turn found it.
ForgetProposal ProposeForget(ChatSession& session);
// Forget (worker): applies the proposal's plan through the core's safe replace, keeping a
// backup. The text says what went and where the backup is, or why nothing went.
SeamOutcome Forget(ChatSession& session, const ForgetProposal& proposal);

// One backup of Dictionary.txt as the restore list shows it.
struct BackupRow {
  std::string name;         // the backup's file name, as RestoreBackup takes it
  std::string description;  // UTF-8: its name, when it was made, its entries and size, and
                            // whether a restore made it
};

// ListBackups (worker): the backups of the data directory, newest first; SeamNothing when there
// are none and SeamFailed when the folder cannot be read (the text says so).
SeamOutcome ListBackups(ChatSession& session, std::vector<BackupRow>* backups);
// RestoreBackup (worker): puts the named backup back through the safe replace (which keeps a
// backup of the file it replaces, marked as a restore's). The text lists the entries learned
// since, which the restore does not carry over.
SeamOutcome RestoreBackup(ChatSession& session, const std::string& name);

// EditInProgress: the edit round trip the session holds between its jobs: the lock (taken from
// before the copy is made to the end, as `mimoza edit` holds it), the file as read, the copy.
struct EditInProgress {
  ~EditInProgress();  // a changed copy moves into backups/, not lost with the window
  DictionaryLock lock;
  CurrentDictionary old;
  size_t oldEntries = 0;
  DictionaryCopy copy;
};

// The dictionary's editable UTF-8 copy for the edit round trip.
struct EditCopy {
  SeamStatus status = SeamNothing;
  std::string path;  // SeamDone: the copy, for the desktop's text editor
  std::string text;  // UTF-8: why there is none (SeamFailed)
};

// MakeEditableCopy (worker): takes the lock and writes the UTF-8 copy in a private folder (one
// edit at a time: a second call ends the first, its copy removed).
EditCopy MakeEditableCopy(ChatSession& session);

struct EditOutcome {
  SeamStatus status = SeamNothing;  // SeamDone: replaced or unchanged (the edit ends);
                                    // SeamFailed with problems: the copy stays for another try;
                                    // SeamFailed without: the edit ended (text says where the
                                    // copy was kept); SeamAsk: the copy shrank, text asks
  std::string text;
  std::vector<DiagnosticRow> problems;  // the check's errors and warnings
};
// ApplyEditedCopy (worker): reads the saved copy back and checks it; without an error it
// replaces Dictionary.txt through the safe replace. A copy with fewer than half the entries of
// the file asks first (SeamAsk) unless shrinkAllowed.
EditOutcome ApplyEditedCopy(ChatSession& session, bool shrinkAllowed);
// DiscardEditedCopy (worker): ends the edit, nothing replaced: the copy is removed, or with keep
// moved into backups/ (the text says where). SeamNothing when no edit was in progress.
SeamOutcome DiscardEditedCopy(ChatSession& session, bool keep);

// WhyText: the record of a turn as the why panel shows it, in the core's Japanese words, UTF-8.
std::string WhyText(const TurnRecorder& turn);
// StoreFailureText: why a learned pair was not stored (error 0: a text holding a tag), in the
// core's Japanese words, UTF-8.
std::string StoreFailureText(int error);
// DiagnosticMessage: a checker diagnostic's message, UTF-8, in the core's Japanese words.
std::string DiagnosticMessage(const CheckDiagnostic& diagnostic);

}  // namespace mimoza
