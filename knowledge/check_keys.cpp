// knowledge/check_keys.cpp: a key or a yes/no list -> what the checker finds of it, from the
// matcher itself: ExaminePattern (why it never matches, whether it matches every line, an anchor
// spread over every alternative), the real search of the prompts' key texts, and HardLineCost.
// Leaves this file: kPrompts, PromptRole, JudgePattern. FailureReason is private.
// Tested by tests/knowledge/dictionary_check_test.cpp.
#include <cstring>

#include "knowledge/check_internal.h"
#include "pattern/pattern.h"

namespace mimoza {

const PromptEntry kPrompts[kPromptCount] = {
    {&kTitleKey, CheckMsgRoleTitle, true},
    {&kOfferLearnKey, CheckMsgRoleOfferLearn, false},
    {&kAskAnswerKey, CheckMsgRoleAskAnswer, false},
    {&kLearnedKey, CheckMsgRoleLearned, false},
    {&kOfferAddKey, CheckMsgRoleOfferAdd, false},
    {&kYesListKey, CheckMsgRoleYesList, false},
    {&kNoListKey, CheckMsgRoleNoList, false},
};

CheckMessage PromptRole(const char* key) {
  for (const PromptEntry& prompt : kPrompts) {
    if (key != nullptr && std::strcmp(key, prompt.key->key) == 0) return prompt.role;
  }
  return CheckMsgVerbatim;
}

namespace {

// FailureReason: why a pattern that compiled to nothing, or lets nothing through, never matches.
CheckText FailureReason(const PatternExamination& examination) {
  switch (examination.failure) {
    case CompileTooManyNodes:
      return Says(CheckMsgTooManyNodes, {Count(examination.bound)});
    case CompileTooManyStates:
      return Says(CheckMsgTooManyStates, {Count(examination.bound)});
    case CompileOutOfMemory:
      return Says(CheckMsgCompileOutOfMemory);
    case CompileOk:
      break;
  }
  return Says(CheckMsgNothingGetsThrough);
}

}  // namespace

std::vector<PatternFinding> JudgePattern(const std::string& text, const CheckText& name,
                                         bool isList, const ReservedKey* ownPrompt,
                                         const CheckOptions& options) {
  std::vector<PatternFinding> findings;
  const CheckText what = Says(isList ? CheckMsgWordList : CheckMsgWordKey);
  auto matchedPrompts = [&](auto matches) {
    CheckText prompts = Says(CheckMsgList);
    const PromptEntry* only = nullptr;
    for (const PromptEntry& prompt : kPrompts) {
      if (prompt.exact || prompt.key == ownPrompt || !matches(prompt.key->key)) continue;
      prompts.arguments.push_back(
          Says(CheckMsgPromptNamed, {Verbatim(prompt.key->key), Says(prompt.role)}));
      only = &prompt;
    }
    if (prompts.arguments.empty() || isList) return;
    findings.push_back(
        {CheckError, RulePromptText,
         prompts.arguments.size() == 1
             ? Says(CheckMsgPromptTextOne, {name, Verbatim(only->key->key), Says(only->role)})
             : Says(CheckMsgPromptTextMany, {name, prompts})});
  };
  if (IsPlainPattern(text.data(), text.size())) {
    matchedPrompts([&](const char* subject) { return std::strstr(subject, text.c_str()); });
    return findings;
  }
  PatternExamination examination;
  const PatternPtr pattern = ExaminePattern(text.c_str(), &examination);
  if (pattern == nullptr || !examination.canMatch) {
    findings.push_back({CheckError, RuleNeverMatches,
                        Says(CheckMsgNeverMatches, {name, FailureReason(examination)})});
    return findings;
  }
  if (examination.matchesEmpty) {
    findings.push_back({CheckError, RuleMatchesEveryLine,
                        Says(isList ? CheckMsgEveryLineList : CheckMsgEveryLineKey, {name})});
  } else {
    matchedPrompts([&](const char* subject) { return PatternFound(pattern.get(), subject); });
  }
  if (examination.lineStartSpreads) {
    findings.push_back(
        {CheckWarning, RuleAnchorAlternative, Says(CheckMsgAnchorStart, {name, what})});
  }
  if (examination.lineEndSpreads) {
    findings.push_back(
        {CheckWarning, RuleAnchorAlternative, Says(CheckMsgAnchorEnd, {name, what})});
  }
  const SearchCost cost = HardLineCost(pattern.get(), options.hardLineBytes, kSlowKeySteps);
  const CheckText repeated = cost.repeated[0] != '\0'
                                 ? Verbatim(Excerpt(cost.repeated, std::strlen(cost.repeated)))
                                 : Says(CheckMsgOwnCharacters);
  if (cost.gaveUp) {
    findings.push_back({CheckWarning, RuleSearchBudget,
                        Says(CheckMsgSearchBudget,
                             {name, Count(options.hardLineBytes), repeated, Count(cost.steps)})});
  } else if (cost.steps > kSlowKeySteps) {
    findings.push_back({CheckWarning, RuleSlowKey,
                        Says(CheckMsgSlowKey, {name, Count(options.hardLineBytes), repeated,
                                               Count(cost.steps), Count(kSlowKeySteps)})});
  }
  return findings;
}

}  // namespace mimoza
