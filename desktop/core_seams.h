// desktop/core_seams.h: where the desktop window meets core operations that are still to come,
// or that live in the terminal's code today: one function each, so that wiring one is a change
// to that function alone (core_seams.cpp). The window calls nothing else for these.
// Leaves this file: SeamStatus, SeamOutcome, CancelDialogue, AbandonTurn, ForgetProposal,
// ProposeForget, Forget, BackupRow, ListBackups, RestoreBackup, EditCopy, MakeEditableCopy,
// ApplyEditedCopy, DiscardEditedCopy, WhyText, StoreFailureText, DiagnosticMessage.
// Tested through the window: tests/desktop/window_model_test.cpp
// (the words) and scripts/test-desktop (cancel, once it is wired).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/window_model.h"

namespace mimoza {

enum SeamStatus : int8_t {
  SeamDone = 0,     // it was done; the outcome's text says what, if anything
  SeamNothing,      // there was nothing to do (no dialogue to cancel, nothing to forget)
  SeamFailed,       // it could not be done; the text says why and nothing was changed
  SeamUnavailable,  // this build's core cannot do it yet
};

struct SeamOutcome {
  SeamStatus status = SeamUnavailable;
  std::string text;  // UTF-8, for a notice
};

// CancelDialogue (worker thread): drops a learning dialogue waiting for the consent or the
// answer; nothing is stored and the engine is idle again. SeamNothing when none was waiting.
// Expects from the core: a cancel operation on Conversation that says whether it dropped one.
SeamOutcome CancelDialogue(ChatSession& session);

// AbandonTurn (window thread, while a job runs on the worker): asks the running turn to stop at
// once, nothing stored and the dialogue's state as before the line; the job's report then says
// it was abandoned. Returns whether the core can (it can: Conversation::RequestAbandon, which
// does nothing when the job is no turn, and leaves a turn that has stored its pair to finish).
bool AbandonTurn(ChatSession& session);

// What F4 would forget: the pair just learned, else the answer just shown, as the core names it
// from the last turn's trace.
struct ForgetProposal {
  SeamStatus status = SeamUnavailable;  // SeamDone: there is something; SeamNothing: nothing
  std::string entry;                    // UTF-8: the entry as stored, for the question
  uint64_t line = 0;                    // where it stands in Dictionary.txt
  bool wholeEntry = false;              // the key goes too (a pair just learned)
};

// ProposeForget (worker): what the last turn showed that can be forgotten. Expects from the
// core: forget's "last learned pair" and "answer on line N" lookups, from the turn's trace.
ForgetProposal ProposeForget(ChatSession& session);
// Forget (worker): removes what ProposeForget named, through the core's safe replace, keeping a
// backup. The text names the backup.
SeamOutcome Forget(ChatSession& session, const ForgetProposal& proposal);

// One backup of Dictionary.txt as the restore list shows it.
struct BackupRow {
  std::string name;         // the backup's file name, as RestoreBackup takes it
  std::string description;  // UTF-8: when it was made, its entries
  bool madeByRestore = false;
};

// ListBackups (worker): the backups of the data directory, newest first. Expects from the core:
// the backup list restore uses.
SeamStatus ListBackups(ChatSession& session, std::vector<BackupRow>* backups);
// RestoreBackup (worker): puts the named backup back through the safe replace (which keeps a
// backup of the file it replaces). The text lists the entries learned since, which it drops.
SeamOutcome RestoreBackup(ChatSession& session, const std::string& name);

// The dictionary's editable UTF-8 copy for the edit round trip.
struct EditCopy {
  SeamStatus status = SeamUnavailable;
  std::string path;  // the copy, for the desktop's text editor
  std::string text;  // UTF-8: why there is none (SeamFailed)
};

// MakeEditableCopy (worker): writes the UTF-8 copy in a private directory. Expects from the
// core: the copy `mimoza edit` makes (LF line ends, the line map kept for the way back).
EditCopy MakeEditableCopy(ChatSession& session);
// ApplyEditedCopy (worker): checks the saved copy and, when it has no error, replaces
// Dictionary.txt with it through the safe replace. SeamFailed with the problems as rows when
// the check finds errors; the copy stays for another try.
struct EditOutcome {
  SeamStatus status = SeamUnavailable;
  std::string text;
  std::vector<DiagnosticRow> problems;
};
EditOutcome ApplyEditedCopy(ChatSession& session, const EditCopy& copy);
// DiscardEditedCopy (worker): removes the copy; nothing is replaced.
void DiscardEditedCopy(ChatSession& session, const EditCopy& copy);

// WhyText: the record of a turn as the why panel shows it, in the core's Japanese words, UTF-8.
std::string WhyText(const TurnRecorder& turn);
// StoreFailureText: why a learned pair was not stored (error 0: a text holding a tag), in the
// core's Japanese words, UTF-8.
std::string StoreFailureText(int error);
// DiagnosticMessage: a checker diagnostic's message, UTF-8, in the core's Japanese words.
std::string DiagnosticMessage(const CheckDiagnostic& diagnostic);

}  // namespace mimoza
