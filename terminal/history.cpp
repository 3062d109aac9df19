// terminal/history.cpp: the history file <-> the lines Up and Down walk.
// Leaves this file: HistoryPath, SplitHistory, LoadHistory, AppendHistory. OpenLocked, ReadTail
// and Trim are private.
// Tested by tests/terminal/interactive_test.cpp; fuzzed by fuzz/history_fuzz.cpp.
#include "terminal/history.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "terminal/command_line.h"
#include "terminal/line_editor.h"

namespace mimoza {
namespace {

// A history file is read from its end, at most this much (knowledge/limits.h says why).
constexpr off_t kMaxReadBytes = static_cast<off_t>(kMaxHistoryFileBytes);
// Another session may replace the file (a trim) between our open and our lock; a few tries are
// enough, since trims happen only as a session starts.
constexpr int kOpenTries = 5;

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// OpenLocked: opens path and takes its exclusive lock, making sure that the file locked is still
// the one at path (a trim renames a new one over it). Returns -1, with errno set, when it cannot.
int OpenLocked(const std::string& path, int flags) {
  for (int tries = 0; tries < kOpenTries; ++tries) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat opened = {};
    struct stat named = {};
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) break;
    }
    if (fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
      return fd;
    }
    close(fd);
  }
  errno = EAGAIN;
  return -1;
}

// ReadTail: the last kMaxReadBytes of the open file, from a line start. *whole tells whether
// that is the whole file.
bool ReadTail(int fd, std::string* bytes, bool* whole) {
  struct stat status = {};
  if (fstat(fd, &status) != 0) return false;
  const off_t start = status.st_size > kMaxReadBytes ? status.st_size - kMaxReadBytes : 0;
  bytes->assign(static_cast<size_t>(status.st_size - start), '\0');
  size_t got = 0;
  while (got < bytes->size()) {
    const ssize_t n =
        pread(fd, bytes->data() + got, bytes->size() - got, start + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);
  *whole = start == 0;
  if (!*whole) {
    // The first line is most likely cut: it starts after the first line end.
    const size_t end = bytes->find('\n');
    bytes->erase(0, end == std::string::npos ? bytes->size() : end + 1);
  }
  return true;
}

// Trim: replaces the file at path by one holding just lines, through a new file renamed over it,
// so a crash leaves either the old file or the new one. Best effort: the lines are loaded
// whatever happens here.
void Trim(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const std::string fresh = path + ".new";
  const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const bool written =
      write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
  close(fd);
  if (!written || rename(fresh.c_str(), path.c_str()) != 0) unlink(fresh.c_str());
}

}  // namespace

std::string HistoryPath() { return XdgPath("XDG_STATE_HOME", ".local/state", "history"); }

std::vector<std::string> SplitHistory(std::string_view bytes) {
  std::vector<std::string_view> complete;
  for (size_t pos = 0, end = 0; (end = bytes.find('\n', pos)) != std::string_view::npos;
       pos = end + 1) {
    complete.push_back(bytes.substr(pos, end - pos));
  }
  const size_t first =
      complete.size() > LineEditor::kMaxHistory ? complete.size() - LineEditor::kMaxHistory : 0;
  return std::vector<std::string>(complete.begin() + static_cast<ptrdiff_t>(first), complete.end());
}

bool LoadHistory(const std::string& path, std::vector<std::string>* lines, std::string* error) {
  lines->clear();
  int fd = OpenLocked(path, O_RDWR);
  const bool writable = fd >= 0;
  if (fd < 0 && errno != ENOENT) fd = OpenLocked(path, O_RDONLY);  // read-only: load, not trim
  if (fd < 0) {
    // Nothing there: saving will make the file, or say why it cannot.
    if (errno == ENOENT || errno == ENOTDIR) return true;
    *error = Failure("cannot read", path);
    return false;
  }
  std::string bytes;
  bool whole = false;
  if (!ReadTail(fd, &bytes, &whole)) {
    *error = Failure("cannot read", path);
    close(fd);
    return false;
  }
  *lines = SplitHistory(bytes);
  size_t kept = 0;
  for (const std::string& line : *lines) kept += line.size() + 1;
  if (writable && (!whole || kept != bytes.size())) Trim(path, *lines);
  close(fd);  // and with it the lock, after the trim
  return true;
}

bool AppendHistory(const std::string& path, std::string_view line, std::string* error) {
  if (line.find('\n') != std::string_view::npos) {
    *error = "a history line holds a line break";
    return false;
  }
  std::error_code made;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
  if (made) {
    *error = "cannot create the folder of " + path + ": " + made.message();
    return false;
  }
  const int fd = OpenLocked(path, O_RDWR | O_APPEND | O_CREAT);
  if (fd < 0) {
    *error = Failure("cannot write", path);
    return false;
  }
  struct stat status = {};
  std::string text;
  char last = '\n';
  // A line cut short by a crash elsewhere must not run into this one.
  if (fstat(fd, &status) == 0 && status.st_size > 0 &&
      pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
    text += '\n';
  }
  text.append(line);
  text += '\n';
  const ssize_t written = write(fd, text.data(), text.size());
  bool ok = written == static_cast<ssize_t>(text.size());
  if (!ok) {
    *error = written < 0 ? Failure("cannot write", path)
                         : "cannot write " + path + ": only part of the line was written";
    if (written > 0 && ftruncate(fd, status.st_size) != 0) {
      // Nothing more to do: the next load ignores the partial line.
    }
  }
  close(fd);
  return ok;
}

}  // namespace mimoza
