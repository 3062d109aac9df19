// terminal/common/store_words.cpp: results of the dictionary store -> English, UTF-8.
// Leaves this file: QuotedText, StoreResultText, OwnerChangeText,
// ForgetProblemText, PooledText, RemovedLines. StageText and the user and group names are private.
// Tested through the commands by tests/terminal/store_commands_test.cpp.
#include "terminal/common/store_words.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstring>

#include "terminal/common/encoding.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

// StageText: what a failed stage was doing, after "cannot ".
std::string StageText(StoreStage stage, const std::string& dir) {
  switch (stage) {
    case StageLock:
      return "make " + dir + "/Dictionary.txt.lock";
    case StageRead:
      return "read " + dir + "/Dictionary.txt";
    case StageBackups:
      return "make the backups folder " + dir + "/" + kBackupFolder;
    case StageBackup:
      return "write a backup in " + dir + "/" + kBackupFolder;
    case StageNewFile:
      return "make a new file beside " + dir + "/Dictionary.txt";
    case StageWrite:
      return "write the new " + dir + "/Dictionary.txt";
    case StageFlush:
      return "flush the new " + dir + "/Dictionary.txt to the disk";
    case StageRename:
      return "put the new " + dir + "/Dictionary.txt in place";
    case StageMemory:
      return "hold " + dir + "/Dictionary.txt in memory";
    case StageNone:
      break;
  }
  return "replace " + dir + "/Dictionary.txt";
}

std::string UserName(uint32_t id) {
  const passwd* user = getpwuid(id);
  return user != nullptr ? std::string(user->pw_name) : std::to_string(id);
}

std::string GroupName(uint32_t id) {
  const group* found = getgrgid(id);
  return found != nullptr ? std::string(found->gr_name) : std::to_string(id);
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string QuotedText(const std::string& cp932) {
  return "\"" + SanitizeLine(ToUtf8(cp932)) + "\"";
}

std::string StoreResultText(const StoreResult& result, const std::string& dir) {
  switch (result.status) {
    case StoreDone:
      return {};
    case StoreBusy:
      return dir + "/Dictionary.txt is being edited (process " + SanitizeLine(result.holder) +
             "); try again once that edit ends";
    case StoreChanged:
      return dir + "/Dictionary.txt changed meanwhile, other than by Mimoza's learning";
    case StoreOwnerChanges:
      return OwnerChangeText(result.owner);
    case StoreFailed:
      break;
  }
  return "cannot " + StageText(result.stage, dir) + ": " + std::strerror(result.error);
}

std::string OwnerChangeText(const OwnerChange& change) {
  std::string kept;
  if (!change.ownerKept) kept = "owner " + UserName(change.owner);
  if (!change.groupKept) {
    kept += (kept.empty() ? "group " : " and group ") + GroupName(change.group);
  }
  return "the new Dictionary.txt cannot keep its " + kept + ": it would belong to " +
         UserName(static_cast<uint32_t>(geteuid())) + " (group " +
         GroupName(static_cast<uint32_t>(getegid())) + ")";
}

std::string ForgetProblemText(const ForgetPlan& plan, const std::string& dir) {
  const std::string line = "line " + std::to_string(plan.line);
  switch (plan.problem) {
    case ForgetPastEnd:
      return line + " is beyond the end of Dictionary.txt, which has " +
             Plural(plan.at, "line", "lines");
    case ForgetKeyLine:
      return (plan.at == plan.line
                  ? line + " holds a key"
                  : line + " is inside the key that starts on line " + std::to_string(plan.at)) +
             ", not an answer: give the line of one of its answers";
    case ForgetInsideAnswer:
      return line + " is inside the answer that starts on line " + std::to_string(plan.at) +
             ": give that line";
    case ForgetNoAnswer:
      return "no answer starts on " + line;
    case ForgetNoSuchAnswer:
      return plan.at == 1 ? "the answer that starts on " + line + " does not stand at that column"
                          : "none of the " + std::to_string(plan.at) + " answers that start on " +
                                line + " stands at that column";
    case ForgetNothingLearned:
      return "Dictionary.txt holds no learned pair: only prompts and lists, which are not "
             "forgotten as the last pair";
    case ForgetUnreadable:
      return StoreResultText(plan.result, dir);
    case ForgetFine:
      break;
  }
  return {};
}

std::string PooledText(const ForgetPlan& plan) {
  std::string text;
  for (const ForgottenEntry& entry : plan.entries) {
    if (entry.poolers.empty()) continue;
    if (!text.empty()) text += "; ";
    text += entry.answers.size() == 1 ? "the answer on line " : "the answers on lines ";
    for (size_t i = 0; i < entry.answers.size(); ++i) {
      text += (i > 0 ? ", " : "") + std::to_string(entry.answers[i].line);
    }
    text +=
        entry.poolers.size() == 1 ? " is also given by the key " : " is also given by the keys ";
    for (size_t i = 0; i < entry.poolers.size(); ++i) {
      text += (i > 0 ? ", " : "") + QuotedText(entry.poolers[i].text) + " (line " +
              std::to_string(entry.poolers[i].line) + ")";
    }
    text += ", which " + std::string(entry.poolers.size() == 1 ? "has" : "have") +
            " no answer of its own: forgetting it takes it from " +
            (entry.poolers.size() == 1 ? "that key" : "those keys") + " too";
  }
  return text;
}

std::string RemovedLines(const ForgetPlan& plan) {
  std::string lines;
  for (const ForgottenEntry& entry : plan.entries) {
    for (const PlacedText& answer : entry.answers) {
      lines += "  line " + std::to_string(answer.line) + ": the answer " + QuotedText(answer.text);
      if (entry.hasKey) {
        lines += " of the key " + QuotedText(entry.key.text) + " (line " +
                 std::to_string(entry.key.line) + ")";
      }
      lines += "\n";
    }
    if (entry.keyGoes) {
      lines += "  line " + std::to_string(entry.key.line) + ": the key " +
               QuotedText(entry.key.text) + ", which has no answer left\n";
    }
  }
  return lines;
}

}  // namespace mimoza
