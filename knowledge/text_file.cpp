// knowledge/text_file.cpp: file bytes <-> text (CR LF folding, 0x1A dropped, one-write appends).
// Leaves this file: TextBuffer, RawFile, ReadTextFile, FoldTextLineEnds, AppendTextFile.
// Tested by tests/knowledge/text_file_test.cpp, appends also by dictionary_test.cpp there.
#include "knowledge/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>  // SEEK_CUR, which the MinGW headers do not bring in otherwise
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mimoza {
namespace {

// The few file calls that differ between the POSIX and Windows C libraries.
#ifdef _WIN32
using FileStat = struct _stat64;
int OpenForReading(const char* name) { return _open(name, _O_RDONLY | _O_BINARY); }
int StatOpenFile(int fd, FileStat* st) { return _fstat64(fd, st); }
// Windows reads take an unsigned int count; callers pass at most kMaxChunk. The C library has
// no positioned read: seek, then read (one thread reads a file at a time).
long ReadSomeAt(int fd, uint64_t offset, char* into, size_t count) {
  if (_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0) return -1;
  return _read(fd, into, static_cast<unsigned>(count));
}
void CloseFile(int fd) { _close(fd); }

// AppendBytes: one write at the end of the file, flushed; cut back when it falls short.
// The C library's append mode seeks to the end and then writes, so two processes could both
// write at the same old end. A handle with append access alone makes the system place every
// write at the end as a whole instead.
bool AppendBytes(const char* name, const char* bytes, size_t count) {
  const HANDLE file =
      CreateFileA(name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) &&
                  written == count && FlushFileBuffers(file);
  LARGE_INTEGER size{};
  if (!ok && written > 0 && GetFileSizeEx(file, &size)) {
    // Append access cannot shorten the file; a second handle cuts our bytes off the end.
    const HANDLE cut = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (cut != INVALID_HANDLE_VALUE) {
      LARGE_INTEGER to{};
      to.QuadPart = size.QuadPart - written;
      if (SetFilePointerEx(cut, to, nullptr, FILE_BEGIN)) SetEndOfFile(cut);
      CloseHandle(cut);
    }
  }
  CloseHandle(file);
  errno = ok ? 0 : EIO;  // the dialog reports no reason; the terminal's POSIX side does
  return ok;
}
#else
using FileStat = struct stat;
// O_NONBLOCK keeps a FIFO standing in for the file from blocking the open; it changes nothing for
// the regular files that are read afterwards.
int OpenForReading(const char* name) { return open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
int StatOpenFile(int fd, FileStat* st) { return fstat(fd, st); }
long ReadSomeAt(int fd, uint64_t offset, char* into, size_t count) {
  return static_cast<long>(pread(fd, into, count, static_cast<off_t>(offset)));
}
void CloseFile(int fd) { close(fd); }

// AppendBytes: one write at the end of the file, flushed; cut back when it falls short.
// In append mode the system places the write at the end as a whole, so two processes appending
// at once cannot interleave inside it.
bool AppendBytes(const char* name, const char* bytes, size_t count) {
  // O_NONBLOCK keeps a FIFO standing in for the file from blocking the open until a reader
  // comes; anything but a regular file is refused.
  const int fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  FileStat st{};
  if (fstat(fd, &st) != 0 || (st.st_mode & S_IFMT) != S_IFREG) {
    close(fd);
    errno = EINVAL;
    return false;
  }
  // One write carries the whole entry; only when the system takes part of it (no room left, a
  // file-size limit) is the rest tried, which tells why it failed.
  size_t written = 0;
  int error = 0;
  while (written < count && error == 0) {
    const ssize_t n = write(fd, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      error = n == 0 ? ENOSPC : errno;
    }
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  const bool ok = error == 0;
  if (!ok && written > 0) {
    // A short write (disk full, file-size limit) or a failed flush: the offset now stands just
    // after our bytes, so cutting back to where they began removes exactly them and leaves no
    // partial entry for every later read to trip over.
    // Should the cut fail too, nothing more can be done; the result already says false.
    const off_t after = lseek(fd, 0, SEEK_CUR);
    const auto taken = static_cast<off_t>(written);
    const bool cut = after >= taken && ftruncate(fd, after - taken) == 0;
    static_cast<void>(cut);
  }
  close(fd);
  errno = error;
  return ok;
}
#endif

// Reads go in chunks the 32-bit Windows calls can take.
constexpr size_t kMaxChunk = size_t{1} << 30;

// A file longer than this cannot be held in one buffer of the address space (a 32-bit process
// cannot have half its space in one block anyway); it yields no text rather than a wrapped size.
constexpr uint64_t kMaxTextBytes = static_cast<uint64_t>(PTRDIFF_MAX) - 1;

constexpr char kTextEnd = 0x1A;

}  // namespace

TextBuffer::~TextBuffer() { std::free(bytes); }

size_t FoldTextLineEnds(char* bytes, size_t length) {
  // A 0x1A (the end mark old editors leave) is dropped wherever it stands, so that nothing
  // after it is lost; it goes before the line ends are folded, so "\r\x1A\n" is a line end.
  if (std::memchr(bytes, kTextEnd, length) != nullptr) {
    size_t kept = 0;
    for (size_t at = 0; at < length; ++at) {
      if (bytes[at] != kTextEnd) bytes[kept++] = bytes[at];
    }
    length = kept;
  }
  // Runs between CRs move down in one piece each; every text line ends in a CR, so this is a
  // handful of block moves per line instead of a test per byte.
  size_t kept = 0;
  size_t at = 0;
  while (at < length) {
    const void* cr = std::memchr(bytes + at, '\r', length - at);
    const size_t runEnd =
        cr != nullptr ? static_cast<size_t>(static_cast<const char*>(cr) - bytes) : length;
    if (kept != at) std::memmove(bytes + kept, bytes + at, runEnd - at);
    kept += runEnd - at;
    at = runEnd;
    if (at == length) break;
    // A CR: dropped before an LF (which starts the next run), kept when alone.
    if (at + 1 < length && bytes[at + 1] == '\n') {
      ++at;
      continue;
    }
    bytes[kept++] = '\r';
    ++at;
  }
  return kept;
}

RawFile::~RawFile() {
  if (fd >= 0) CloseFile(fd);
}

bool RawFile::Open(const char* fileName) {
  if (fd >= 0) CloseFile(fd);
  fd = -1;
  size = 0;
  if (fileName == nullptr) return false;
  const int opened = OpenForReading(fileName);
  if (opened < 0) return false;
  FileStat st{};
  if (StatOpenFile(opened, &st) != 0 || (st.st_mode & S_IFMT) != S_IFREG || st.st_size < 0 ||
      static_cast<uint64_t>(st.st_size) > kMaxTextBytes) {
    CloseFile(opened);
    errno = EINVAL;  // there, but no regular file that can be read whole
    return false;
  }
  fd = opened;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int64_t RawFile::ReadAt(uint64_t offset, char* into, size_t count) {
  if (fd < 0) return -1;
  size_t got = 0;
  while (got < count) {
    const size_t want = count - got < kMaxChunk ? count - got : kMaxChunk;
    const long n = ReadSomeAt(fd, offset + got, into + got, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

bool ReadTextFile(const char* fileName, TextBuffer* text) {
  std::free(text->bytes);
  text->bytes = nullptr;
  text->length = 0;
  RawFile file;
  if (!file.Open(fileName)) return false;
  const auto size = static_cast<size_t>(file.Size());
  char* bytes = static_cast<char*>(std::malloc(size + 1));
  if (bytes == nullptr) return false;
  // The file may shrink or grow while it is read (another process appending): the text is what
  // the reads deliver, up to the length found at the start.
  const int64_t got = file.ReadAt(0, bytes, size);
  if (got < 0) {
    std::free(bytes);
    return false;
  }
  text->length = FoldTextLineEnds(bytes, static_cast<size_t>(got));
  bytes[text->length] = '\0';
  text->bytes = bytes;
  return true;
}

bool AppendTextFile(const char* fileName, const char* text, size_t length) {
  if (fileName == nullptr || text == nullptr) return false;
  size_t lineFeeds = 0;
  for (size_t i = 0; i < length; ++i) lineFeeds += text[i] == '\n';
  if (length > kMaxChunk - lineFeeds) return false;  // one write must carry the whole text
  const size_t stored = length + lineFeeds;
  char* bytes = static_cast<char*>(std::malloc(stored + 1));
  if (bytes == nullptr) {
    errno = ENOMEM;
    return false;
  }
  size_t at = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') bytes[at++] = '\r';
    bytes[at++] = text[i];
  }
  const bool ok = AppendBytes(fileName, bytes, stored);
  const int error = errno;
  std::free(bytes);
  errno = error;
  return ok;
}

}  // namespace mimoza
