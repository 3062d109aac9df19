// desktop/core_seams.cpp: the desktop window's seams -> the engine, the dictionary store
// (knowledge/dictionary_store.h) and the editable copy (terminal/common/dictionary_copy.h), and
// their results -> the window's Japanese words. Failures of the store keep the words every face
// shares (terminal/common/store_words.h).
// Leaves this file: the functions of core_seams.h. Quoted, PlanText, DataDirectory, EndEdit and
// the forget lookups are private. Tested as core_seams.h says.
#include "desktop/core_seams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "conversation/messages.h"
#include "terminal/common/encoding.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/store_words.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

// Columns tried to find the second of two answers that start on one line; a line of the file
// that long is beyond any answer a lookup shows.
constexpr uint32_t kMaxForgetColumn = 4096;

// Quoted: a code page 932 text of the file in Japanese quotes, one safe line of UTF-8.
std::string Quoted(const std::string& cp932) { return "「" + SanitizeLine(ToUtf8(cp932)) + "」"; }

std::string LineText(uint64_t line) { return std::to_string(line) + " 行目"; }

// DataDirectory: the working directory, which is the data directory, as messages name it.
std::string DataDirectory() {
  char* cwd = getcwd(nullptr, 0);
  std::string dir = cwd != nullptr ? Visible(cwd) : ".";
  std::free(cwd);
  return dir;
}

// PlanText: what a forget plan removes, an entry's key and answers a line each, with the keys
// that pool an answer too.
std::string PlanText(const ForgetPlan& plan) {
  std::string text;
  for (const ForgottenEntry& entry : plan.entries) {
    if (entry.hasKey) {
      text += LineText(entry.key.line) + "  キー " + Quoted(entry.key.text) +
              (entry.keyGoes ? " (キーごと)" : "") + "\n";
    }
    for (const PlacedText& answer : entry.answers) {
      text += LineText(answer.line) + "  答え " + Quoted(answer.text) + "\n";
    }
    for (const PlacedText& pooler : entry.poolers) {
      text += "この答えは、答えを持たない " + LineText(pooler.line) + "のキー " +
              Quoted(pooler.text) + " からも出ます。そちらからも消えます。\n";
    }
  }
  return text;
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
  if (!turn.started || turn.abandoned || session.LastTurnStale()) return proposal;
  const LookupRecorder::Answer* drawn = DrawnAnswer(turn);
  if (turn.branch != BranchLearned && drawn == nullptr) return proposal;
  const CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) {
    proposal.status = SeamFailed;
    proposal.text = StoreResultText(current.result, DataDirectory());
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
    proposal.text = "いま出た答えは、もう Dictionary.txt のその場所にありません。";
    return proposal;
  }
  proposal.status = SeamDone;
  proposal.text = PlanText(proposal.plan);
  return proposal;
}

SeamOutcome Forget(ChatSession& session, const ForgetProposal& proposal) {
  const StoreResult result = ApplyForget(proposal.plan, ReplaceOptions{});
  if (result.status != StoreDone) {
    return Failed("忘れられませんでした。辞書は元のままです: " +
                  StoreResultText(result, DataDirectory()));
  }
  session.MarkLastTurnStale();
  std::string text = "忘れました:\n" + PlanText(proposal.plan) +
                     "元の Dictionary.txt は " + result.backup + " に残してあります。";
  if (result.carried > 0) text += "その間に覚えたことは残っています。";
  return {SeamDone, text};
}

SeamOutcome ListBackups(ChatSession& /*session*/, std::vector<BackupRow>* backups) {
  backups->clear();
  std::vector<BackupInfo> infos;
  const StoreResult listed = ListBackups(&infos, true);
  if (listed.status != StoreDone) return Failed(StoreResultText(listed, DataDirectory()));
  for (const BackupInfo& info : infos) {
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", info.when.year,
                  info.when.month, info.when.day, info.when.hour, info.when.minute,
                  info.when.second);
    BackupRow row;
    row.name = info.name;
    row.description = std::string(when) + "  " + std::to_string(info.entries) + " 項目  " +
                      std::to_string(info.bytes) + " バイト";
    row.madeByRestore = info.madeByRestore;
    backups->push_back(std::move(row));
  }
  return {SeamDone, {}};
}

SeamOutcome RestoreBackup(ChatSession& session, const std::string& name) {
  const RestorePlan plan = PlanRestore(name);
  if (plan.notOurs) return Failed(Quoted(name) + " はバックアップの名前ではありません。");
  if (plan.result.status != StoreDone) {
    return Failed(plan.result.stage == StageRead && plan.result.error == ENOENT
                      ? "バックアップ " + Visible(name) + " がありません。"
                      : "戻せませんでした: " + StoreResultText(plan.result, DataDirectory()));
  }
  if (plan.same) return {SeamNothing, "Dictionary.txt はもうバックアップ " + plan.name + " と同じです。"};
  const StoreResult result = ApplyRestore(plan, ReplaceOptions{});
  if (result.status != StoreDone) {
    return Failed("戻せませんでした。辞書は元のままです: " +
                  StoreResultText(result, DataDirectory()));
  }
  session.MarkLastTurnStale();
  std::string text = "Dictionary.txt をバックアップ " + plan.name + " に戻しました。";
  if (!result.backup.empty()) text += "元のファイルは " + result.backup + " に残してあります。";
  if (!plan.lost.empty()) {
    text += "\nバックアップの後に覚えた次のものは戻していません (元のファイルのバックアップにあります):";
    for (const auto& [key, answer] : plan.lost) {
      text += "\n" + LineText(answer.line) + "  キー " + Quoted(key.text) + " の答え " +
              Quoted(answer.text);
    }
  }
  return {SeamDone, text};
}

EditCopy MakeEditableCopy(ChatSession& session) {
  EndEdit(session);
  auto edit = std::make_unique<EditInProgress>();
  EditCopy made;
  made.status = SeamFailed;
  const StoreResult taken = edit->lock.Take();
  if (taken.status != StoreDone) {
    made.text = "辞書を編集できません: " + StoreResultText(taken, DataDirectory());
    return made;
  }
  edit->old = ReadCurrentDictionary();
  if (edit->old.result.status != StoreDone) {
    made.text = "辞書を編集できません: " + StoreResultText(edit->old.result, DataDirectory());
    return made;
  }
  edit->oldEntries = CountEntries(edit->old.bytes);
  std::string problem;
  if (!edit->copy.Make(edit->old.bytes, &problem)) {
    made.text = "辞書のコピーを作れません: " + Visible(problem);
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
    outcome.text = "編集中のコピーがありません。";
    return outcome;
  }
  const CopyReview review = edit->copy.Review(edit->old.bytes);
  switch (review.state) {
    case CopyMissing:
      outcome.text = "コピー " + Visible(edit->copy.Path()) +
                     " はもうありません。Dictionary.txt は元のままです。";
      EndEdit(session);
      return outcome;
    case CopyUnreadable:
      outcome.text = "編集したコピーを読めません (" + std::string(std::strerror(review.error)) +
                     ")。Dictionary.txt は元のままです。コピー: " + Visible(edit->copy.Keep());
      EndEdit(session);
      return outcome;
    case CopyUnchanged:
      outcome.status = SeamDone;
      outcome.text = "Dictionary.txt は変わっていません。";
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
      row.severityText = "エラー";
      row.place = "Dictionary.txt";
      row.message = "検査の途中でメモリが足りなくなりました。検査していないコピーは使いません。";
      outcome.problems.push_back(std::move(row));
    }
    outcome.text = "編集したコピーにエラーがあります。Dictionary.txt は元のままです。";
    return outcome;
  }
  if (!shrinkAllowed && CopyShrinks(review.entries, edit->oldEntries)) {
    outcome.status = SeamAsk;
    outcome.text = "編集したコピーの項目は " + std::to_string(review.entries) +
                   " 件、いまの Dictionary.txt は " + std::to_string(edit->oldEntries) +
                   " 件です。それでも置き換えますか？";
    return outcome;
  }
  const StoreResult result =
      ReplaceDictionary(edit->lock, edit->old.snapshot, review.bytes, ReplaceOptions{});
  if (result.status == StoreDone) {
    edit->copy.Remove();
    EndEdit(session);
    session.MarkLastTurnStale();
    outcome.status = SeamDone;
    outcome.text = "Dictionary.txt を編集したコピーで置き換えました。";
    if (!result.backup.empty()) outcome.text += "元のファイルは " + result.backup + " に残してあります。";
    if (result.carried > 0) outcome.text += "その間に覚えたことは最後に残っています。";
    return outcome;
  }
  const std::string why = result.status == StoreChanged
                              ? "編集中に Dictionary.txt が学習のほかに変わりました"
                              : StoreResultText(result, DataDirectory());
  outcome.text = "置き換えませんでした (" + why + ")。コピーは残してあります: " +
                 Visible(edit->copy.Keep());
  EndEdit(session);
  return outcome;
}

SeamOutcome DiscardEditedCopy(ChatSession& session, bool keep) {
  EditInProgress* edit = session.Edit().get();
  if (edit == nullptr) return {};
  SeamOutcome outcome{SeamDone, "編集をやめました。Dictionary.txt は元のままです。"};
  if (keep && edit->copy.Exists()) {
    outcome.text += "コピーは残してあります: " + Visible(edit->copy.Keep());
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
