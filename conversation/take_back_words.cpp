// conversation/take_back_words.cpp: forget and restore plans and results -> the message table's
// words.
// Leaves this file: ForgetQuestion, ForgottenWords, RestoreQuestion, RestoredWords, LostWords,
// BackupWords, StoreResultWords. Items, AddAnswer, LostItems and TimeText are private.
// Tested as take_back_words.h says.
#include "conversation/take_back_words.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

// LostItems: the pairs a restore plan leaves out, one line each.
std::string LostItems(const RestorePlan& plan, Language language) {
  Items items(language);
  for (const auto& [key, answer] : plan.lost) AddAnswer(items, &key, answer);
  return items.Done();
}

}  // namespace

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
