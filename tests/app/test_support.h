// tests/app/test_support.h: helpers shared by the Windows test programs: scratch directories,
// whole-file reads and writes, code page 932 literals, and finding and reading windows the way
// a user's tools would (through messages, from another thread or process).
// Leaves this file: the helpers below. Used by tests/app/*_test.cpp.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace mimoza::testing_support {

inline constexpr DWORD kWaitMilliseconds = 10000;

// Cp932: the code page 932 bytes of a UTF-16 literal, converted by the platform.
inline std::string Cp932(const std::wstring& text) {
  int n = WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

// MakeScratchDirectory: a new empty directory under the temporary directory, ending in "\".
inline std::wstring MakeScratchDirectory(const std::wstring& name) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  for (unsigned attempt = 0;; ++attempt) {
    std::wstring path = std::wstring(temp) + L"mimoza-" + name + L"-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
    if (CreateDirectoryW(path.c_str(), nullptr)) return path + L"\\";
  }
}

// RemoveTree: deletes a directory and everything below it; a path ending in "\" is accepted.
inline void RemoveTree(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

// ReadBytes: the whole file, or an empty string when it cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// WaitUntil: polls condition until it holds or the wait runs out; returns its last value.
inline bool WaitUntil(const std::function<bool()>& condition,
                      DWORD milliseconds = kWaitMilliseconds) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > milliseconds) return false;
    Sleep(10);
  }
  return true;
}

inline std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct DialogQuery {
  DWORD processId;
  HWND owner;
  bool visibleOnly;
  std::vector<HWND> found;
};

inline BOOL CALLBACK CollectDialog(HWND window, LPARAM data) {
  auto& query = *reinterpret_cast<DialogQuery*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if ((query.processId == 0 || process == query.processId) &&
      (!query.visibleOnly || IsWindowVisible(window)) && ClassName(window) == L"#32770" &&
      GetWindow(window, GW_OWNER) == query.owner) {
    query.found.push_back(window);
  }
  return TRUE;
}

// TopLevelDialogs: the dialog-class windows owned by owner, of one thread, or (thread 0) of the
// process processId; only the visible ones unless visibleOnly is false (a dialog stays hidden
// until its modal loop first idles).
inline std::vector<HWND> TopLevelDialogs(DWORD thread, DWORD processId, HWND owner,
                                         bool visibleOnly = true) {
  DialogQuery query{processId, owner, visibleOnly, {}};
  if (thread != 0) {
    EnumThreadWindows(thread, CollectDialog, reinterpret_cast<LPARAM>(&query));
  } else {
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&query));
  }
  return query.found;
}

// WaitForDialog: the first visible dialog of the thread or process owned by owner, or null
// when none appears in time.
inline HWND WaitForDialog(DWORD thread, DWORD processId, HWND owner) {
  HWND found = nullptr;
  WaitUntil([&] {
    std::vector<HWND> dialogs = TopLevelDialogs(thread, processId, owner);
    found = dialogs.empty() ? nullptr : dialogs.front();
    return found != nullptr;
  });
  return found;
}

// Text: a window's text through WM_GETTEXT, which reaches controls of other threads and
// processes alike.
inline std::wstring Text(HWND window) {
  std::vector<wchar_t> buffer(40000, L'\0');
  LRESULT n =
      SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data(), static_cast<size_t>(n));
}

inline void SetText(HWND window, const std::wstring& text) {
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// StaticTexts: the non-empty texts of a window's static controls, in child order (a message
// box's message is one of them).
inline std::vector<std::wstring> StaticTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiW(ClassName(child).c_str(), L"Static") != 0) continue;
    std::wstring text = Text(child);
    if (!text.empty()) texts.push_back(text);
  }
  return texts;
}

}  // namespace mimoza::testing_support
