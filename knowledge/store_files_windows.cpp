// knowledge/store_files_windows.cpp: the store's file system calls on Windows: a lock file made
// with CREATE_NEW and deleted on close, files flushed with FlushFileBuffers, MoveFileEx written
// through. Names are the dictionary's own byte strings, so the ANSI calls take them.
// Leaves this file: the members of FileLock and NewFile, StatFile, ResolveLinks,
// ReplaceFileWith, MakeFolder, GiveFolder, ListFolder, RemoveFile, NowLocal.
// Built by the mingw presets; exercised by tests/app under Wine.
#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "knowledge/store_files.h"

namespace mimoza {
namespace {

// ErrorNumber: the errno value nearest the system's last error.
int ErrorNumber() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
intptr_t FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(handle);
}

}  // namespace

// ---- FileLock ---------------------------------------------------------------------------------

int FileLock::Take(const std::string& lockPath, int waitMilliseconds, std::string* holder) {
  Release();
  holder->clear();
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitMilliseconds);
  for (;;) {
    // Shared for reading alone: a second process can read the holder's id, never take it.
    const HANDLE file =
        CreateFileA(lockPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      char id[32];
      const int length = std::snprintf(id, sizeof id, "%lu", GetCurrentProcessId());
      DWORD written = 0;
      WriteFile(file, id, static_cast<DWORD>(length), &written, nullptr);
      path = lockPath;
      handle = FromHandle(file);
      return 0;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return ErrorNumber();
    // A file left by a system that went down while holding it can be deleted; a held one not.
    if (DeleteFileA(lockPath.c_str())) continue;
    if (GetTickCount64() >= deadline) break;
    Sleep(10);
  }
  const HANDLE held = CreateFileA(lockPath.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  char id[32] = {};
  DWORD got = 0;
  if (held != INVALID_HANDLE_VALUE) {
    ReadFile(held, id, sizeof id - 1, &got, nullptr);
    CloseHandle(held);
  }
  *holder = got > 0 ? std::string(id, got) : "?";
  return EWOULDBLOCK;
}

void FileLock::Release() {
  if (handle == kNoHandle) return;
  CloseHandle(AsHandle(handle));  // deletes the file
  handle = kNoHandle;
}

// ---- Facts and links --------------------------------------------------------------------------

int StatFile(const std::string& path, FileFacts* facts) {
  *facts = FileFacts{};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const int error = ErrorNumber();
    return error == ENOENT ? 0 : error;
  }
  facts->present = true;
  facts->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  facts->mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  return 0;
}

uint32_t NewFileMode() { return 0666; }

// The dictionary beside the program is never a link a user made on Windows: the name stays.
int ResolveLinks(const std::string& name, std::string* target) {
  *target = name;
  return 0;
}

// ---- NewFile ----------------------------------------------------------------------------------

NewFile::~NewFile() {
  if (handle != -1) CloseHandle(AsHandle(handle));
  if (!kept && !path.empty()) DeleteFileA(path.c_str());
}

int NewFile::CreateBeside(const std::string& dir, const char* stem) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%08lx%02x", GetTickCount(), attempt);
    const std::string name = dir + "\\." + stem + suffix;
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      path = name;
      handle = FromHandle(file);
      return 0;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return ErrorNumber();
  }
  return EEXIST;
}

int NewFile::CreateExclusive(const std::string& filePath, uint32_t mode) {
  const HANDLE file = CreateFileA(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrorNumber();
  path = filePath;
  handle = FromHandle(file);
  return SetMode(mode);
}

int NewFile::Write(const char* bytes, size_t count) {
  while (count > 0) {
    const DWORD chunk = count > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle), bytes, chunk, &written, nullptr)) return ErrorNumber();
    if (written == 0) return ENOSPC;
    bytes += written;
    count -= written;
  }
  return 0;
}

// Files have no owner to keep here: the new file is the user's, as the old one was.
int NewFile::KeepOwner(const FileFacts&, bool* ownerKept, bool* groupKept) {
  *ownerKept = *groupKept = true;
  return 0;
}

// Only the read-only attribute stands for a mode; it is set once the file is in place (a
// read-only file could not be written first), so it is left alone here.
int NewFile::SetMode(uint32_t) { return 0; }

int NewFile::Finish() {
  const HANDLE file = AsHandle(handle);
  handle = -1;
  int error = FlushFileBuffers(file) ? 0 : ErrorNumber();
  if (!CloseHandle(file) && error == 0) error = ErrorNumber();
  return error;
}

// ---- Replacing --------------------------------------------------------------------------------

int ReplaceFileWith(const std::string& fresh, const std::string& target, uint64_t,
                    uint64_t* carried) {
  *carried = 0;
  // A handle on the old file without delete sharing (an append in progress) makes the move fail,
  // and the old file stays; a few tries ride out a moment's append.
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (MoveFileExA(fresh.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION && GetLastError() != ERROR_ACCESS_DENIED) break;
    Sleep(50);
  }
  return ErrorNumber();
}

// ---- Folders ----------------------------------------------------------------------------------

int MakeFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return 0;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return ErrorNumber();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? 0
             : ENOTDIR;
}

// Folders have no owner to give here.
void GiveFolder(const std::string&, const FileFacts&) {}

int ListFolder(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : ErrorNumber();
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return 0;
}

int RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) ? 0 : ErrorNumber(); }

LocalTime NowLocal() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace mimoza
