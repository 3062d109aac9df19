// terminal/commands/edit_command.cpp: `mimoza edit`: Dictionary.txt (code page 932, CR LF) -> a
// UTF-8 copy with LF line ends in a private folder -> the user's editor -> code page 932 again,
// checked -> the dictionary replaced through the core's safe replace, with a backup.
// Leaves this file: kEditHelp, RunEdit. RunEditor, the questions and the report of the check are
// private. Tested by tests/terminal/edit_test.cpp.
//
// The old file is never written: ReplaceDictionary (knowledge/dictionary_store.h) makes the new
// one beside it and renames it over it, so a reader sees the old file or the new one, whole;
// what a running Mimoza learned while the editor was open is carried over to the end. The lock
// is held from before the copy is made to the end. Lines the user did not touch go back as the
// very bytes they came from (terminal/common/dictionary_copy.h).
#include "terminal/commands/edit_command.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "knowledge/dictionary_check.h"
#include "knowledge/dictionary_store.h"
#include "terminal/commands/ask.h"
#include "terminal/commands/check_command.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/dictionary_copy.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/store_words.h"
#include "terminal/common/utf8.h"
#include "terminal/common/words.h"

namespace mimoza {

const char kEditHelp[] =
    "Opens Dictionary.txt of the data directory in $VISUAL, else $EDITOR, else editor, else\n"
    "vi, as a UTF-8 copy with LF line ends, in a private folder of $XDG_RUNTIME_DIR (else\n"
    "the temporary folder). When the editor exits, the copy is converted back and checked as\n"
    "mimoza check does; it then replaces the dictionary, or, on an error, you choose to edit\n"
    "again, discard your changes or keep the copy (it moves into backups/). A result with\n"
    "fewer than half the entries asks first. The file replaced is kept in backups/ (the last\n"
    "10 backups stay); what a running Mimoza learns meanwhile is kept. Needs a terminal.\n";

namespace {

// ---- The editor --------------------------------------------------------------------------------

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  for (std::string_view rest = path; !rest.empty();) {
    const size_t colon = rest.find(':');
    const std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// EditorCommand: $VISUAL, else $EDITOR, else the system's editor, else vi.
std::string EditorCommand() {
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return OnPath("editor") ? "editor" : "vi";
}

// The editor being waited for, and the signal that asked this process to end meanwhile (0:
// none): set by the handler, which passes the signal on.
volatile sig_atomic_t editorProcess = 0;
volatile sig_atomic_t endingSignal = 0;

void PassOn(int signal) {
  endingSignal = signal;
  if (editorProcess > 0) kill(static_cast<pid_t>(editorProcess), signal);
}

// RunEditor: runs the command on the copy through the shell (so that "code --wait" works) and
// returns its wait status, or -1 when it could not be started. The editor has the terminal;
// Ctrl+C there is the editor's, so this process ignores it while it waits. SIGTERM and SIGHUP
// (a session ending, a terminal closed) are passed on to the editor, and this process waits
// for it to end: then *signal says which came.
int RunEditor(const std::string& command, const std::string& path, int* signal) {
  std::fflush(nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction passOn {};
  passOn.sa_handler = PassOn;  // no SA_RESTART: the wait below goes on by itself
  struct sigaction oldInterrupt {};
  struct sigaction oldQuit {};
  struct sigaction oldTerminate {};
  struct sigaction oldHangUp {};
  endingSignal = 0;
  sigaction(SIGINT, &ignore, &oldInterrupt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  sigaction(SIGTERM, &passOn, &oldTerminate);
  sigaction(SIGHUP, &passOn, &oldHangUp);
  const pid_t child = fork();
  if (child == 0) {
    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    sigaction(SIGTERM, &oldTerminate, nullptr);
    sigaction(SIGHUP, &oldHangUp, nullptr);
    const std::string script = command + " \"$@\"";
    execl("/bin/sh", "sh", "-c", script.c_str(), "sh", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = -1;
  if (child > 0) {
    editorProcess = child;
    // A signal that came between the fork and now is passed on here.
    if (endingSignal != 0) kill(child, endingSignal);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    editorProcess = 0;
  }
  sigaction(SIGINT, &oldInterrupt, nullptr);
  sigaction(SIGQUIT, &oldQuit, nullptr);
  sigaction(SIGTERM, &oldTerminate, nullptr);
  sigaction(SIGHUP, &oldHangUp, nullptr);
  *signal = endingSignal;
  return status;
}

std::string DescribeStatus(int status) {
  if (status == -1) return "could not be started";
  if (WIFSIGNALED(status)) return "was ended by signal " + std::to_string(WTERMSIG(status));
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

// ---- Asking ------------------------------------------------------------------------------------

// AskWhatNow: 'e' (edit again), 'd' (discard) or 'k' (keep the copy); the end of input keeps
// the copy, so that no work is lost.
char AskWhatNow() {
  for (;;) {
    std::fputs(
        "Dictionary.txt is not replaced. [e]dit again, [d]iscard your changes, or [k]eep "
        "your copy? ",
        stdout);
    std::fflush(stdout);
    char answer[64];
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) return 'k';
    switch (answer[0]) {
      case 'e':
      case 'E':
        return 'e';
      case 'd':
      case 'D':
        return 'd';
      case 'k':
      case 'K':
        return 'k';
      default:
        break;
    }
  }
}

// ReportProblems: the dictionary's errors and warnings on the terminal, then a summary, then
// Boke.dat's, which are not part of the edit and never stop it.
void ReportProblems(const std::vector<CheckDiagnostic>& diagnostics) {
  std::vector<CheckDiagnostic> own;
  std::vector<CheckDiagnostic> quips;
  for (const CheckDiagnostic& diagnostic : diagnostics) {
    (diagnostic.file == CheckedDictionary ? own : quips).push_back(diagnostic);
  }
  size_t notes = 0;
  for (const CheckDiagnostic& diagnostic : own) {
    if (diagnostic.severity == CheckNote) {
      ++notes;
      continue;
    }
    std::fputs(DiagnosticLine(diagnostic, TerminalLanguage()).c_str(), stdout);
  }
  if (!own.empty()) {
    std::printf("%s%s\n", CheckSummary(own, TerminalLanguage()).c_str(),
                notes > 0 ? " (mimoza check shows the notes)" : "");
  }
  bool told = false;
  for (const CheckDiagnostic& diagnostic : quips) {
    if (diagnostic.severity == CheckNote) continue;
    if (!told) std::puts("For your information (Boke.dat is not edited, and does not stop this):");
    told = true;
    std::fputs(DiagnosticLine(diagnostic, TerminalLanguage()).c_str(), stdout);
  }
}

// Keep: the copy moved into backups/, and where it now is.
std::string Keep(DictionaryCopy& copy) { return Visible(copy.Keep()); }

// Edit: all state of one `mimoza edit`.
struct Edit {
  std::string dir;
  std::string editor;
  DictionaryLock lock;
  CurrentDictionary old;
  size_t oldEntries = 0;
  DictionaryCopy copy;

  int Run();
  // Ended: the editor ended because this process was asked to end: the copy is kept where the
  // user can find it, or removed when unchanged.
  int Ended(int signal);
  // Replace: the checked bytes in place of the dictionary, asking where the owner or group
  // would change. ExitOk, ExitFailure, or -1 when the user wants to choose again.
  int Replace(const std::string& bytes);
};

int Edit::Ended(int signal) {
  std::string ignored;
  std::vector<CheckDiagnostic> problems;
  int error = 0;
  const CopyState state = copy.ReadBack(old.bytes, &ignored, &problems, &error);
  std::fprintf(stderr, "mimoza edit: ended by signal %d while the editor ran: %s is not replaced\n",
               signal, kDictionaryFile);
  if (state == CopyChanged || state == CopyUnreadable) {
    std::fprintf(stderr, "mimoza edit: your copy is kept: %s\n", Keep(copy).c_str());
  }
  return ExitFailure;
}

int Edit::Replace(const std::string& bytes) {
  ReplaceOptions options;
  for (;;) {
    const StoreResult result = ReplaceDictionary(lock, old.snapshot, bytes, options);
    switch (result.status) {
      case StoreDone:
        copy.Remove();
        if (result.carried > 0) {
          std::printf(
              "Dictionary.txt is replaced; what Mimoza learned meanwhile (%llu bytes) is kept at "
              "its end.\n",
              static_cast<unsigned long long>(result.carried));
        } else {
          std::puts("Dictionary.txt is replaced.");
        }
        if (!result.backup.empty()) {
          std::printf("The old one is kept: %s/%s\n", Visible(dir).c_str(),
                      result.backup.c_str());
        }
        return ExitOk;
      case StoreOwnerChanges:
        if (AskYesNo(OwnerChangeText(result.owner) + ". Replace it anyway?", false)) {
          options.ownerMayChange = true;
          continue;
        }
        return -1;
      case StoreChanged:
        std::printf(
            "Dictionary.txt changed while you were editing, other than by Mimoza's "
            "learning: it is not replaced; your copy is kept: %s\n",
            Keep(copy).c_str());
        return ExitFailure;
      case StoreBusy:
      case StoreFailed:
        break;
    }
    std::fprintf(stderr,
                 "mimoza edit: %s; Dictionary.txt is as it was, and your copy is kept: %s\n",
                 StoreResultText(result, Visible(dir)).c_str(), Keep(copy).c_str());
    return ExitFailure;
  }
}

int Edit::Run() {
  std::string problem;
  if (!copy.Make(old.bytes, &problem)) {
    std::fprintf(stderr, "mimoza edit: %s\n", Visible(problem).c_str());
    return ExitFailure;
  }
  for (;;) {
    if (!copy.Exists()) {
      std::fprintf(stderr, "mimoza edit: the copy %s no longer exists: %s is not replaced\n",
                   Visible(copy.Path()).c_str(), kDictionaryFile);
      return ExitFailure;
    }
    int signal = 0;
    const int status = RunEditor(editor, copy.Path(), &signal);
    if (signal != 0) return Ended(signal);
    const CopyReview review = copy.Review(old.bytes);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "mimoza edit: the editor (%s) %s: Dictionary.txt is not replaced\n",
                   Visible(editor).c_str(), DescribeStatus(status).c_str());
      if (review.state == CopyChanged) {
        std::fprintf(stderr, "mimoza edit: your copy is kept: %s\n", Keep(copy).c_str());
      }
      return ExitFailure;
    }
    switch (review.state) {
      case CopyMissing:
        std::fprintf(stderr, "mimoza edit: the copy %s no longer exists: %s is not replaced\n",
                     Visible(copy.Path()).c_str(), kDictionaryFile);
        return ExitFailure;
      case CopyUnreadable:
        std::fprintf(stderr, "mimoza edit: cannot read the edited copy %s: %s\n",
                     Visible(copy.Path()).c_str(), std::strerror(review.error));
        return ExitFailure;
      case CopyUnchanged:
        copy.Remove();
        std::puts("Dictionary.txt is unchanged.");
        return ExitOk;
      case CopyChanged:
        break;
    }
    ReportProblems(review.diagnostics);
    bool choose = review.errors;
    if (!review.checked) {
      // An unchecked copy does not replace the dictionary.
      std::fputs("mimoza edit: out of memory while checking the copy\n", stderr);
    }
    // A copy come back empty or cut short must not replace a dictionary silently.
    if (!choose && CopyShrinks(review.entries, oldEntries)) {
      const size_t entries = review.entries;
      choose = !AskYesNo("The edited copy holds " + std::to_string(entries) +
                             (entries == 1 ? " entry" : " entries") + "; Dictionary.txt holds " +
                             std::to_string(oldEntries) + ". Replace it anyway?",
                         false);
    }
    if (!choose) {
      const int replaced = Replace(review.bytes);
      if (replaced >= 0) return replaced;
    }
    const char choice = AskWhatNow();
    if (choice == 'e') continue;
    if (choice == 'd') {
      copy.Remove();
      std::puts("Your changes are discarded; Dictionary.txt is as it was.");
    } else {
      std::printf("Dictionary.txt is as it was; your copy is kept: %s\n", Keep(copy).c_str());
    }
    return ExitFailure;
  }
}

}  // namespace

int RunEdit(const SubcommandCall& call) {
  if (!CanAsk()) {
    std::fputs(
        "mimoza edit: needs a terminal (standard input and output), for the editor and "
        "its questions\n",
        stderr);
    return ExitUsage;
  }
  Edit edit;
  edit.dir = DataDirectoryOr(call.Value("--dir"));
  if (!EnterDataDirectory("mimoza edit", edit.dir, true)) return ExitFailure;
  const int readError = ProbeDictionary().readError;
  if (readError != 0) {
    ReportUnreadableDictionary("mimoza edit", edit.dir, readError);
    return ExitFailure;
  }
  const StoreResult taken = edit.lock.Take();
  if (taken.status == StoreBusy) {
    std::fprintf(stderr, "mimoza edit: %s/%s is being edited already (process %s)\n",
                 Visible(edit.dir).c_str(), kDictionaryFile,
                 Visible(taken.holder).c_str());
    return ExitFailure;
  }
  if (taken.status != StoreDone) {
    std::fprintf(stderr, "mimoza edit: %s\n",
                 StoreResultText(taken, Visible(edit.dir)).c_str());
    return ExitFailure;
  }
  edit.old = ReadCurrentDictionary();
  if (edit.old.result.status != StoreDone) {
    ReportUnreadableDictionary("mimoza edit", edit.dir, edit.old.result.error);
    return ExitFailure;
  }
  edit.oldEntries = CountEntries(edit.old.bytes);
  edit.editor = EditorCommand();
  return edit.Run();
}

}  // namespace mimoza
