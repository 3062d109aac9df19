// tests/app/dialog_driver.cpp: dialog_driver.exe COMMAND...: works a running mimoza.exe's dialog
// from outside, the way a user would, for scripts/test-windows (exit codes) and
// scripts/screenshot-windows. Commands, done in order:
//   cancel   clicks the Cancel button          esc      presses Esc
//   close    sends WM_CLOSE (the close box)     altf4    presses Alt+F4
//   type:T   types the text T into the input   enter    presses Enter
//   f3       presses F3 and waits for the "なぜ" window
//   closewhy closes the "なぜ" window and waits until it is gone
// Exits 0 once every command is done, 1 when no dialog (or no "なぜ" window) shows, 2 for an
// unknown command.
#include <windows.h>

#include <cwchar>

namespace {

// The first visible top-level dialog with the program's default title.
HWND FindChatDialog() {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    HWND dialog = FindWindowW(L"#32770", L"ミモザ");
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    Sleep(10);
  }
  return nullptr;
}

// The why window of the chat dialog, once it shows.
HWND FindWhyWindow(HWND dialog) {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    HWND why = FindWindowW(L"#32770", L"なぜ");
    if (why != nullptr && IsWindowVisible(why) && GetWindow(why, GW_OWNER) == dialog) return why;
    Sleep(10);
  }
  return nullptr;
}

// Keys are posted to the focused control (OK, as the dialog opens), so they pass through the
// dialog's own modal loop and keyboard interface, as real key presses do.
void PressKey(HWND target, UINT message, WPARAM key, LPARAM flags) {
  PostMessageW(target, message, key, flags);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) return 2;
  HWND dialog = FindChatDialog();
  if (dialog == nullptr) return 1;
  HWND ok = GetDlgItem(dialog, IDOK);
  HWND input = GetDlgItem(dialog, 1000);
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
      PressKey(input, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    } else if (std::wcscmp(command, L"f3") == 0) {
      PressKey(input, WM_KEYDOWN, VK_F3, 0x003D0001);
      if (FindWhyWindow(dialog) == nullptr) return 1;
    } else if (std::wcscmp(command, L"closewhy") == 0) {
      HWND why = FindWhyWindow(dialog);
      if (why == nullptr) return 1;
      PostMessageW(why, WM_CLOSE, 0, 0);
      for (int attempt = 0; attempt < 3000 && IsWindow(why); ++attempt) Sleep(10);
    } else {
      return 2;
    }
  }
  return 0;
}
