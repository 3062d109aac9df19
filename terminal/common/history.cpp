// terminal/common/history.cpp: the history file <-> the lines Up and Down walk.
// Leaves this file: HistoryPath, SplitHistory, LoadHistory, AppendHistory. The locking, reading
// and replacing are terminal/common/state_file's.
// Tested by tests/terminal/interactive_test.cpp; fuzzed by fuzz/history_fuzz.cpp.
#include "terminal/common/history.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "terminal/common/data_directory.h"
#include "terminal/common/state_file.h"

namespace mimoza {
namespace {

// A history file is read from its end, at most this much (knowledge/limits.h says why).
constexpr off_t kMaxReadBytes = static_cast<off_t>(kMaxHistoryFileBytes);

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string HistoryPath() { return XdgPath("XDG_STATE_HOME", ".local/state", "history"); }

std::vector<std::string> SplitHistory(std::string_view bytes) {
  std::vector<std::string_view> complete;
  for (size_t pos = 0, end = 0; (end = bytes.find('\n', pos)) != std::string_view::npos;
       pos = end + 1) {
    complete.push_back(bytes.substr(pos, end - pos));
  }
  const size_t first = complete.size() > kMaxHistoryLines ? complete.size() - kMaxHistoryLines : 0;
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
  if (!ReadTail(fd, kMaxReadBytes, &bytes, &whole)) {
    *error = Failure("cannot read", path);
    close(fd);
    return false;
  }
  *lines = SplitHistory(bytes);
  std::string kept;
  for (const std::string& line : *lines) kept += line + "\n";
  if (writable && (!whole || kept.size() != bytes.size())) ReplaceFile(path, kept);
  close(fd);  // and with it the lock, after the trim
  return true;
}

bool AppendHistory(const std::string& path, std::string_view line, std::string* error) {
  if (line.find('\n') != std::string_view::npos) {
    *error = "a history line holds a line break";
    return false;
  }
  return AppendLines(path, std::string(line) + "\n", error);
}

}  // namespace mimoza
