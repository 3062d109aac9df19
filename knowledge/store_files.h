// knowledge/store_files.h: the file system calls that replacing Dictionary.txt, its backups and
// its locks need, one small function or class each, with one POSIX implementation
// (knowledge/store_files_posix.cpp) and one Windows implementation
// (knowledge/store_files_windows.cpp); CMake builds the one of its platform. Every failure is a
// result: an errno value (the Windows file maps its system's errors to the nearest one).
// Leaves this file: FileLock, FileFacts, StatFile, NewFileMode, ResolveLinks, NewFile,
// ReplaceFileWith, MakeFolder, GiveFolder, ListFolder, RemoveFile, LocalTime, NowLocal. Private to
// mimoza_knowledge; tested through knowledge/dictionary_store.h by
// tests/knowledge/dictionary_store_test.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mimoza {

// FileLock: an exclusive lock held through a file of its own. POSIX: the file, made when
// missing, held with flock and removed while still held on release, so that a crashed holder
// leaves a file that locks nothing. Windows: a file made with CREATE_NEW that the system
// deletes when its handle closes, the process's end included.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Take: holds the lock file at path, waiting up to waitMilliseconds for another holder (0: not
  // at all). Returns 0 when held; EWOULDBLOCK when another process holds it (*holder: the
  // process id it wrote, or "?"); another errno value when the file cannot be made.
  int Take(const std::string& path, int waitMilliseconds, std::string* holder);
  // Release: lets go of a held lock; nothing when none is held.
  void Release();
  bool Held() const { return handle != kNoHandle; }

 private:
  static constexpr intptr_t kNoHandle = -1;
  std::string path;
  intptr_t handle = kNoHandle;
};

// What a replacement keeps of the file it replaces.
struct FileFacts {
  bool present = false;  // false: there is no file (the other fields mean nothing)
  uint64_t size = 0;
  uint32_t mode = 0;   // permission bits (07777); Windows: 0444 for a read-only file, else 0666
  uint32_t owner = 0;  // user and group ids; 0 on Windows
  uint32_t group = 0;
};

// StatFile: the facts of the file at path, following links. A missing file is no failure
// (present false); another reason the file cannot be examined is returned.
int StatFile(const std::string& path, FileFacts* facts);

// NewFileMode: the mode a file made by an ordinary open gets here (0666 less the umask).
uint32_t NewFileMode();

// ResolveLinks: the path a name stands for once every symbolic link in its last part is followed,
// a dangling link's target included, so that a new file renamed there replaces the file and the
// link stays a link. A name that is no link is returned as it is. ELOOP past 40 links.
int ResolveLinks(const std::string& name, std::string* target);

// NewFile: a file being made, removed when the object goes unless Finish and Keep were called.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile();

  // CreateBeside: a new file with a unique name in dir (".stem-" and random letters), readable
  // and writable by its owner only until SetMode.
  int CreateBeside(const std::string& dir, const char* stem);
  // CreateExclusive: a new file at path, which must not exist (a link there is refused).
  int CreateExclusive(const std::string& path, uint32_t mode);
  int Write(const char* bytes, size_t count);
  // KeepOwner: gives the file the owner and group of facts; EPERM when this process may not give
  // both, *ownerKept and *groupKept then say which it could (the group alone may be given).
  int KeepOwner(const FileFacts& facts, bool* ownerKept, bool* groupKept);
  int SetMode(uint32_t mode);
  // Finish: flushes the bytes to the disk and closes the file.
  int Finish();
  // Keep: the file stays when the object goes (it was renamed into place, or is a backup).
  void Keep() { kept = true; }
  const std::string& Path() const { return path; }

 private:
  std::string path;
  intptr_t handle = -1;
  bool kept = false;
};

// ReplaceFileWith: renames the finished file fresh over target (in the same folder) and flushes
// the folder. POSIX: bytes appended to the old file after the first readSize (by a process that
// opened it before the rename) are appended to the new one; *carried says how many. Windows: the
// move is written through; nothing is carried. On failure target is as it was.
int ReplaceFileWith(const std::string& fresh, const std::string& target, uint64_t readSize,
                    uint64_t* carried);

// MakeFolder: makes a folder readable by its owner only (POSIX 0700); 0 also when it is there.
int MakeFolder(const std::string& path);
// GiveFolder: a folder this process made for the files of another user (a dictionary edited
// with sudo) becomes theirs, so that their own Mimoza can go on using it. Best effort.
void GiveFolder(const std::string& path, const FileFacts& facts);
// ListFolder: the names in a folder (not "." and ".."), in no particular order.
int ListFolder(const std::string& path, std::vector<std::string>* names);
int RemoveFile(const std::string& path);

// A moment on the local clock.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
LocalTime NowLocal();

}  // namespace mimoza
