// tests/app/dialog_driver.cpp: dialog_driver.exe COMMAND...: works a running mimoza.exe's dialog
// from outside, the way a user would, for scripts/test-windows (exit codes) and
// scripts/screenshot-windows. Commands, done in order:
//   cancel   clicks the Cancel button          esc      presses Esc
//   close    sends WM_CLOSE (the close box)     altf4    presses Alt+F4
//   type:T   types the text T into the input   enter    presses Enter; waits until the line is
//                                                         taken (the input box empties)
//   up       presses Up in the input box        f4       presses F4
//   restore  chooses 元に戻す in the system menu
//   yes, no  clicks Yes (No) in the box the dialog shows, waits until the dialog has acted on it
//   f3       presses F3 and waits for the "なぜ" window
//   closewhy closes the "なぜ" window and waits until it is gone
//   input:T  waits until the input box holds T  response:T waits until the response line
//                                                           holds T (anywhere in it)
// Every wait, the first for the dialog too, lasts at most MIMOZA_DRIVER_WAIT seconds (default
// 90: a loaded machine may take most of a minute to start Wine). Exits 0 once every command is
// done, 1 when a window does not show (or go) in time, 2 for an unknown command, 3 when the text
// of an input: or response: does not come.
#include <windows.h>

#include <cwchar>
#include <functional>
#include <string>

#include "resources/resource.h"

namespace {

// Poll: waits until done() holds, checking every 10 ms for at most waitMs. Returns whether it
// held.
DWORD waitMs = 90000;
bool Poll(const std::function<bool()>& done) {
  for (DWORD waited = 0;; waited += 10) {
    if (done()) return true;
    if (waited >= waitMs) return false;
    Sleep(10);
  }
}

void ReadWait() {
  wchar_t text[16] = {};
  DWORD length = GetEnvironmentVariableW(L"MIMOZA_DRIVER_WAIT", text, 16);
  if (length == 0 || length >= 16) return;
  const unsigned long seconds = std::wcstoul(text, nullptr, 10);
  if (seconds > 0 && seconds < 3600) waitMs = static_cast<DWORD>(seconds) * 1000;
}

// FindOwned: the visible top-level dialog owned by owner (null: none) titled title (null: any
// but the why window), once it shows.
HWND FindOwned(HWND owner, const wchar_t* title) {
  HWND found = nullptr;
  Poll([&] {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", title); w != nullptr;
         w = FindWindowExW(nullptr, w, L"#32770", title)) {
      wchar_t text[8] = {};
      GetWindowTextW(w, text, 8);
      if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == owner &&
          (title != nullptr || std::wcscmp(text, L"なぜ") != 0)) {
        found = w;
        return true;
      }
    }
    return false;
  });
  return found;
}

// Text: a control's text. GetWindowText would give another process's control only the text it
// was created with: the control is asked itself.
std::wstring Text(HWND control) {
  std::wstring text(static_cast<size_t>(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// Keys are posted to the focused control (OK, as the dialog opens), so they pass through the
// dialog's own modal loop and keyboard interface, as real key presses do.
void PressKey(HWND target, UINT message, WPARAM key, LPARAM flags) {
  PostMessageW(target, message, key, flags);
}

// Handled: waits until the dialog's thread has done what it was doing (a message sent is handled
// only when the thread asks for its next message).
bool Handled(HWND dialog) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, waitMs, &result) != 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) return 2;
  ReadWait();
  // The chat dialog has no owner and the program's default title.
  HWND dialog = FindOwned(nullptr, L"ミモザ");
  if (dialog == nullptr) return 1;
  HWND ok = GetDlgItem(dialog, IDOK);
  HWND input = GetDlgItem(dialog, IDC_INPUT);
  for (int i = 1; i < count; ++i) {
    const wchar_t* command = arguments[i];
    if (std::wcscmp(command, L"cancel") == 0) {
      SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    } else if (std::wcscmp(command, L"esc") == 0) {
      PressKey(ok, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    } else if (std::wcscmp(command, L"close") == 0) {
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    } else if (std::wcscmp(command, L"altf4") == 0) {
      // Context code (bit 29) set: F4 with Alt held, which the default handling turns into the
      // system menu's Close.
      PressKey(ok, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
    } else if (std::wcsncmp(command, L"type:", 5) == 0) {
      for (const wchar_t* c = command + 5; *c != L'\0'; ++c) {
        SendMessageW(input, WM_CHAR, *c, 1);
      }
    } else if (std::wcscmp(command, L"enter") == 0) {
      // Text typed next is sent, which would overtake the posted key: wait for the line to go.
      PressKey(input, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      if (!Poll([&] { return Text(input).empty(); })) return 1;
    } else if (std::wcscmp(command, L"up") == 0) {
      PressKey(input, WM_KEYDOWN, VK_UP, 0x01480001);
    } else if (std::wcscmp(command, L"f4") == 0) {
      PressKey(input, WM_KEYDOWN, VK_F4, 0x003E0001);
    } else if (std::wcscmp(command, L"restore") == 0) {
      PostMessageW(dialog, WM_SYSCOMMAND, IDM_RESTORE, 0);
    } else if (std::wcscmp(command, L"yes") == 0 || std::wcscmp(command, L"no") == 0) {
      HWND box = FindOwned(dialog, nullptr);
      if (box == nullptr) return 1;
      SendMessageW(GetDlgItem(box, command[0] == L'y' ? IDYES : IDNO), BM_CLICK, 0, 0);
      if (!Poll([&] { return !IsWindow(box); }) || !Handled(dialog)) return 1;
    } else if (std::wcscmp(command, L"f3") == 0) {
      PressKey(input, WM_KEYDOWN, VK_F3, 0x003D0001);
      if (FindOwned(dialog, L"なぜ") == nullptr) return 1;
    } else if (std::wcscmp(command, L"closewhy") == 0) {
      HWND why = FindOwned(dialog, L"なぜ");
      if (why == nullptr) return 1;
      PostMessageW(why, WM_CLOSE, 0, 0);
      if (!Poll([&] { return !IsWindow(why); })) return 1;
    } else if (std::wcsncmp(command, L"input:", 6) == 0) {
      if (!Poll([&] { return Text(input) == command + 6; })) return 3;
    } else if (std::wcsncmp(command, L"response:", 9) == 0) {
      HWND response = GetDlgItem(dialog, IDC_RESPONSE);
      if (!Poll([&] { return Text(response).find(command + 9) != std::wstring::npos; })) return 3;
    } else {
      return 2;
    }
  }
  return 0;
}
