// terminal/commands/edit_command.cpp: `mimoza edit`: Dictionary.txt (code page 932, CR LF) -> a
// UTF-8 copy with LF line ends -> the user's editor -> code page 932 again, checked -> a new file
// renamed over the old one.
// Leaves this file: kEditHelp, RunEdit. EditLock, MakeCopy, ConvertBack, RunEditor,
// ReplaceDictionary and AskWhatNow are private. Tested by tests/terminal/edit_test.cpp.
//
// The old file is never written: the new one is made beside it, flushed, and renamed over it,
// so a reader sees the old file or the new one, whole, whatever happens meanwhile. A running
// Mimoza only ever appends; what it appended while the editor was open is carried over to the
// end of the new file. Lines the user did not touch go back as the very bytes they came from.
#include "terminal/commands/edit_command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "base/cp932.h"
#include "knowledge/dictionary_check.h"
#include "pattern/pattern.h"
#include "terminal/commands/check_command.h"
#include "terminal/common/charset_converter.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/exit_code.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/utf8.h"

namespace mimoza {

const char kEditHelp[] =
    "Opens Dictionary.txt of the data directory in $VISUAL, else $EDITOR, else editor, else\n"
    "vi, as a UTF-8 copy with LF line ends. When the editor exits, the copy is converted\n"
    "back and checked as mimoza check does; it then replaces the dictionary at once, or, on\n"
    "an error, you choose to edit again, discard your changes or keep the copy. What a running\n"
    "Mimoza learns meanwhile is kept. Needs a terminal.\n";

namespace {

constexpr const char* kDictionary = kDictionaryFile;
// Beside the dictionary while it is being edited; held with flock, so a crashed edit leaves a
// file that locks nothing.
constexpr const char* kLockFile = "Dictionary.txt.lock";

// ---- The lock ----------------------------------------------------------------------------------

class EditLock {
 public:
  EditLock() = default;
  EditLock(const EditLock&) = delete;
  EditLock& operator=(const EditLock&) = delete;
  ~EditLock() {
    if (fd < 0) return;
    unlink(kLockFile);  // while still held: the next edit makes a fresh one
    close(fd);
  }

  // Take: holds the lock file. False when another edit holds it (*holder: its process id, as
  // it wrote it) or the file cannot be made (*holder empty, errno says why).
  bool Take(std::string* holder) {
    holder->clear();
    // The file held may have been unlinked by an edit finishing meanwhile; then the lock is on
    // nothing anyone else can reach, and the file is made again.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const int opened = open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (opened < 0) return false;
      if (flock(opened, LOCK_EX | LOCK_NB) != 0) {
        char pid[32] = {};
        const ssize_t got = pread(opened, pid, sizeof pid - 1, 0);
        *holder = got > 0 ? std::string(pid, static_cast<size_t>(got)) : "?";
        close(opened);
        return false;
      }
      struct stat held {};
      struct stat named {};
      if (fstat(opened, &held) == 0 && stat(kLockFile, &named) == 0 &&
          held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
        // The process id only helps the message of a second edit; it may fail to be written.
        const std::string pid = std::to_string(getpid());
        const bool noted = ftruncate(opened, 0) == 0 && pwrite(opened, pid.data(), pid.size(), 0) ==
                                                            static_cast<ssize_t>(pid.size());
        static_cast<void>(noted);
        fd = opened;
        return true;
      }
      close(opened);
    }
    errno = EAGAIN;
    return false;
  }

 private:
  int fd = -1;
};

// ---- The editable copy -------------------------------------------------------------------------

struct EditableCopy {
  std::string utf8;  // the copy as written: UTF-8, LF line ends
  // Each line of the copy -> the stored bytes it came from (without the line end), so that
  // untouched lines go back exactly as they were.
  std::unordered_map<std::string, std::string> originals;
};

// Cp932Columns: the characters of a code page 932 text.
size_t Cp932Columns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size(); ++columns) {
    at += StepCharacter(text.data(), at, text.size());
  }
  return columns;
}

// MakeCopy: the editable copy of the stored dictionary. False, with *problem saying where, when
// a line holds bytes that are not code page 932 (they could not come back as they were).
bool MakeCopy(const std::string& stored, EditableCopy* copy, std::string* problem) {
  CharsetConverter toUtf8("UTF-8", "CP932");
  if (!toUtf8.Ready()) {
    *problem = "this system cannot convert code page 932";
    return false;
  }
  size_t lineNumber = 1;
  for (size_t at = 0;; ++lineNumber) {
    const size_t lf = stored.find('\n', at);
    const size_t end = lf == std::string::npos ? stored.size() : lf;
    std::string_view line(stored.data() + at, end - at);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string utf8;
    size_t failedAt = 0;
    if (toUtf8.Convert(line, &utf8, &failedAt) != ConvertDone) {
      char bytes[16];
      std::snprintf(bytes, sizeof bytes, "0x%02X", static_cast<unsigned char>(line[failedAt]));
      *problem = std::string(kDictionary) + ":" + std::to_string(lineNumber) + ":" +
                 std::to_string(Cp932Columns(line.substr(0, failedAt)) + 1) + ": byte " + bytes +
                 " and what follows it are no code page 932 text, which an edit could not "
                 "give back as it was: mend it with another editor first";
      return false;
    }
    copy->originals.emplace(utf8, std::string(line));  // the first of equal lines wins
    copy->utf8 += utf8;
    if (lf == std::string::npos) return true;
    copy->utf8 += '\n';
    at = lf + 1;
    if (at == stored.size()) return true;
  }
}

// ConvertLine: appends a changed line in code page 932 to *out; each character with no code
// page 932 form (or bytes that are no UTF-8) becomes a diagnostic and is left out.
void ConvertLine(CharsetConverter& toCp932, std::string_view line, uint32_t lineNumber,
                 std::string* out, std::vector<CheckDiagnostic>* problems) {
  size_t done = 0;
  while (done < line.size()) {
    size_t failedAt = 0;
    if (toCp932.Convert(line.substr(done), out, &failedAt) == ConvertDone) return;
    const size_t at = done + failedAt;
    size_t length = 0;
    bool wellFormed = false;
    const char32_t c = DecodeUtf8(line, at, &length, &wellFormed);
    CheckDiagnostic problem;
    problem.severity = CheckError;
    problem.rule = RuleNotCp932;
    problem.line = lineNumber;
    problem.column = 1;
    for (size_t i = 0, step = 0; i < at; i += step, ++problem.column) DecodeUtf8(line, i, &step);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    problem.message = wellFormed ? std::string("the character ") + code +
                                       " has no code page 932 form: it cannot be stored"
                                 : std::string("bytes that are not UTF-8");
    problems->push_back(problem);
    done = at + (length > 0 ? length : 1);
  }
}

// ConvertBack: the stored bytes of the edited copy: code page 932 with CR LF line ends.
// Characters that cannot be stored are left out and each is a diagnostic in *problems.
std::string ConvertBack(std::string_view edited, const EditableCopy& copy,
                        std::vector<CheckDiagnostic>* problems) {
  CharsetConverter toCp932("CP932", "UTF-8");
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  // Some editors mark a UTF-8 file so; the dictionary has no such mark.
  if (edited.substr(0, 3) == kByteOrderMark && copy.utf8.substr(0, 3) != kByteOrderMark) {
    edited.remove_prefix(3);
  }
  std::string out;
  out.reserve(edited.size());
  uint32_t lineNumber = 1;
  for (size_t at = 0;; ++lineNumber) {
    const size_t lf = edited.find('\n', at);
    const size_t end = lf == std::string_view::npos ? edited.size() : lf;
    std::string_view line = edited.substr(at, end - at);
    const auto original = copy.originals.find(std::string(line));
    if (original != copy.originals.end()) {
      out += original->second;
    } else {
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // saved with CR LF
      ConvertLine(toCp932, line, lineNumber, &out, problems);
    }
    if (lf == std::string_view::npos) break;
    out += "\r\n";
    at = lf + 1;
    if (at == edited.size()) break;
  }
  return out;
}

// ---- Files -------------------------------------------------------------------------------------

bool ReadAll(int fd, std::string* bytes) {
  bytes->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->append(buffer, static_cast<size_t>(got));
  }
}

bool ReadPath(const std::string& path, std::string* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ReadAll(fd, bytes);
  close(fd);
  return ok;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

// WriteCopy: the copy in a new file of the temporary folder, readable by its owner alone;
// false, with errno, when it cannot be made.
bool WriteCopy(const std::string& utf8, std::string* path) {
  const char* tmp = std::getenv("TMPDIR");
  std::string name = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                     "/mimoza-Dictionary-XXXXXX.txt";
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, utf8);
  const int error = errno;
  close(fd);
  if (!ok) {
    unlink(name.c_str());
    errno = error;
    return false;
  }
  *path = name;
  return true;
}

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

// RunEditor: runs the command on the copy through the shell (so that "code --wait" works) and
// returns its wait status, or -1 when it could not be started. The editor has the terminal;
// Ctrl+C there is the editor's, so this process ignores it while it waits.
int RunEditor(const std::string& command, const std::string& path) {
  std::fflush(nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction oldInterrupt {};
  struct sigaction oldQuit {};
  sigaction(SIGINT, &ignore, &oldInterrupt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  const pid_t child = fork();
  if (child == 0) {
    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    const std::string script = command + " \"$@\"";
    execl("/bin/sh", "sh", "-c", script.c_str(), "sh", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = -1;
  if (child > 0) {
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  sigaction(SIGINT, &oldInterrupt, nullptr);
  sigaction(SIGQUIT, &oldQuit, nullptr);
  return status;
}

std::string DescribeStatus(int status) {
  if (status == -1) return "could not be started";
  if (WIFSIGNALED(status)) return "was ended by signal " + std::to_string(WTERMSIG(status));
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

// ---- Replacing ---------------------------------------------------------------------------------

enum ReplaceResult { Replaced, ChangedMeanwhile, ReplaceFailed };

// FlushDirectory: makes a rename in dir durable.
bool FlushDirectory(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// ReplaceDictionary: puts bytes in place of the dictionary that was read as old. When the file
// on disk has only grown since (Mimoza learned something), what was appended goes to the end of
// the new file (*carried: how many bytes); when it changed otherwise, nothing is replaced.
// ReplaceFailed leaves the old file as it was; errno says why.
ReplaceResult ReplaceDictionary(const std::string& bytes, const StoredFile& old, size_t* carried) {
  *carried = 0;
  // A link is followed, so the new file lands where the old one is, and the link stays.
  std::string target = kDictionary;
  if (char* resolved = realpath(kDictionary, nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  const std::string dir = std::filesystem::path(target).parent_path().empty()
                              ? std::string(".")
                              : std::filesystem::path(target).parent_path().string();
  // Kept open to the end: appends that reach the old file after it was read are found there.
  const int current = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (current < 0 && errno != ENOENT) return ReplaceFailed;
  std::string now;
  if (current >= 0 && !ReadAll(current, &now)) {
    const int error = errno;
    close(current);
    errno = error;
    return ReplaceFailed;
  }
  const std::string& before = old.bytes;
  std::string content = bytes;
  if (now != before) {
    if (now.size() < before.size() || now.compare(0, before.size(), before) != 0) {
      if (current >= 0) close(current);
      return ChangedMeanwhile;
    }
    if (!content.empty() && content.back() != '\n') content += "\r\n";
    content.append(now, before.size());
    *carried = now.size() - before.size();
  }
  struct stat st {};
  mode_t mode = 0;
  if (current >= 0 && fstat(current, &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode = umask(0);
    umask(mode);
    mode = 0666 & ~mode;
  }
  std::string temp = dir + "/.Dictionary.txt.new-XXXXXX";
  const int fd = mkstemp(temp.data());
  int error = fd < 0 ? errno : 0;
  if (fd >= 0) {
    if (fchmod(fd, mode) != 0 || !WriteAll(fd, content) || fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) unlink(temp.c_str());
  }
  if (error != 0) {
    if (current >= 0) close(current);
    errno = error;
    return ReplaceFailed;
  }
  FlushDirectory(dir);
  // An append that opened the old file before the rename lands in it: it is carried over too.
  if (current >= 0 && fstat(current, &st) == 0 && static_cast<size_t>(st.st_size) > now.size()) {
    std::string late(static_cast<size_t>(st.st_size) - now.size(), '\0');
    const ssize_t got = pread(current, late.data(), late.size(), static_cast<off_t>(now.size()));
    const int out = open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (got > 0 && out >= 0 &&
        WriteAll(out, std::string_view(late.data(), static_cast<size_t>(got)))) {
      fsync(out);
      *carried += static_cast<size_t>(got);
    }
    if (out >= 0) close(out);
  }
  if (current >= 0) close(current);
  return Replaced;
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

// ReportProblems: the errors and warnings on the terminal, then a summary; true when there is an
// error.
bool ReportProblems(const std::vector<CheckDiagnostic>& diagnostics) {
  bool errors = false;
  size_t notes = 0;
  for (const CheckDiagnostic& diagnostic : diagnostics) {
    errors = errors || diagnostic.severity == CheckError;
    if (diagnostic.severity == CheckNote) {
      ++notes;
      continue;
    }
    std::fputs(DiagnosticLine(diagnostic).c_str(), stdout);
  }
  if (!diagnostics.empty()) {
    std::printf("%s%s\n", CheckSummary(diagnostics).c_str(),
                notes > 0 ? " (mimoza check shows the notes)" : "");
  }
  return errors;
}

}  // namespace

int RunEdit(const SubcommandCall& call) {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    std::fputs(
        "mimoza edit: needs a terminal (standard input and output), for the editor and "
        "its questions\n",
        stderr);
    return ExitUsage;
  }
  const std::string dir = DataDirectoryOr(call.Value("--dir"));
  if (!EnterDataDirectory("mimoza edit", dir, true)) return ExitFailure;
  const int readError = ProbeDictionary().readError;
  if (readError != 0) {
    ReportUnreadableDictionary("mimoza edit", dir, readError);
    return ExitFailure;
  }
  EditLock lock;
  std::string holder;
  if (!lock.Take(&holder)) {
    if (holder.empty()) {
      std::fprintf(stderr, "mimoza edit: cannot make %s/%s: %s\n", Visible(dir).c_str(), kLockFile,
                   std::strerror(errno));
    } else {
      std::fprintf(stderr, "mimoza edit: %s/%s is being edited already (process %s)\n",
                   Visible(dir).c_str(), kDictionary, Visible(holder).c_str());
    }
    return ExitFailure;
  }
  const StoredFile old = ReadStoredFile(kDictionary);
  if (old.error != 0) {
    ReportUnreadableDictionary("mimoza edit", dir, old.error);
    return ExitFailure;
  }
  EditableCopy copy;
  std::string problem;
  if (!MakeCopy(old.bytes, &copy, &problem)) {
    std::fprintf(stderr, "mimoza edit: %s\n", problem.c_str());
    return ExitFailure;
  }
  std::string path;
  if (!WriteCopy(copy.utf8, &path)) {
    std::fprintf(stderr, "mimoza edit: cannot write the copy to edit: %s\n", std::strerror(errno));
    return ExitFailure;
  }
  const std::string editor = EditorCommand();
  for (;;) {
    const int status = RunEditor(editor, path);
    std::string edited;
    const bool read = ReadPath(path, &edited);
    const bool changed = !read || edited != copy.utf8;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "mimoza edit: the editor (%s) %s: Dictionary.txt is not replaced\n",
                   Visible(editor).c_str(), DescribeStatus(status).c_str());
      if (changed) {
        std::fprintf(stderr, "mimoza edit: your copy is kept: %s\n", Visible(path).c_str());
      } else {
        unlink(path.c_str());
      }
      return ExitFailure;
    }
    if (!read) {
      std::fprintf(stderr, "mimoza edit: cannot read the edited copy %s: %s\n",
                   Visible(path).c_str(), std::strerror(errno));
      return ExitFailure;
    }
    if (!changed) {
      unlink(path.c_str());
      std::puts("Dictionary.txt is unchanged.");
      return ExitOk;
    }
    std::vector<CheckDiagnostic> diagnostics;
    const std::string bytes = ConvertBack(edited, copy, &diagnostics);
    if (diagnostics.empty()) {
      StoredFile edition;
      edition.bytes = bytes;
      edition.present = true;
      if (!CheckDataTexts(edition, ReadStoredFile(kQuipFile), CheckOptions{}, &diagnostics)) {
        std::fputs("mimoza edit: out of memory while checking the copy\n", stderr);
      }
    }
    if (ReportProblems(diagnostics)) {
      const char choice = AskWhatNow();
      if (choice == 'e') continue;
      if (choice == 'd') {
        unlink(path.c_str());
        std::puts("Your changes are discarded; Dictionary.txt is as it was.");
      } else {
        std::printf("Dictionary.txt is as it was; your copy is kept: %s\n", Visible(path).c_str());
      }
      return ExitFailure;
    }
    size_t carried = 0;
    switch (ReplaceDictionary(bytes, old, &carried)) {
      case Replaced:
        unlink(path.c_str());
        if (carried > 0) {
          std::printf(
              "Dictionary.txt is replaced; what Mimoza learned meanwhile (%zu bytes) is "
              "kept at its end.\n",
              carried);
        } else {
          std::puts("Dictionary.txt is replaced.");
        }
        return ExitOk;
      case ChangedMeanwhile:
        std::printf(
            "Dictionary.txt changed while you were editing, other than by Mimoza's "
            "learning: it is not replaced; your copy is kept: %s\n",
            Visible(path).c_str());
        return ExitFailure;
      case ReplaceFailed:
        std::fprintf(stderr,
                     "mimoza edit: cannot replace Dictionary.txt: %s; it is as it was, and your "
                     "copy is kept: %s\n",
                     std::strerror(errno), Visible(path).c_str());
        return ExitFailure;
    }
  }
}

}  // namespace mimoza
