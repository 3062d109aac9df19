// conversation/take_back_words.cpp: forget and restore plans and results -> the message table's
// words.
// Leaves this file: PlanForgetShown, ForgetQuestion, ForgottenWords, RestoreQuestion,
// RestoredWords, LostWords, BackupWords, StoreResultWords. Items, AddAnswer, LostItems, TimeText,
// SameAnswer, LineCharacters and PlanDrawnAnswer are private. Tested as take_back_words.h says.
#include "conversation/take_back_words.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/cp932.h"
#include "conversation/turn_record.h"

namespace mimoza {
namespace {

// A box lists this many answers at most: enough for any entry a user taught by hand, few enough
// that the box fits on a screen; the rest are counted.
constexpr size_t kListedItems = 12;

// Items: a list of lines, each ending in "\n", holding at most kListedItems of them.
class Items {
 public:
  explicit Items(Language theLanguage) : language(theLanguage) {}
  void Add(MessageId id, std::initializer_list<std::string_view> arguments) {
    if (listed++ < kListedItems) text += Compose(language, id, arguments) + "\n";
  }
  std::string Done() const {
    if (listed <= kListedItems) return text;
    return text + Compose(language, MsgMoreAnswers, {std::to_string(listed - kListedItems)}) + "\n";
  }

 private:
  Language language;
  std::string text;
  size_t listed = 0;
};

void AddAnswer(Items& items, const PlacedText* key, const PlacedText& answer) {
  if (key == nullptr) {
    items.Add(MsgForgetLooseItem, {std::to_string(answer.line), OneLine(answer.text)});
  } else {
    items.Add(MsgForgetAnswerItem, {std::to_string(answer.line), OneLine(answer.text),
                                    std::to_string(key->line), OneLine(key->text)});
  }
}

// TimeText: "2024-05-01 09:30:00".
std::string TimeText(const LocalTime& when) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                when.hour, when.minute, when.second);
  return text;
}

// SameAnswer: whether the plan takes just the answer drawn, which the record keeps as a draw
// copied it: cut to a line's bytes, or shorter where the record cut it (then its beginning).
bool SameAnswer(const ForgetPlan& plan, const LookupRecorder::Answer& drawn) {
  if (plan.problem != ForgetFine || plan.Answers() != 1) return false;
  const std::string& text = plan.entries.front().answers.front().text;
  const bool cut = drawn.cut || drawn.text.size() >= kMaxLineBytes;
  return cut ? text.starts_with(drawn.text) : text == drawn.text;
}

// LineCharacters: how many characters line (from 1) of stored holds, in code page 932.
uint32_t LineCharacters(const std::string& stored, uint64_t line) {
  size_t at = 0;
  for (uint64_t seen = 1; seen < line && at < stored.size(); ++at) {
    if (stored[at] == '\n') ++seen;
  }
  uint32_t count = 0;
  while (at < stored.size() && stored[at] != '\n' && count < UINT32_MAX - 1) {
    at = StepCharacter(stored.data(), at, stored.size());
    ++count;
  }
  return count;
}

// PlanDrawnAnswer: the answer drawn, planned on stored: the first that starts on its line, else,
// where several start there, the one at the column that holds it, tried column by column along
// the line (a rare case: two answers written on one line by hand).
ForgetPlan PlanDrawnAnswer(const std::string& stored, const LookupRecorder::Answer& drawn) {
  ForgetTarget target{static_cast<uint32_t>(drawn.line), 0};
  ForgetPlan plan = PlanForgetIn(stored, {&target, 1});
  if (SameAnswer(plan, drawn)) return plan;
  target.column = UINT32_MAX;
  const ForgetPlan count = PlanForgetIn(stored, {&target, 1});
  if (count.problem == ForgetNoSuchAnswer && count.at > 1) {
    const uint32_t columns = LineCharacters(stored, drawn.line);
    for (target.column = 1; target.column <= columns; ++target.column) {
      plan = PlanForgetIn(stored, {&target, 1});
      if (SameAnswer(plan, drawn)) return plan;
    }
  }
  plan.problem = ForgetNoAnswer;
  return plan;
}

// LostItems: the pairs a restore plan leaves out, one line each.
std::string LostItems(const RestorePlan& plan, Language language) {
  Items items(language);
  for (const auto& [key, answer] : plan.lost) AddAnswer(items, &key, answer);
  return items.Done();
}

}  // namespace

ShownEntry PlanForgetShown(const TurnRecorder& turn, ForgetPlan* plan) {
  if (!turn.started || turn.abandoned) return ShownNothing;
  const LookupRecorder& pool = turn.response;
  const bool learned = turn.branch == BranchLearned;
  const bool drew = turn.branch == BranchAnswered && !turn.quipDrawn && pool.drawn >= 0 &&
                    static_cast<size_t>(pool.drawn) < pool.answers.size();
  if (!learned && !drew) return ShownNothing;
  const CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) {
    *plan = ForgetPlan();
    plan->problem = ForgetUnreadable;
    plan->result = current.result;
    return ShownFound;
  }
  if (learned) {
    *plan = PlanForgetLastIn(current.bytes);
    const bool same = plan->problem == ForgetFine && plan->Answers() == 1 &&
                      plan->entries.back().answers.back().text == turn.line;
    if (!same) return ShownGone;
  } else {
    const LookupRecorder::Answer& drawn = pool.answers[static_cast<size_t>(pool.drawn)];
    if (drawn.line == 0 || drawn.line > UINT32_MAX) return ShownGone;
    *plan = PlanDrawnAnswer(current.bytes, drawn);
    if (plan->problem != ForgetFine) return ShownGone;
  }
  plan->snapshot = current.snapshot;
  return ShownFound;
}

std::string ForgetQuestion(const ForgetPlan& plan, Language language) {
  Items items(language);
  for (const ForgottenEntry& entry : plan.entries) {
    for (const PlacedText& answer : entry.answers) {
      AddAnswer(items, entry.hasKey ? &entry.key : nullptr, answer);
    }
    if (entry.keyGoes) {
      items.Add(MsgForgetKeyItem, {std::to_string(entry.key.line), OneLine(entry.key.text)});
    }
    for (const PlacedText& pooler : entry.poolers) {
      items.Add(MsgForgetPooledItem, {std::to_string(pooler.line), OneLine(pooler.text)});
    }
  }
  return Compose(language, MsgForgetQuestion) + "\n" + items.Done();
}

std::string ForgottenWords(const ForgetPlan& plan, const std::string& backup, Language language) {
  std::string answers;
  for (const ForgottenEntry& entry : plan.entries) {
    for (const PlacedText& answer : entry.answers) {
      answers += Compose(language, MsgQuoted, {OneLine(answer.text)});
    }
  }
  return Compose(language, MsgForgotten, {answers, backup});
}

std::string RestoreQuestion(const RestorePlan& plan, const LocalTime& taken, Language language) {
  std::string question = Compose(language, MsgRestoreQuestion, {plan.name, TimeText(taken)}) + "\n";
  if (plan.lost.empty()) return question;
  return question + Compose(language, MsgRestoreLoses) + "\n" + LostItems(plan, language);
}

std::string RestoredWords(const RestorePlan& plan, const std::string& backup, Language language) {
  return Compose(language, MsgRestored, {plan.name, backup});
}

std::string LostWords(const RestorePlan& plan, Language language) {
  if (plan.lost.empty()) return {};
  return Compose(language, MsgRestoreLost) + "\n" + LostItems(plan, language);
}

std::string BackupWords(const BackupInfo& backup, Language language) {
  return Compose(language, backup.madeByRestore ? MsgBackupRowRestore : MsgBackupRow,
                 {backup.name, TimeText(backup.when), std::to_string(backup.entries),
                  std::to_string(backup.bytes)});
}

std::string StoreResultWords(const StoreResult& result, Language language) {
  switch (result.status) {
    case StoreDone:
      return {};
    case StoreBusy:
      return Compose(language, MsgStoreBusy, {OneLine(result.holder)});
    case StoreChanged:
      return Compose(language, MsgStoreChanged);
    case StoreOwnerChanges:
      // Only where files have owners; the replace stopped before writing anything.
      return Compose(language, MsgStoreCannotReplace, {std::strerror(EPERM)});
    case StoreFailed:
      break;
  }
  const char* reason = std::strerror(result.error);
  if (result.stage == StageBackups || result.stage == StageBackup) {
    return Compose(language, MsgStoreCannotBackUp, {reason, kBackupFolder});
  }
  return Compose(language, MsgStoreCannotReplace, {reason});
}

}  // namespace mimoza
