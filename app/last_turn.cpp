// app/last_turn.cpp: the dialog's calls of the core's why record, forget and restore.
// Leaves this file: LastTurn's operations. ShownPath is private.
// Tested by tests/app/chat_dialog_test.cpp.
#include "app/last_turn.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "conversation/messages.h"
#include "conversation/take_back_words.h"

namespace mimoza {

namespace {

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
// ForgetNothingLearned (nothing of the file was shown), ForgetNoAnswer (the file moved on).
ForgetPlan LastTurn::PlanShown() const {
  ForgetPlan plan;
  const ShownEntry shown = changed ? ShownNothing : PlanForgetShown(turn, &plan);
  if (shown == ShownNothing) {
    plan = ForgetPlan();
    plan.problem = ForgetNothingLearned;
  } else if (shown == ShownGone) {
    plan.problem = ForgetNoAnswer;
  }
  return plan;
}

std::string LastTurn::ProblemWords(const ForgetPlan& plan) const {
  switch (plan.problem) {
    case ForgetNothingLearned:
      return Compose(LanguageJapanese, MsgNothingToForget);
    case ForgetUnreadable:
      return StoreResultWords(plan.result, LanguageJapanese);
    default:
      return Compose(LanguageJapanese, MsgForgetGone);
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
