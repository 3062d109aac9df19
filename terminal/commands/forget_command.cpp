// terminal/commands/forget_command.cpp: `mimoza forget` lines (or --last) -> a forget plan,
// shown, confirmed where it must be -> Dictionary.txt replaced, with a backup.
// Leaves this file: kForgetHelp, ParseForgetTarget, RunForget. Confirm and ParseNumber are
// private. Tested by tests/terminal/store_commands_test.cpp.
#include "terminal/commands/forget_command.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "terminal/commands/ask.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/store_words.h"

namespace mimoza {

const char kForgetHelp[] =
    "Removes answers from Dictionary.txt: the answer that starts on each LINE (the lines of\n"
    "the file, as mimoza check and mimoza explain give them; LINE:COLUMN takes the answer\n"
    "standing at that column, where two start on one line), with its line when nothing else\n"
    "stands on it, and its key too when the key has no answer left. --last removes the\n"
    "entry learned last, whole (the prompts and lists written after it are passed over). An answer that other keys give too\n"
    "(keys without answers of their own, just before its entry), and an entry of several\n"
    "answers, go only after you say yes; --yes says yes beforehand. Without a terminal and\n"
    "without --yes, nothing is removed. The file as it was is kept in backups/ first; mimoza\n"
    "restore puts it back. Everything else in the file stays exactly as it was.\n"
    "\n"
    "  --last      the entry learned last\n"
    "  -y, --yes   answer yes to the questions\n";

namespace {

// ParseNumber: a decimal number from 1 to 4294967295.
bool ParseNumber(std::string_view text, uint32_t* number) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value == 0 || value > UINT32_MAX) return false;
  *number = static_cast<uint32_t>(value);
  return true;
}

// Confirm: whether the plan may go on: asked on a terminal when it must be, yes with --yes.
// False after saying why nothing is forgotten.
bool Confirm(const ForgetPlan& plan, bool yes) {
  std::string why;
  if (plan.Pooled()) why = PooledText(plan);
  if (plan.whole && plan.Answers() > 1) {
    why += (why.empty() ? "" : "; ") + std::string("the entry learned last has ") +
           std::to_string(plan.Answers()) + " answers, and they all go";
  }
  if (why.empty() || yes) return true;
  if (!CanAsk()) {
    std::fprintf(stderr, "mimoza forget: %s: nothing is forgotten without --yes\n", why.c_str());
    return false;
  }
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  std::printf("%s.\n", why.c_str());
  if (AskYesNo("Forget it?", false)) return true;
  std::puts("Nothing is forgotten.");
  return false;
}

}  // namespace

bool ParseForgetTarget(std::string_view word, ForgetTarget* target) {
  const size_t colon = word.find(':');
  ForgetTarget parsed;
  if (!ParseNumber(word.substr(0, colon), &parsed.line)) return false;
  if (colon != std::string_view::npos && !ParseNumber(word.substr(colon + 1), &parsed.column)) {
    return false;
  }
  *target = parsed;
  return true;
}

int RunForget(const SubcommandCall& call) {
  const bool last = call.Has("--last");
  const bool yes = call.Has("--yes");
  std::vector<ForgetTarget> targets;
  for (const std::string_view word : call.words) {
    ForgetTarget target;
    if (!ParseForgetTarget(word, &target)) {
      return UsageError(call, "\"" + SanitizeLine(std::string(word)) +
                                  "\" is no LINE or LINE:COLUMN (numbers from 1, as 12 or 12:20)");
    }
    targets.push_back(target);
  }
  if (last == !targets.empty()) {
    return UsageError(call, last ? "--last takes no LINE" : "give a LINE to forget, or --last");
  }
  // A file-size limit makes the write fail, said so, instead of killing the process midway.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string dir = DataDirectoryOr(call.Value("--dir"));
  if (!EnterDataDirectory("mimoza forget", dir, false)) return ExitFailure;
  const std::string shownDir = SanitizeLine(dir);
  const ForgetPlan plan = last ? PlanForgetLast() : PlanForget(targets);
  if (plan.problem != ForgetFine) {
    std::fprintf(stderr, "mimoza forget: %s; nothing is forgotten\n",
                 ForgetProblemText(plan, shownDir).c_str());
    return ExitFailure;
  }
  std::printf("%s %s/%s:\n%s", last ? "The entry learned last, in" : "From", shownDir.c_str(),
              kDictionaryFile, RemovedLines(plan).c_str());
  if (!Confirm(plan, yes)) return ExitFailure;
  ReplaceOptions options;
  for (;;) {
    const StoreResult result = ApplyForget(plan, options);
    if (result.status == StoreOwnerChanges && !options.ownerMayChange &&
        (yes || (CanAsk() && AskYesNo(OwnerChangeText(result.owner) + ". Go on?", false)))) {
      options.ownerMayChange = true;
      continue;
    }
    if (result.status != StoreDone) {
      std::fprintf(stderr, "mimoza forget: %s; nothing is forgotten\n",
                   StoreResultText(result, shownDir).c_str());
      return ExitFailure;
    }
    std::printf("Forgotten. The file as it was is kept: %s/%s\n", shownDir.c_str(),
                result.backup.c_str());
    if (result.carried > 0) std::puts("What Mimoza learned meanwhile is kept.");
    return ExitOk;
  }
}

}  // namespace mimoza
