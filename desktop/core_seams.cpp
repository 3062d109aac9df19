// desktop/core_seams.cpp: the desktop window's seams -> the engine, the dictionary store
// (knowledge/dictionary_store.h) and the editable copy (terminal/common/dictionary_copy.h), and
// their results -> the window's Japanese words, composed from the message table as the Windows
// dialog composes them (conversation/take_back_words.h) and turned into UTF-8 here.
// Leaves this file: the functions of core_seams.h. Said, Told, StoreWords, Failed and EndEdit
// are private. Tested as core_seams.h says.
#include "desktop/core_seams.h"

#include <cerrno>
#include <cstring>
#include <span>

#include "conversation/messages.h"
#include "conversation/take_back_words.h"
#include "knowledge/limits.h"
#include "terminal/common/encoding.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

// Said: words the core composed in code page 932 (texts of the file inside), as the window shows
// them: UTF-8, every line safe, without the line break a list ends in.
std::string Said(const std::string& cp932) { return std::string(DropFinalBreak(ShownText(cp932))); }

// Told: a message in the window's language whose arguments are UTF-8 already (paths, the system's
// words); a path is shown as Visible makes it.
std::string Told(MessageId id, std::initializer_list<std::string_view> arguments = {}) {
  return Words(LanguageJapanese, id, arguments);
}

std::string StoreWords(const StoreResult& result) {
  return Said(StoreResultWords(result, LanguageJapanese));
}

SeamOutcome Failed(std::string text) { return {SeamFailed, std::move(text)}; }

// EndEdit: the edit round trip is over: its lock goes, and its copy unless it was moved away.
void EndEdit(ChatSession& session) { session.Edit().reset(); }

}  // namespace

// A changed copy outlives a window closed during its edit: it moves into backups/.
EditInProgress::~EditInProgress() {
  std::string bytes;
  std::vector<CheckDiagnostic> problems;
  int error = 0;
  if (copy.ReadBack(old.bytes, &bytes, &problems, &error) == CopyChanged) copy.Keep();
}

SeamOutcome CancelDialogue(ChatSession& session) {
  if (!session.Engine().CancelDialogue()) return {};
  return {SeamDone, Words(LanguageJapanese, MsgDialogueDropped)};
}

// The engine's own request: the running SubmitLine returns at once, and its report says so.
bool AbandonTurn(ChatSession& session) {
  session.Engine().RequestAbandon();
  return true;
}

ForgetProposal ProposeForget(ChatSession& session) {
  ForgetProposal proposal;
  proposal.text = Told(MsgNothingToForget);
  if (session.LastTurnStale()) return proposal;
  switch (PlanForgetShown(session.LastTurn(), &proposal.plan)) {
    case ShownNothing:
      return proposal;
    case ShownGone:
      proposal.status = SeamFailed;
      proposal.text = Told(MsgForgetGone);
      return proposal;
    case ShownFound:
      break;
  }
  if (proposal.plan.problem == ForgetUnreadable) {
    proposal.status = SeamFailed;
    proposal.text = StoreWords(proposal.plan.result);
    return proposal;
  }
  proposal.status = SeamDone;
  proposal.text = Said(ForgetQuestion(proposal.plan, LanguageJapanese));
  return proposal;
}

SeamOutcome Forget(ChatSession& session, const ForgetProposal& proposal) {
  const StoreResult result = ApplyForget(proposal.plan, ReplaceOptions{});
  if (result.status != StoreDone) return Failed(StoreWords(result));
  session.MarkLastTurnStale();
  std::string text = Said(ForgottenWords(proposal.plan, result.backup, LanguageJapanese));
  if (result.carried > 0) text += Told(MsgCarriedKept);
  return {SeamDone, text};
}

SeamOutcome ListBackups(ChatSession& /*session*/, std::vector<BackupRow>* backups) {
  backups->clear();
  std::vector<BackupInfo> infos;
  const StoreResult listed = ListBackups(&infos, true);
  if (listed.status != StoreDone) return Failed(StoreWords(listed));
  if (infos.empty()) return {SeamNothing, Told(MsgNoBackup)};
  for (const BackupInfo& info : infos) {
    backups->push_back({info.name, Said(BackupWords(info, LanguageJapanese))});
  }
  return {SeamDone, {}};
}

SeamOutcome RestoreBackup(ChatSession& session, const std::string& name) {
  const RestorePlan plan = PlanRestore(name);
  if (plan.notOurs) {
    return Failed(Told(MsgNotABackup, {Told(MsgQuoted, {SanitizeLine(Visible(name))})}));
  }
  if (plan.result.status != StoreDone) {
    return Failed(plan.result.stage == StageRead && plan.result.error == ENOENT
                      ? Told(MsgBackupMissing, {Visible(name)})
                      : StoreWords(plan.result));
  }
  if (plan.same) return {SeamNothing, Said(Compose(LanguageJapanese, MsgRestoreSame, {plan.name}))};
  const StoreResult result = ApplyRestore(plan, ReplaceOptions{});
  if (result.status != StoreDone) return Failed(StoreWords(result));
  session.MarkLastTurnStale();
  std::string text = Said(RestoredWords(plan, result.backup, LanguageJapanese));
  const std::string lost = Said(LostWords(plan, LanguageJapanese));
  if (!lost.empty()) text += "\n" + lost;
  return {SeamDone, text};
}

EditCopy MakeEditableCopy(ChatSession& session) {
  EndEdit(session);
  auto edit = std::make_unique<EditInProgress>();
  EditCopy made;
  made.status = SeamFailed;
  const StoreResult taken = edit->lock.Take();
  if (taken.status != StoreDone) {
    made.text = Told(MsgEditCannot, {StoreWords(taken)});
    return made;
  }
  edit->old = ReadCurrentDictionary();
  if (edit->old.result.status != StoreDone) {
    made.text = Told(MsgEditCannot, {StoreWords(edit->old.result)});
    return made;
  }
  edit->oldEntries = CountEntries(edit->old.bytes);
  std::string problem;
  if (!edit->copy.Make(edit->old.bytes, &problem)) {
    made.text = Told(MsgEditNoCopy, {Visible(problem)});
    return made;
  }
  made.status = SeamDone;
  made.path = edit->copy.Path();
  session.Edit() = std::move(edit);
  return made;
}

EditOutcome ApplyEditedCopy(ChatSession& session, bool shrinkAllowed) {
  EditInProgress* edit = session.Edit().get();
  EditOutcome outcome;
  outcome.status = SeamFailed;
  if (edit == nullptr) {
    outcome.text = Told(MsgEditNone);
    return outcome;
  }
  const CopyReview review = edit->copy.Review(edit->old.bytes);
  switch (review.state) {
    case CopyMissing:
      outcome.text = Told(MsgEditCopyGone, {Visible(edit->copy.Path())});
      EndEdit(session);
      return outcome;
    case CopyUnreadable:
      outcome.text = Told(MsgEditCopyUnreadable, {std::strerror(review.error)}) +
                     Told(MsgCopyKept, {Visible(edit->copy.Keep())});
      EndEdit(session);
      return outcome;
    case CopyUnchanged:
      outcome.status = SeamDone;
      outcome.text = Told(MsgEditUnchanged);
      EndEdit(session);
      return outcome;
    case CopyChanged:
      break;
  }
  if (review.errors) {
    for (const CheckDiagnostic& diagnostic : review.diagnostics) {
      if (diagnostic.file == CheckedDictionary && diagnostic.severity != CheckNote) {
        outcome.problems.push_back(DiagnosticRowFor(diagnostic));
      }
    }
    if (!review.checked) {
      DiagnosticRow row;
      row.severity = CheckError;
      row.severityText = SeverityText(CheckError);
      row.place = kDictionaryFile;
      row.message = Told(MsgEditCheckRanOut);
      outcome.problems.push_back(std::move(row));
    }
    outcome.text = Told(MsgEditErrors);
    return outcome;
  }
  if (!shrinkAllowed && CopyShrinks(review.entries, edit->oldEntries)) {
    outcome.status = SeamAsk;
    outcome.text =
        Told(MsgEditShrinks, {std::to_string(review.entries), std::to_string(edit->oldEntries)});
    return outcome;
  }
  const StoreResult result =
      ReplaceDictionary(edit->lock, edit->old.snapshot, review.bytes, ReplaceOptions{});
  if (result.status == StoreDone) {
    edit->copy.Remove();
    EndEdit(session);
    session.MarkLastTurnStale();
    outcome.status = SeamDone;
    outcome.text = Told(MsgEditApplied);
    if (!result.backup.empty()) outcome.text += Told(MsgOldFileKept, {Visible(result.backup)});
    if (result.carried > 0) outcome.text += Told(MsgCarriedKept);
    return outcome;
  }
  outcome.text = StoreWords(result);
  outcome.text += Told(MsgCopyKept, {Visible(edit->copy.Keep())});
  EndEdit(session);
  return outcome;
}

SeamOutcome DiscardEditedCopy(ChatSession& session, bool keep) {
  EditInProgress* edit = session.Edit().get();
  if (edit == nullptr) return {};
  SeamOutcome outcome{SeamDone, Told(MsgEditDropped)};
  if (keep && edit->copy.Exists()) {
    outcome.text += Told(MsgCopyKept, {Visible(edit->copy.Keep())});
  } else {
    edit->copy.Remove();
  }
  EndEdit(session);
  return outcome;
}

std::string WhyText(const TurnRecorder& turn) {
  return ShownText(DescribeTurn(turn, LanguageJapanese));
}

std::string StoreFailureText(int error) {
  return ShownText(StoreFailureWords(LanguageJapanese, error));
}

std::string DiagnosticMessage(const CheckDiagnostic& diagnostic) {
  return ToUtf8(ComposeCheck(LanguageJapanese, diagnostic.message));
}

}  // namespace mimoza
