// desktop/core_seams.cpp: the desktop window's seams -> today's core and terminal code, or
// SeamUnavailable where the core has no such operation yet.
// Leaves this file: the functions of core_seams.h. Tested as core_seams.h says.
#include "desktop/core_seams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "conversation/messages.h"
#include "terminal/common/encoding.h"
#include "terminal/common/words.h"

namespace mimoza {

// Not wired: the engine has no cancel yet.
SeamOutcome CancelDialogue(ChatSession& /*session*/) { return {}; }

// The engine's own request: the running SubmitLine returns at once, and its report says so.
bool AbandonTurn(ChatSession& session) {
  session.Engine().RequestAbandon();
  return true;
}

// Not wired: forget is not in the core yet.
ForgetProposal ProposeForget(ChatSession& /*session*/) { return {}; }

SeamOutcome Forget(ChatSession& /*session*/, const ForgetProposal& /*proposal*/) { return {}; }

// Not wired: backups are not in the core yet.
SeamStatus ListBackups(ChatSession& /*session*/, std::vector<BackupRow>* backups) {
  backups->clear();
  return SeamUnavailable;
}

SeamOutcome RestoreBackup(ChatSession& /*session*/, const std::string& /*name*/) { return {}; }

// Not wired: the safe replace is not in the core yet, and a copy that could not be applied
// would only lose the user's work.
EditCopy MakeEditableCopy(ChatSession& /*session*/) { return {}; }

EditOutcome ApplyEditedCopy(ChatSession& /*session*/, const EditCopy& /*copy*/) { return {}; }

void DiscardEditedCopy(ChatSession& /*session*/, const EditCopy& copy) {
  if (!copy.path.empty()) unlink(copy.path.c_str());
}

std::string WhyText(const TurnRecorder& turn) {
  return ShownText(DescribeTurn(turn, LanguageJapanese));
}

std::string StoreFailureText(int error) {
  return ShownText(StoreFailureWords(LanguageJapanese, error));
}

std::string DiagnosticMessage(const CheckDiagnostic& diagnostic) {
  return ToUtf8(ComposeCheck(LanguageJapanese, diagnostic.message));
}

}  // namespace mimoza
