// knowledge/classifier.cpp: a reply -> Yes, No or Neither, by the dictionary's two lists.
// Leaves this file: ClassifyReply, DropTrailingBar. FetchList and ListMatches are private.
// Tested by tests/knowledge/classifier_test.cpp.
#include <cstring>

#include "base/cp932.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// FetchList: the list stored under the reserved key, seeded with its default when missing.
// False when the list could be neither read nor seeded.
bool FetchList(Dictionary& dictionary, const ReservedKey& reserved, char* list) {
  return dictionary.LookupOrSeed(reserved.key, reserved.defaultText, PatternKey, list,
                                 kMaxListBytes);
}

// ListMatches: whether the list matches the reply, searched within the turn's slice for one
// search; a list that runs out of it matches nothing.
bool ListMatches(Dictionary& dictionary, const char* list, const char* text) {
  TurnBudget own;
  TurnBudget& budget = dictionary.Turn() != nullptr ? *dictionary.Turn() : own;
  PatternWork work;
  work.stepLimit = budget.Take(kSingleSearchSteps);
  work.stop = budget.StopFlag();
  const bool found = MatchesWithin(list, text, &work);
  budget.Spent(work.steps);
  return found;
}

}  // namespace

void DropTrailingBar(char* list) {
  const size_t length = std::strlen(list);
  size_t last = 0;  // start of the last character
  for (size_t i = 0; i < length; i += StepCharacter(list, i, length)) last = i;
  if (length > 0 && last == length - 1 && list[last] == AlternationByte()) list[last] = '\0';
}

ReplyKind ClassifyReply(Dictionary& dictionary, const char* text) {
  if (text == nullptr) return Neither;
  char yesList[kMaxListBytes + 1];
  char noList[kMaxListBytes + 1];
  // Both lists are always fetched (and seeded), whatever the first one does.
  const bool haveYes = FetchList(dictionary, kYesListKey, yesList);
  const bool haveNo = FetchList(dictionary, kNoListKey, noList);
  ReplyKind kind = Neither;
  // A list that could not be had matches nothing; the no-list decides last.
  if (haveYes) {
    DropTrailingBar(yesList);
    if (ListMatches(dictionary, yesList, text)) kind = Yes;
  }
  if (haveNo) {
    DropTrailingBar(noList);
    if (ListMatches(dictionary, noList, text)) kind = No;
  }
  return kind;
}

}  // namespace mimoza
