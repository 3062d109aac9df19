// terminal/common/transcript_store.cpp: the turns of earlier sessions <-> the data directory's
// transcript file.
// Leaves this file: TranscriptPath, ParseTranscript, LoadTranscript, AppendTurn, StoredTimeText.
// The escaping, the record form and the header are private; locking and replacing are
// terminal/state_file's.
// Tested by tests/terminal/interactive_test.cpp; fuzzed by fuzz/history_fuzz.cpp.
#include "terminal/common/transcript_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>

#include "terminal/common/data_directory.h"
#include "terminal/common/state_file.h"
#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

// The file is read from its end, at most this much (knowledge/limits.h says why).
constexpr off_t kMaxReadBytes = static_cast<off_t>(kMaxTranscriptFileBytes);
// The first line names a real path; escaped, it is at most twice PATH_MAX, and the rest is short.
constexpr size_t kMaxHeaderBytes = 2 * PATH_MAX + 64;
constexpr const char* kHeaderStart = "mimoza-transcript\t1\t";
// Record letters; kept in the order of StoredKind.
constexpr char kKindLetters[] = {'L', 'R', 'C'};
// Times beyond this are no time of ours; the bound keeps the parsing in range.
constexpr int64_t kMaxTime = int64_t{1} << 40;

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Unescape: the text an escaped field stands for, made valid UTF-8. A backslash before any other
// character stays as it is.
std::string Unescape(std::string_view field) {
  std::string raw;
  for (size_t i = 0; i < field.size(); ++i) {
    const char next = i + 1 < field.size() ? field[i + 1] : '\0';
    if (field[i] != '\\' || (next != '\\' && next != 'n' && next != 'r' && next != 't')) {
      raw += field[i];
      continue;
    }
    raw += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
    ++i;
  }
  std::string text;
  size_t length = 0;
  for (size_t pos = 0; pos < raw.size(); pos += length) {
    AppendUtf8(text, DecodeUtf8(raw, pos, &length));
  }
  return text;
}

std::string Header(std::string_view realDir) { return kHeaderStart + Escape(realDir) + "\n"; }

std::string Record(const StoredEntry& entry) {
  return std::string(1, kKindLetters[entry.kind]) + "\t" + std::to_string(entry.time) + "\t" +
         Escape(entry.text) + "\n";
}

// ParseRecord: one line as a record; false for a line of another form.
bool ParseRecord(std::string_view line, StoredEntry* entry) {
  if (line.size() < 4 || line[1] != '\t') return false;
  size_t kind = 0;
  while (kind < sizeof kKindLetters && kKindLetters[kind] != line[0]) ++kind;
  if (kind == sizeof kKindLetters) return false;
  const size_t tab = line.find('\t', 2);
  if (tab == std::string_view::npos || tab == 2) return false;
  int64_t time = 0;
  for (const char c : line.substr(2, tab - 2)) {
    if (c < '0' || c > '9') return false;
    time = time * 10 + (c - '0');
    if (time > kMaxTime) return false;
  }
  entry->kind = static_cast<StoredKind>(kind);
  entry->time = time;
  entry->text = Unescape(line.substr(tab + 1));
  return true;
}

// Fnv1a64: a hash that every build computes alike, so a file keeps its name across versions.
uint64_t Fnv1a64(std::string_view text) {
  uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

// ReadFirstLine: the file's first line with its line end, as far as a header can reach.
std::string ReadFirstLine(int fd) {
  std::string bytes(kMaxHeaderBytes, '\0');
  ssize_t got = -1;
  do {
    got = pread(fd, bytes.data(), bytes.size(), 0);
  } while (got < 0 && errno == EINTR);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  const size_t end = bytes.find('\n');
  return end == std::string::npos ? bytes : bytes.substr(0, end + 1);
}

}  // namespace

std::string TranscriptPath(const std::string& dir, std::string* realDir) {
  char* resolved = realpath(dir.c_str(), nullptr);
  if (resolved == nullptr) return {};
  *realDir = resolved;
  std::free(resolved);
  const std::string folder = XdgPath("XDG_STATE_HOME", ".local/state", "transcripts");
  if (folder.empty()) return {};
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(Fnv1a64(*realDir)));
  return folder + "/" + name;
}

std::vector<StoredEntry> ParseTranscript(std::string_view bytes) {
  // Turns are gathered whole and the oldest dropped beyond the bound, so memory stays bounded by
  // what is kept, not by what the file holds.
  std::deque<std::vector<StoredEntry>> turns;
  StoredEntry entry;
  for (size_t pos = 0, end = 0; (end = bytes.find('\n', pos)) != std::string_view::npos;
       pos = end + 1) {
    if (!ParseRecord(bytes.substr(pos, end - pos), &entry)) continue;
    if (entry.kind == StoredLine) {
      if (turns.size() == kMaxStoredTurns) turns.pop_front();
      turns.emplace_back();
    }
    if (!turns.empty()) turns.back().push_back(std::move(entry));
  }
  std::vector<StoredEntry> entries;
  for (std::vector<StoredEntry>& turn : turns) {
    for (StoredEntry& stored : turn) entries.push_back(std::move(stored));
  }
  return entries;
}

bool LoadTranscript(const std::string& path, const std::string& realDir,
                    std::vector<StoredEntry>* entries, std::string* error) {
  entries->clear();
  int fd = OpenLocked(path, O_RDWR);
  const bool writable = fd >= 0;
  if (fd < 0 && errno != ENOENT) fd = OpenLocked(path, O_RDONLY);  // read-only: load, not trim
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    *error = Failure("cannot read", path);
    return false;
  }
  const std::string header = Header(realDir);
  std::string bytes;
  bool whole = false;
  if (ReadFirstLine(fd) != header) {
    // Not this directory's transcript (or no transcript at all): nothing of it is shown.
    if (writable) ReplaceFile(path, header);
  } else if (!ReadTail(fd, kMaxReadBytes, &bytes, &whole)) {
    *error = Failure("cannot read", path);
    close(fd);
    return false;
  } else {
    *entries = ParseTranscript(bytes);
    std::string kept = header;
    for (const StoredEntry& entry : *entries) kept += Record(entry);
    if (writable && (!whole || kept != bytes)) ReplaceFile(path, kept);
  }
  close(fd);  // and with it the lock, after the replace
  return true;
}

bool AppendTurn(const std::string& path, const std::string& realDir,
                const std::vector<StoredEntry>& turn, std::string* error) {
  std::string text;
  for (const StoredEntry& entry : turn) text += Record(entry);
  return AppendLines(path, text, error, Header(realDir));
}

std::string StoredTimeText(int64_t seconds) {
  const auto time = static_cast<time_t>(seconds);
  tm local = {};
  char text[32] = {};
  if (localtime_r(&time, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) {
    return "?";
  }
  return text;
}

}  // namespace mimoza
