// knowledge/store_files_posix.cpp: the store's file system calls on POSIX: flock, open with
// O_EXCL and O_NOFOLLOW, fchown and fchmod, fsync of files and folders, rename.
// Leaves this file: the members of FileLock and NewFile, StatFile, ResolveLinks,
// ReplaceFileWith, MakeFolder, GiveFolder, ListFolder, RemoveFile, NowLocal.
// Tested through knowledge/dictionary_store.h by tests/knowledge/dictionary_store_test.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "knowledge/store_files.h"

namespace mimoza {
namespace {

int Error() { return errno != 0 ? errno : EIO; }

// Folder: the folder part of a path ("." for a plain name).
std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int WriteAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t put = write(fd, bytes, count);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return Error();
    if (put == 0) return ENOSPC;
    bytes += put;
    count -= static_cast<size_t>(put);
  }
  return 0;
}

int FlushFolder(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Error();
  const int error = fsync(fd) == 0 ? 0 : Error();
  close(fd);
  return error;
}

}  // namespace

// ---- FileLock ---------------------------------------------------------------------------------

int FileLock::Take(const std::string& lockPath, int waitMilliseconds, std::string* holder) {
  Release();
  holder->clear();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  // The file held may have been removed by a holder finishing meanwhile; then the lock is on
  // nothing anyone else can reach, and the file is made again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return Error();
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      char pid[32] = {};
      const ssize_t got = pread(fd, pid, sizeof pid - 1, 0);
      close(fd);
      if (std::chrono::steady_clock::now() >= deadline) {
        *holder = got > 0 ? std::string(pid, static_cast<size_t>(got)) : "?";
        return EWOULDBLOCK;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    struct stat held {};
    struct stat named {};
    if (fstat(fd, &held) == 0 && lstat(lockPath.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      // The process id only helps the message of a second holder; it may fail to be written.
      const std::string id = std::to_string(getpid());
      const bool noted = ftruncate(fd, 0) == 0 &&
                         pwrite(fd, id.data(), id.size(), 0) == static_cast<ssize_t>(id.size());
      static_cast<void>(noted);
      path = lockPath;
      handle = fd;
      return 0;
    }
    close(fd);
  }
  return EAGAIN;
}

void FileLock::Release() {
  if (handle == kNoHandle) return;
  unlink(path.c_str());  // while still held: the next holder makes a fresh one
  close(static_cast<int>(handle));
  handle = kNoHandle;
}

// ---- Facts and links --------------------------------------------------------------------------

int StatFile(const std::string& path, FileFacts* facts) {
  *facts = FileFacts{};
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : Error();
  facts->present = true;
  facts->size = static_cast<uint64_t>(st.st_size);
  facts->mode = st.st_mode & 07777;
  facts->owner = st.st_uid;
  facts->group = st.st_gid;
  return 0;
}

uint32_t NewFileMode() {
  // Linux tells the umask without changing it (setting it to read it would race with another
  // thread making a file meanwhile); elsewhere it is read by setting it back at once.
  uint32_t mask = 0;
  bool known = false;
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[128];
    while (!known && std::fgets(line, sizeof line, status) != nullptr) {
      known = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
  }
  if (!known) {
    const mode_t old = umask(022);
    umask(old);
    mask = old;
  }
  return 0666 & ~mask;
}

int ResolveLinks(const std::string& name, std::string* target) {
  std::string at = name;
  for (int links = 0; links < 40; ++links) {
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = at;
      return 0;
    }
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t length = readlink(at.c_str(), link.data(), link.size());
    if (length < 0) return Error();
    link.resize(static_cast<size_t>(length));
    // A relative target is relative to the folder of the link.
    if (link[0] == '/' || Folder(at) == ".") {
      at = link;
    } else {
      at = Folder(at);
      at += '/';
      at += link;
    }
  }
  return ELOOP;
}

// ---- NewFile ----------------------------------------------------------------------------------

NewFile::~NewFile() {
  if (handle >= 0) close(static_cast<int>(handle));
  if (!kept && !path.empty()) unlink(path.c_str());
}

int NewFile::CreateBeside(const std::string& dir, const char* stem) {
  std::string name = dir + "/." + stem + "-XXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Error();
  path = name;
  handle = fd;
  return 0;
}

int NewFile::CreateExclusive(const std::string& filePath, uint32_t mode) {
  const int fd = open(filePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      static_cast<mode_t>(mode));
  if (fd < 0) return Error();
  path = filePath;
  handle = fd;
  // The mode asked for, whatever the umask.
  return fchmod(fd, static_cast<mode_t>(mode)) == 0 ? 0 : Error();
}

int NewFile::Write(const char* bytes, size_t count) {
  return WriteAll(static_cast<int>(handle), bytes, count);
}

int NewFile::KeepOwner(const FileFacts& facts, bool* ownerKept, bool* groupKept) {
  const int fd = static_cast<int>(handle);
  struct stat st {};
  if (fstat(fd, &st) != 0) return Error();
  *ownerKept = st.st_uid == facts.owner;
  *groupKept = st.st_gid == facts.group;
  if (*ownerKept && *groupKept) return 0;
  if (fchown(fd, facts.owner, facts.group) == 0) {
    *ownerKept = *groupKept = true;
    return 0;
  }
  const int error = Error();
  // The owner of a file may still give it a group of their own.
  if (!*groupKept && fchown(fd, static_cast<uid_t>(-1), facts.group) == 0) *groupKept = true;
  return error;
}

int NewFile::SetMode(uint32_t mode) {
  return fchmod(static_cast<int>(handle), static_cast<mode_t>(mode)) == 0 ? 0 : Error();
}

int NewFile::Finish() {
  const int fd = static_cast<int>(handle);
  handle = -1;
  int error = fsync(fd) == 0 ? 0 : Error();
  if (close(fd) != 0 && error == 0) error = Error();
  return error;
}

// ---- Replacing --------------------------------------------------------------------------------

int ReplaceFileWith(const std::string& fresh, const std::string& target, uint64_t readSize,
                    uint64_t* carried) {
  *carried = 0;
  // Kept open across the rename: an append that opened the old file before it lands there.
  const int old = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (rename(fresh.c_str(), target.c_str()) != 0) {
    const int error = Error();
    if (old >= 0) close(old);
    return error;
  }
  // The rename is done: a folder that cannot be flushed only delays its durability, so it is
  // not reported as a replacement that failed.
  static_cast<void>(FlushFolder(Folder(target)));
  struct stat st {};
  if (old >= 0 && fstat(old, &st) == 0 && static_cast<uint64_t>(st.st_size) > readSize) {
    std::string late(static_cast<size_t>(static_cast<uint64_t>(st.st_size) - readSize), '\0');
    const ssize_t got = pread(old, late.data(), late.size(), static_cast<off_t>(readSize));
    const int out = open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (got > 0 && out >= 0 && WriteAll(out, late.data(), static_cast<size_t>(got)) == 0 &&
        fsync(out) == 0) {
      *carried = static_cast<uint64_t>(got);
    }
    if (out >= 0) close(out);
  }
  if (old >= 0) close(old);
  return 0;
}

// ---- Folders ----------------------------------------------------------------------------------

int MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) return 0;
  if (errno != EEXIST) return Error();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Error();
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

void GiveFolder(const std::string& path, const FileFacts& facts) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || st.st_uid != geteuid()) return;
  if (st.st_uid == facts.owner && st.st_gid == facts.group) return;
  static_cast<void>(chown(path.c_str(), facts.owner, facts.group));
}

int ListFolder(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return Error();
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const int error = errno;
  closedir(dir);
  return error;
}

int RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : Error(); }

LocalTime NowLocal() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace mimoza
