// app/last_turn.cpp: the dialog's calls of the core's why record, forget and restore.
// Leaves this file: LastTurn's operations. AnswersMatch and ShownPath are private.
// Tested by tests/app/chat_dialog_test.cpp.
#include "app/last_turn.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "conversation/messages.h"
#include "conversation/take_back_words.h"

namespace mimoza {

namespace {

// AnswersMatch: whether the answer a plan takes is the one the turn showed, which the record
// keeps as a draw copied it: cut to a line's bytes, or shorter where the record cut it.
bool AnswersMatch(const std::string& planned, const std::string& shown, bool cut) {
  return cut || shown.size() >= kMaxLineBytes ? planned.starts_with(shown) : planned == shown;
}

// ShownPath: a path the core gives with "/" as Windows shows it.
std::string ShownPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

LastTurn::LastTurn(Conversation& theConversation) : conversation(theConversation) {
  conversation.SetTurnObserver(this);
}

void LastTurn::TurnStarted(ConversationState state, const char* line) {
  changed = false;
  turn.TurnStarted(state, line);
}

std::string LastTurn::WhyText() const {
  if (!turn.started) return Compose(LanguageJapanese, MsgNothingSaidYet);
  return DescribeTurn(turn, LanguageJapanese);
}

// A plan that does not take what the turn showed gets a problem the dialog words for itself:
// ForgetInsideAnswer (the file moved), ForgetNoSuchAnswer (not the first answer on its line).
ForgetPlan LastTurn::PlanShown() const {
  ForgetPlan nothing;
  nothing.problem = ForgetNothingLearned;
  if (!turn.started || changed) return nothing;
  // The pair just learned is the file's last learned entry: the prompt seeded after it is passed
  // over. Its answer is the line of this turn.
  if (turn.branch == BranchLearned) {
    ForgetPlan plan = PlanForgetLast();
    if (plan.problem == ForgetFine &&
        (plan.entries.empty() || plan.entries.back().answers.empty() ||
         !AnswersMatch(plan.entries.back().answers.back().text, turn.line, false))) {
      // Another entry came after it: the line that was to hold it does not.
      plan.problem = ForgetInsideAnswer;
      plan.line = plan.entries.empty() || plan.entries.back().answers.empty()
                      ? 0
                      : plan.entries.back().answers.back().line;
    }
    return plan;
  }
  // Else the answer drawn: from the line's pool, or from a prompt's.
  const LookupRecorder& pool = turn.prompt != nullptr ? turn.promptPool : turn.response;
  const bool quipShown = turn.quipDrawn && turn.prompt == nullptr;
  if (quipShown || pool.drawn < 0 || static_cast<size_t>(pool.drawn) >= pool.answers.size()) {
    return nothing;
  }
  const LookupRecorder::Answer& drawn = pool.answers[static_cast<size_t>(pool.drawn)];
  if (drawn.line == 0 || drawn.line > UINT32_MAX) return nothing;
  const ForgetTarget target{static_cast<uint32_t>(drawn.line), 0};
  ForgetPlan plan = PlanForget({&target, 1});
  if (plan.problem == ForgetFine &&
      !AnswersMatch(plan.entries.front().answers.front().text, drawn.text, drawn.cut)) {
    // The forget takes the first answer on the line: a later one on the same line cannot be
    // named by its line alone.
    const bool shared = std::any_of(pool.answers.begin(), pool.answers.begin() + pool.drawn,
                                    [&](const auto& a) { return a.line == drawn.line; });
    plan.problem = shared ? ForgetNoSuchAnswer : ForgetInsideAnswer;
  }
  return plan;
}

std::string LastTurn::ProblemWords(const ForgetPlan& plan) const {
  switch (plan.problem) {
    case ForgetNothingLearned:
      return Compose(LanguageJapanese, MsgNothingToForget);
    case ForgetUnreadable:
      return StoreResultWords(plan.result, LanguageJapanese);
    case ForgetNoSuchAnswer:
      return Compose(LanguageJapanese, MsgForgetSharedLine, {std::to_string(plan.line)});
    default:
      // The record's line no longer holds what the turn showed.
      return Compose(LanguageJapanese, MsgForgetMoved, {std::to_string(plan.line)});
  }
}

std::string LastTurn::Forget(const Confirm& confirm) {
  const ForgetPlan plan = PlanShown();
  if (plan.problem != ForgetFine) return ProblemWords(plan);
  if (!confirm(ForgetQuestion(plan, LanguageJapanese))) return {};
  // Yes to the box that names the keys pooling an answer is the consent the core asks for.
  const StoreResult result = ApplyForget(plan, ReplaceOptions{});
  if (result.status != StoreDone) return StoreResultWords(result, LanguageJapanese);
  changed = true;
  return ForgottenWords(plan, ShownPath(result.backup), LanguageJapanese);
}

std::string LastTurn::Restore(const Confirm& confirm) {
  const RestorePlan plan = PlanRestore({});
  if (plan.result.status == StoreFailed && plan.result.stage == StageRead &&
      plan.result.error == ENOENT) {
    return Compose(LanguageJapanese, MsgNoBackup);
  }
  if (plan.result.status != StoreDone) return StoreResultWords(plan.result, LanguageJapanese);
  if (plan.same) return Compose(LanguageJapanese, MsgRestoreSame, {plan.name});
  std::vector<BackupInfo> backups;
  ListBackups(&backups, false);
  const auto info = std::find_if(backups.begin(), backups.end(), [&](const BackupInfo& backup) {
    return backup.name == plan.name;
  });
  const LocalTime taken = info != backups.end() ? info->when : LocalTime{};
  if (!confirm(RestoreQuestion(plan, taken, LanguageJapanese))) return {};
  const StoreResult result = ApplyRestore(plan, ReplaceOptions{});
  if (result.status != StoreDone) return StoreResultWords(result, LanguageJapanese);
  changed = true;
  return RestoredWords(plan, ShownPath(result.backup), LanguageJapanese);
}

}  // namespace mimoza
