// knowledge/check_keys.cpp: a key or a yes/no list -> what the checker finds of it, from the
// matcher itself: ExaminePattern (why it never matches, whether it matches every line, an anchor
// spread over every alternative), the real search of the prompts' key texts, and HardLineCost.
// Leaves this file: kPrompts, JudgePattern. FailureReason is private.
// Tested by tests/knowledge/dictionary_check_test.cpp.
#include <cstring>

#include "knowledge/check_internal.h"
#include "pattern/pattern.h"

namespace mimoza {

const PromptEntry kPrompts[kPromptCount] = {
    {&kTitleKey, "the window title", true},
    {&kOfferLearnKey, "the offer to learn a line", false},
    {&kAskAnswerKey, "the question what to answer", false},
    {&kLearnedKey, "the word that a pair was learned", false},
    {&kOfferAddKey, "the offer to add an answer", false},
    {&kYesListKey, "the yes list", false},
    {&kNoListKey, "the no list", false},
};

namespace {

// FailureReason: why a pattern that compiled to nothing, or lets nothing through, never matches.
std::string FailureReason(const PatternExamination& examination) {
  switch (examination.failure) {
    case CompileTooManyNodes:
      return "it compiles to nothing: its syntax tree, every copy of a counted repeat included, "
             "passes the bound of " +
             std::to_string(examination.bound) + " nodes";
    case CompileTooManyStates:
      return "it compiles to nothing: its automaton passes the bound of " +
             std::to_string(examination.bound) + " states";
    case CompileOutOfMemory:
      return "memory ran out while it was compiled";
    case CompileOk:
      break;
  }
  return "no text can get through it (an anchor where it cannot hold, as in \"a^b\", a repeat "
         "of nothing, as in \"+a\", or an empty class)";
}

}  // namespace

std::vector<PatternFinding> JudgePattern(const std::string& text, const std::string& name,
                                         bool isList, const ReservedKey* ownPrompt,
                                         const CheckOptions& options) {
  std::vector<PatternFinding> findings;
  const char* what = isList ? "list" : "key";
  auto matchedPrompts = [&](auto matches) {
    std::string prompts;
    const PromptEntry* only = nullptr;
    int32_t count = 0;
    for (const PromptEntry& prompt : kPrompts) {
      if (prompt.exact || prompt.key == ownPrompt || !matches(prompt.key->key)) continue;
      prompts += (count++ == 0 ? "\"" : ", \"") + std::string(prompt.key->key) + "\"";
      only = &prompt;
    }
    if (count == 0 || isList) return;
    findings.push_back(
        {CheckError, RulePromptText,
         count == 1 ? name + " matches the prompt key " + prompts + " (" + only->role +
                          "): its answers join that prompt's and can be drawn in its place"
                    : name + " matches the prompt keys " + prompts +
                          ": its answers join those prompts' and can be drawn in their place"});
  };
  if (IsPlainPattern(text.data(), text.size())) {
    matchedPrompts([&](const char* subject) { return std::strstr(subject, text.c_str()); });
    return findings;
  }
  PatternExamination examination;
  const PatternPtr pattern = ExaminePattern(text.c_str(), &examination);
  if (pattern == nullptr || !examination.canMatch) {
    findings.push_back(
        {CheckError, RuleNeverMatches, name + " never matches: " + FailureReason(examination)});
    return findings;
  }
  if (examination.matchesEmpty) {
    findings.push_back(
        {CheckError, RuleMatchesEveryLine,
         name + " matches every line: it matches the empty text at the first position" +
             (isList
                  ? std::string(", so every reply counts")
                  : std::string(", so its answers join every response, the prompts' included"))});
  } else {
    matchedPrompts([&](const char* subject) { return PatternFound(pattern.get(), subject); });
  }
  if (examination.lineStartSpreads) {
    findings.push_back({CheckWarning, RuleAnchorAlternative,
                        std::string("a \"^\" in one alternative of ") + name +
                            " anchors the whole " + what +
                            ": every alternative then matches only at the start of a line"});
  }
  if (examination.lineEndSpreads) {
    findings.push_back({CheckWarning, RuleAnchorAlternative,
                        std::string("a \"$\" in one alternative of ") + name +
                            " anchors the whole " + what +
                            ": every alternative then matches only at the end of a line"});
  }
  const SearchCost cost = HardLineCost(pattern.get(), options.hardLineBytes, kSlowKeySteps);
  const std::string line =
      "a " + std::to_string(options.hardLineBytes) + "-byte line of " +
      (cost.repeated[0] != '\0' ? Excerpt(cost.repeated, std::strlen(cost.repeated))
                                : std::string("its own characters"));
  if (cost.gaveUp) {
    findings.push_back({CheckWarning, RuleSearchBudget,
                        name + " runs out of the search's budget on " + line + " (after " +
                            std::to_string(cost.steps) +
                            " steps): on such lines it counts as not matching"});
  } else if (cost.steps > kSlowKeySteps) {
    findings.push_back({CheckWarning, RuleSlowKey,
                        name + " is slow: its search of " + line + " takes " +
                            std::to_string(cost.steps) + " steps (more than " +
                            std::to_string(kSlowKeySteps) + "; a usual key takes a few hundred)"});
  }
  return findings;
}

}  // namespace mimoza
