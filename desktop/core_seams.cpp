// desktop/core_seams.cpp: the desktop window's seams -> the engine, the dictionary store
// (knowledge/dictionary_store.h) and the editable copy (terminal/common/dictionary_copy.h), and
// their results -> the window's Japanese words, composed from the message table as the Windows
// dialog composes them (conversation/take_back_words.h) and turned into UTF-8 here.
// Leaves this file: the functions of core_seams.h. Said, Told, EndEdit and the forget lookups are
// private. Tested as core_seams.h says.
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

// Columns tried to find the second of two answers that start on one line; a line of the file
// that long is beyond any answer a lookup shows.
constexpr uint32_t kMaxForgetColumn = 4096;

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

// SameAnswer: whether the plan takes the answer the turn drew (a cut text: its beginning).
bool SameAnswer(const ForgetPlan& plan, const LookupRecorder::Answer& drawn) {
  if (plan.problem != ForgetFine || plan.entries.size() != 1 ||
      plan.entries[0].answers.size() != 1) {
    return false;
  }
  const std::string& text = plan.entries[0].answers[0].text;
  return drawn.cut ? text.rfind(drawn.text, 0) == 0 : text == drawn.text;
}

// PlanDrawnAnswer: the answer drawn, planned on the file as read: the first that starts on its
// line, else, where several start there, the one at some column that is that answer.
ForgetPlan PlanDrawnAnswer(const CurrentDictionary& current, const LookupRecorder::Answer& drawn) {
  const auto line = static_cast<uint32_t>(drawn.line);
  ForgetTarget target{line, 0};
  ForgetPlan plan = PlanForgetIn(current.bytes, {&target, 1});
  if (!SameAnswer(plan, drawn)) {
    target.column = UINT32_MAX;
    const ForgetPlan count = PlanForgetIn(current.bytes, {&target, 1});
    const bool several = count.problem == ForgetNoSuchAnswer && count.at > 1;
    for (target.column = 1; several && target.column <= kMaxForgetColumn; ++target.column) {
      plan = PlanForgetIn(current.bytes, {&target, 1});
      if (SameAnswer(plan, drawn)) break;
    }
    if (!SameAnswer(plan, drawn)) plan.problem = ForgetNoAnswer;
  }
  plan.snapshot = current.snapshot;
  return plan;
}

// DrawnAnswer: the answer of the dictionary the last turn drew for its line; null after a quip,
// a cleared line, or Mimoza's own words (an offer, a question: the prompts are not what F4 takes
// back).
const LookupRecorder::Answer* DrawnAnswer(const TurnRecorder& turn) {
  const LookupRecorder& pool = turn.response;
  if (turn.quipDrawn || turn.branch != BranchAnswered || pool.drawn < 0 ||
      static_cast<size_t>(pool.drawn) >= pool.answers.size()) {
    return nullptr;
  }
  const LookupRecorder::Answer& answer = pool.answers[static_cast<size_t>(pool.drawn)];
  return answer.line != 0 ? &answer : nullptr;
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
  const TurnRecorder& turn = session.LastTurn();
  proposal.text = Told(MsgNothingToForget);
  if (!turn.started || turn.abandoned || session.LastTurnStale()) return proposal;
  const LookupRecorder::Answer* drawn = DrawnAnswer(turn);
  if (turn.branch != BranchLearned && drawn == nullptr) return proposal;
  const CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) {
    proposal.status = SeamFailed;
    proposal.text = StoreWords(current.result);
    return proposal;
  }
  if (turn.branch == BranchLearned) {
    // The pair learned is the file's last; the answer it holds must be the line just sent, or
    // something else was learned since (another Mimoza on the folder).
    proposal.plan = PlanForgetLastIn(current.bytes);
    proposal.plan.snapshot = current.snapshot;
    const ForgetPlan& plan = proposal.plan;
    const bool same = plan.problem == ForgetFine && plan.entries.size() == 1 &&
                      !plan.entries[0].answers.empty() &&
                      plan.entries[0].answers.back().text == turn.line;
    if (!same) proposal.plan.problem = ForgetNothingLearned;
  } else {
    proposal.plan = PlanDrawnAnswer(current, *drawn);
  }
  if (proposal.plan.problem != ForgetFine) {
    proposal.status = SeamFailed;
    proposal.text = Told(MsgForgetGone);
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
