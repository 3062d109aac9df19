// terminal/common/dictionary_copy.cpp: Dictionary.txt <-> its editable UTF-8 copy.
// Leaves this file: DictionaryCopy's members. StoredLines, SavedLines, ConvertLine and the copy's
// folder are private. Tested by tests/terminal/edit_test.cpp.
#include "terminal/common/dictionary_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/cp932.h"
#include "knowledge/dictionary_store.h"
#include "terminal/common/charset_converter.h"
#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

// Bytes are written to the copy in blocks of about this size.
constexpr size_t kWriteBlockBytes = size_t{1} << 20;

// Some editors mark a UTF-8 file so; the dictionary has no such mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Normal: a line without the one CR an editor that saves CR LF leaves before its LF.
std::string_view Normal(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// StoredLines: the lines of the stored dictionary in order: each line's bytes before its line
// end (a CR before the LF is part of the line end) and the line end itself.
class StoredLines {
 public:
  explicit StoredLines(const std::string& theStored) : stored(theStored) {}
  // Next: the next line; false after the last (a file ending in a line end has no empty line
  // after it).
  bool Next(std::string_view* content, std::string_view* end) {
    if (at >= stored.size()) return false;
    const size_t lf = stored.find('\n', at);
    size_t contentEnd = lf == std::string::npos ? stored.size() : lf;
    if (lf != std::string::npos && contentEnd > at && stored[contentEnd - 1] == '\r') --contentEnd;
    const size_t next = lf == std::string::npos ? stored.size() : lf + 1;
    *content = std::string_view(stored).substr(at, contentEnd - at);
    *end = std::string_view(stored).substr(contentEnd, next - contentEnd);
    at = next;
    ++number;
    return true;
  }
  uint32_t Number() const { return number; }  // of the line Next gave last, from 1

 private:
  const std::string& stored;
  size_t at = 0;
  uint32_t number = 0;
};

// SavedLines: the lines of the saved copy, read from its file one at a time.
class SavedLines {
 public:
  explicit SavedLines(std::FILE* theFile) : file(theFile) {}
  SavedLines(const SavedLines&) = delete;
  SavedLines& operator=(const SavedLines&) = delete;
  ~SavedLines() { std::free(buffer); }

  // Next: the next line without its LF; *lineFeed tells whether one ended it. False at the end
  // (or when reading fails: Failed says so).
  bool Next(std::string_view* line, bool* lineFeed) {
    const ssize_t got = getline(&buffer, &capacity, file);
    if (got < 0) return false;
    std::string_view read(buffer, static_cast<size_t>(got));
    *lineFeed = !read.empty() && read.back() == '\n';
    if (*lineFeed) read.remove_suffix(1);
    if (first && read.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      read.remove_prefix(kByteOrderMark.size());
      marked = true;
    }
    first = false;
    *line = read;
    return true;
  }
  bool Failed() const { return std::ferror(file) != 0; }
  bool Marked() const { return marked; }

 private:
  std::FILE* file;
  char* buffer = nullptr;
  size_t capacity = 0;
  bool first = true;
  bool marked = false;  // the first line began with a byte order mark, now dropped
};

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
    problem.message.id = wellFormed ? CheckMsgNoCp932Form : CheckMsgNotUtf8;
    if (wellFormed) problem.message.arguments.push_back({CheckMsgVerbatim, code, {}});
    problems->push_back(problem);
    done = at + (length > 0 ? length : 1);
  }
}

// Cp932Columns: the characters of a code page 932 text.
size_t Cp932Columns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size(); ++columns) {
    at += StepCharacter(text.data(), at, text.size());
  }
  return columns;
}

// CopyFolderBase: where the copy's folder goes.
std::string CopyFolderBase() {
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    struct stat st {};
    if (value != nullptr && value[0] == '/' && stat(value, &st) == 0 && S_ISDIR(st.st_mode)) {
      return value;
    }
  }
  return "/tmp";
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

}  // namespace

bool DictionaryCopy::Make(const std::string& stored, std::string* problem) {
  Remove();
  written.clear();
  CharsetConverter toUtf8("UTF-8", "CP932");
  if (!toUtf8.Ready()) {
    *problem = "this system cannot convert code page 932";
    return false;
  }
  std::string name = CopyFolderBase() + "/mimoza-edit-XXXXXX";
  if (mkdtemp(name.data()) == nullptr) {
    *problem = "cannot make a folder for the copy to edit in " + CopyFolderBase() + ": " +
               std::strerror(errno);
    return false;
  }
  folder = name;
  path = folder + "/Dictionary.txt";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *problem = "cannot write the copy to edit: " + std::string(std::strerror(errno));
    Remove();
    return false;
  }
  std::string block;
  std::string utf8;
  StoredLines lines(stored);
  std::string_view content;
  std::string_view end;
  int writeError = 0;
  // Sized once: growing by doubling would hold the old and the new table at once.
  written.reserve(static_cast<size_t>(std::count(stored.begin(), stored.end(), '\n')) + 1);
  while (writeError == 0 && lines.Next(&content, &end)) {
    utf8.clear();
    size_t failedAt = 0;
    if (toUtf8.Convert(content, &utf8, &failedAt) != ConvertDone) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(content[failedAt]));
      *problem = std::string(kDictionaryFile) + ":" + std::to_string(lines.Number()) + ":" +
                 std::to_string(Cp932Columns(content.substr(0, failedAt)) + 1) + ": byte " + byte +
                 " and what follows it are no code page 932 text, which an edit could not give "
                 "back as it was: mend it with another editor first";
      close(fd);
      Remove();
      return false;
    }
    written.push_back(LineHash(Normal(utf8)));
    block += utf8;
    if (!end.empty()) block += '\n';
    if (block.size() >= kWriteBlockBytes) {
      if (!WriteAll(fd, block)) writeError = errno != 0 ? errno : EIO;
      block.clear();
    }
  }
  if (writeError == 0 && !WriteAll(fd, block)) writeError = errno != 0 ? errno : EIO;
  if (close(fd) != 0 && writeError == 0) writeError = errno;
  if (writeError != 0) {
    *problem = "cannot write the copy to edit: " + std::string(std::strerror(writeError));
    Remove();
    return false;
  }
  return true;
}

bool DictionaryCopy::Exists() const {
  struct stat st {};
  return !path.empty() && lstat(path.c_str(), &st) == 0;
}

CopyState DictionaryCopy::ReadBack(const std::string& stored, std::string* bytes,
                                   std::vector<CheckDiagnostic>* problems, int* error) const {
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) {
    *error = errno;
    return errno == ENOENT ? CopyMissing : CopyUnreadable;
  }
  // First the saved lines' hashes, for the line diff; then the lines again, each kept line
  // given back as the bytes it was written from once its text is found to be the same.
  std::vector<size_t> kept;
  size_t savedLines = 0;
  {
    std::vector<uint64_t> saved;
    saved.reserve(written.size() + written.size() / 8 + 16);
    SavedLines lines(file);
    std::string_view line;
    bool lineFeed = false;
    while (lines.Next(&line, &lineFeed)) saved.push_back(LineHash(Normal(line)));
    if (lines.Failed()) {
      *error = errno != 0 ? errno : EIO;
      std::fclose(file);
      return CopyUnreadable;
    }
    savedLines = saved.size();
    kept = AlignLines(written, saved);
  }
  std::rewind(file);
  CharsetConverter toUtf8("UTF-8", "CP932");
  CharsetConverter toCp932("CP932", "UTF-8");
  SavedLines lines(file);
  StoredLines storedLines(stored);
  std::string_view content;
  std::string_view end;
  std::string original;
  std::string_view line;
  bool lineFeed = true;
  bytes->clear();
  // Room for the result at once (pages not written take no memory): each saved line gives back
  // at most its own bytes (a code page 932 character never takes more than its UTF-8 form) and a
  // CR LF, so growing by doubling, which would hold two buffers at once, is never needed.
  struct stat st {};
  if (fstat(fileno(file), &st) == 0) {
    bytes->reserve(static_cast<size_t>(st.st_size) + 2 * savedLines + 2);
  }
  size_t i = 0;
  for (; lines.Next(&line, &lineFeed); ++i) {
    const bool last = !lineFeed;
    bool same = false;
    if (i < kept.size() && kept[i] != kNoLine) {
      while (storedLines.Number() < kept[i] + 1 && storedLines.Next(&content, &end)) {
      }
      original.clear();
      size_t ignored = 0;
      same = toUtf8.Convert(content, &original, &ignored) == ConvertDone &&
             Normal(original) == Normal(line);
    }
    if (same) {
      bytes->append(content);
      if (!last) bytes->append(end.empty() ? std::string_view("\r\n") : end);
    } else {
      ConvertLine(toCp932, Normal(line), static_cast<uint32_t>(i + 1), bytes, problems);
      if (!last) bytes->append("\r\n");
    }
  }
  const bool failed = lines.Failed();
  std::fclose(file);
  if (failed) {
    *error = EIO;
    return CopyUnreadable;
  }
  // Unchanged: what it gives back is the dictionary as it was (an editor may have saved it
  // with CR LF, or with a byte order mark: that changes no entry).
  if (problems->empty() && *bytes == stored) return CopyUnchanged;
  return CopyChanged;
}

CopyReview DictionaryCopy::Review(const std::string& stored) const {
  CopyReview review;
  review.state = ReadBack(stored, &review.bytes, &review.diagnostics, &review.error);
  if (review.state != CopyChanged) return review;
  if (review.diagnostics.empty()) {
    review.checked =
        CheckEditedDictionary(review.bytes, ReadStoredFile(kQuipFile), &review.diagnostics);
  }
  review.errors = !review.checked;
  for (const CheckDiagnostic& diagnostic : review.diagnostics) {
    review.errors = review.errors || (diagnostic.file == CheckedDictionary &&
                                      diagnostic.severity == CheckError);
  }
  review.entries = CountEntries(review.bytes);
  return review;
}

std::string DictionaryCopy::Keep() {
  if (!Exists()) return path;
  mkdir(kBackupFolder, 0700);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::error_code failure;
  const std::filesystem::path here = std::filesystem::current_path(failure);
  for (int n = 1; n < 100; ++n) {
    const std::string name = std::string(kBackupFolder) + "/edited-copy-" + stamp +
                             (n > 1 ? "-" + std::to_string(n) : std::string()) + ".txt";
    // Made first, so that no other file is taken over; then the copy's bytes go there.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return path;
    close(fd);
    std::filesystem::rename(path, name, failure);
    if (failure) {  // another file system: copied, then removed
      failure.clear();
      std::filesystem::copy_file(path, name, std::filesystem::copy_options::overwrite_existing,
                                 failure);
    }
    if (failure) {
      unlink(name.c_str());
      return path;
    }
    Remove();
    return (here / name).string();
  }
  return path;
}

void DictionaryCopy::Remove() {
  if (!path.empty()) unlink(path.c_str());
  if (!folder.empty()) rmdir(folder.c_str());
  path.clear();
  folder.clear();
}

}  // namespace mimoza
