// knowledge/check_keys.cpp: a key or a yes/no list -> what the checker finds of it, from the
// matcher itself: ExaminePattern (why it never matches, whether it matches every line, an anchor
// spread over every alternative, a bracket that never closes), the real search of the prompts'
// key texts, the key facts a lookup settles keys by, and HardLineCost with the compile steps a
// lookup charges, against a key's share of a turn.
// Leaves this file: kPrompts, PromptRole, JudgePattern. FailureReason is private.
// Tested by tests/knowledge/dictionary_check_test.cpp.
#include <cstring>
#include <string_view>

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

PatternJudgement JudgePattern(const std::string& text, const CheckText& name, bool isList,
                              const ReservedKey* ownPrompt, const CheckOptions& options) {
  PatternJudgement judgement;
  std::vector<PatternFinding>& findings = judgement.findings;
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
    return judgement;
  }
  PatternExamination examination;
  const PatternPtr pattern = ExaminePattern(text.c_str(), &examination);
  if (examination.cutOpening >= 0) {
    const auto cut = static_cast<size_t>(examination.cutOpening);
    findings.push_back({CheckWarning, RuleUnclosedBracket,
                        Says(text[cut] == '[' ? CheckMsgUnclosedClass : CheckMsgUnclosedRepeat,
                             {name, Verbatim(Excerpt(std::string_view(text).substr(cut)))})});
  }
  if (pattern == nullptr || !examination.canMatch) {
    findings.push_back({CheckError, RuleNeverMatches,
                        Says(CheckMsgNeverMatches, {name, FailureReason(examination)})});
    return judgement;
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
  // A key whose facts settle it is never searched for a lookup's verdict: byte searches with its
  // texts decide. A list is always searched, within a share of its own.
  PatternFacts facts;
  if (!isList && ComputePatternFacts(text.c_str(), &facts) && facts.textCount >= 0) {
    return judgement;
  }
  const int64_t share = isList ? kSingleSearchSteps : kKeyShareSteps;
  // Every pattern the lookup may search is searched here, however small, so that the turn's
  // figure adds up what each takes.
  const SearchCost cost = HardLineCost(pattern.get(), options.hardLineBytes, 0);
  judgement.steps = CompileSteps(pattern.get()) + cost.steps;
  const CheckText repeated = cost.repeated[0] != '\0'
                                 ? Verbatim(Excerpt(cost.repeated, std::strlen(cost.repeated)))
                                 : Says(CheckMsgOwnCharacters);
  if (cost.gaveUp) {
    findings.push_back({CheckError, RuleSearchBudget,
                        Says(CheckMsgSearchBudget, {name, Count(options.hardLineBytes), repeated,
                                                    Count(judgement.steps)})});
  } else if (judgement.steps > share) {
    findings.push_back({CheckError, RuleSlowKey,
                        Says(CheckMsgSlowKey, {name, Count(options.hardLineBytes), repeated,
                                               Count(judgement.steps), Count(share)})});
  }
  return judgement;
}

}  // namespace mimoza
