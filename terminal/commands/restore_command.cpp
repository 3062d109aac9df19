// terminal/commands/restore_command.cpp: `mimoza restore` -> the list of backups, or a backup
// put back in place of Dictionary.txt (which is kept as a backup marked as a restore's).
// Leaves this file: kRestoreHelp, RunRestore. List and the words of a plan are private.
// Tested by tests/terminal/store_commands_test.cpp.
#include "terminal/commands/restore_command.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "knowledge/dictionary_store.h"
#include "terminal/commands/ask.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/store_words.h"

namespace mimoza {

const char kRestoreHelp[] =
    "Puts a backup of Dictionary.txt back. mimoza edit, forget and restore keep the file they\n"
    "replace in backups/ of the data directory as Dictionary-YYYYMMDD-HHMMSS-NNN.txt (the\n"
    "last 10 stay). Without BACKUP, the newest backup not made by a restore goes back, so a\n"
    "second restore does not undo the first. Entries learned after that backup was made are\n"
    "not carried over: they are listed, and the backup this restore makes (marked -restore)\n"
    "keeps them.\n"
    "\n"
    "  --list      the backups, newest first; those a restore made are marked\n"
    "  -y, --yes   answer yes to the questions\n";

namespace {

// List: the backups, newest first, one a line.
int List(const std::string& dir) {
  std::vector<BackupInfo> backups;
  const StoreResult listed = ListBackups(&backups, true);
  if (listed.status != StoreDone) {
    std::fprintf(stderr, "mimoza restore: %s\n", StoreResultText(listed, dir).c_str());
    return ExitFailure;
  }
  if (backups.empty()) {
    std::printf("No backups in %s/%s.\n", dir.c_str(), kBackupFolder);
    return ExitOk;
  }
  for (const BackupInfo& backup : backups) {
    std::printf("%s  %04d-%02d-%02d %02d:%02d:%02d  %lld %s  %llu bytes%s\n", backup.name.c_str(),
                backup.when.year, backup.when.month, backup.when.day, backup.when.hour,
                backup.when.minute, backup.when.second, static_cast<long long>(backup.entries),
                backup.entries == 1 ? "entry" : "entries",
                static_cast<unsigned long long>(backup.bytes),
                backup.madeByRestore ? "  (made by a restore)" : "");
  }
  return ExitOk;
}

// PlanProblem: why a restore plan cannot go on.
std::string PlanProblem(const RestorePlan& plan, const std::string& asked, const std::string& dir) {
  if (plan.notOurs) {
    return "\"" + SanitizeLine(asked) + "\" is not the name of a backup (mimoza restore --list " +
           "shows them)";
  }
  if (plan.result.stage == StageRead && plan.result.error == ENOENT) {
    return asked.empty()
               ? "there is no backup to restore in " + dir + "/" + kBackupFolder
               : "there is no backup " + dir + "/" + kBackupFolder + "/" + SanitizeLine(asked);
  }
  return StoreResultText(plan.result, dir);
}

}  // namespace

int RunRestore(const SubcommandCall& call) {
  const bool list = call.Has("--list");
  if (call.words.size() > 1 || (list && !call.words.empty())) {
    return UsageError(call, list ? "--list takes no BACKUP" : "give one BACKUP at most");
  }
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string dir = DataDirectoryOr(call.Value("--dir"));
  if (!EnterDataDirectory("mimoza restore", dir, false)) return ExitFailure;
  const std::string shownDir = SanitizeLine(dir);
  if (list) return List(shownDir);
  const std::string asked = call.words.empty() ? std::string() : std::string(call.words[0]);
  const RestorePlan plan = PlanRestore(asked);
  if (plan.result.status != StoreDone) {
    std::fprintf(stderr, "mimoza restore: %s; nothing is restored\n",
                 PlanProblem(plan, asked, shownDir).c_str());
    return ExitFailure;
  }
  if (plan.same) {
    std::printf("Dictionary.txt holds the backup %s already: nothing is changed.\n",
                plan.name.c_str());
    return ExitOk;
  }
  if (!plan.lost.empty()) {
    std::printf(
        "Not carried over (learned after the backup was made; the backup of the file as it is "
        "now keeps them):\n");
    for (const auto& [key, answer] : plan.lost) {
      std::printf("  line %u: the answer %s of the key %s\n", answer.line,
                  QuotedText(answer.text).c_str(), QuotedText(key.text).c_str());
    }
  }
  ReplaceOptions options;
  for (;;) {
    const StoreResult result = ApplyRestore(plan, options);
    if (result.status == StoreOwnerChanges && !options.ownerMayChange &&
        (call.Has("--yes") ||
         (CanAsk() && AskYesNo(OwnerChangeText(result.owner) + ". Go on?", false)))) {
      options.ownerMayChange = true;
      continue;
    }
    if (result.status != StoreDone) {
      std::fprintf(stderr, "mimoza restore: %s; nothing is restored\n",
                   StoreResultText(result, shownDir).c_str());
      return ExitFailure;
    }
    std::printf("Dictionary.txt is now the backup %s.\n", plan.name.c_str());
    if (!result.backup.empty()) {
      std::printf("The file as it was is kept: %s/%s\n", shownDir.c_str(), result.backup.c_str());
    }
    if (result.carried > 0) std::puts("What Mimoza learned meanwhile is kept at its end.");
    return ExitOk;
  }
}

}  // namespace mimoza
