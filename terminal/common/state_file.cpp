// terminal/common/state_file.cpp: the state directory's files: private folders, locked opens, bounded
// reads, whole-line appends and replaces.
// Leaves this file: MakePrivateFolders, OpenLocked, ReadTail, AppendLines, ReplaceFile.
// Tested through its callers by tests/terminal/interactive_test.cpp and
// tests/terminal/state_file_test.cpp.
#include "terminal/common/state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace mimoza {
namespace {

// Another session may replace the file between our open and our lock; a few tries are enough,
// since replaces happen only as a session starts.
constexpr int kOpenTries = 5;
// Links followed to the file a link names, as the system follows them.
constexpr int kMaxLinks = 40;

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool MakePrivateFolders(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = Failure("cannot create the folder of", path);
      return false;
    }
  }
  return true;
}

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
      // What was typed is the user's alone, whatever mode the file was given; a file of
      // someone else's stays as it is.
      if ((opened.st_mode & 07777) != 0600 && opened.st_uid == geteuid()) fchmod(fd, 0600);
      return fd;
    }
    close(fd);
  }
  errno = EAGAIN;
  return -1;
}

bool ReadTail(int fd, off_t maxBytes, std::string* bytes, bool* whole) {
  struct stat status = {};
  if (fstat(fd, &status) != 0) return false;
  const off_t start = status.st_size > maxBytes ? status.st_size - maxBytes : 0;
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

bool AppendLines(const std::string& path, std::string_view text, std::string* error,
                 std::string_view header) {
  if (!MakePrivateFolders(path, error)) return false;
  const int fd = OpenLocked(path, O_RDWR | O_APPEND | O_CREAT);
  if (fd < 0) {
    *error = Failure("cannot write", path);
    return false;
  }
  struct stat status = {};
  std::string lines;
  char last = '\n';
  const bool known = fstat(fd, &status) == 0;
  if (known && status.st_size == 0) lines = header;
  if (known && status.st_size > 0 && pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
    lines += '\n';
  }
  lines.append(text);
  const ssize_t written = write(fd, lines.data(), lines.size());
  const bool ok = written == static_cast<ssize_t>(lines.size());
  if (!ok) {
    *error = written < 0 ? Failure("cannot write", path)
                         : "cannot write " + path + ": only part of it was written";
    if (written > 0 && ftruncate(fd, status.st_size) != 0) {
      // Nothing more to do: the next load ignores a partial line.
    }
  }
  close(fd);
  return ok;
}

void ReplaceFile(const std::string& path, std::string_view text) {
  // A file that is a link is written through: the file it names is replaced, beside itself,
  // and the link stays a link.
  std::string target = path;
  for (int links = 0; links < kMaxLinks; ++links) {
    std::error_code failure;
    if (!std::filesystem::is_symlink(target, failure)) break;
    const std::filesystem::path named = std::filesystem::read_symlink(target, failure);
    if (failure) return;
    target = named.is_absolute() ? named.string()
                                 : (std::filesystem::path(target).parent_path() / named).string();
  }
  // The new file is made, never opened as found: a link planted in its place is refused (and
  // removed, being no file of ours; the lock of path keeps other sessions from making one).
  const std::string fresh = target + ".new";
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(fresh.c_str(), flags, 0600);
  if (fd < 0 && errno == EEXIST && unlink(fresh.c_str()) == 0) {
    fd = open(fresh.c_str(), flags, 0600);
  }
  if (fd < 0) return;
  const bool written = fchmod(fd, 0600) == 0 &&
                       write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       fsync(fd) == 0;
  close(fd);
  if (!written || rename(fresh.c_str(), target.c_str()) != 0) unlink(fresh.c_str());
}

}  // namespace mimoza
