// tests/app/close_dialog.cpp: close_dialog.exe WAY: waits for a running mimoza.exe's dialog and
// closes it the way a user would: "cancel" clicks the Cancel button, "esc" presses Esc, "close"
// sends WM_CLOSE, "altf4" presses Alt+F4. scripts/test-windows starts mimoza.exe under Wine and
// checks its exit code. Exits 0 once it has acted, 2 for an unknown WAY, 1 when no dialog shows.
#include <windows.h>

#include <cwchar>

namespace {

// The first visible top-level dialog with the program's default title.
HWND FindChatDialog() {
  for (int attempt = 0; attempt < 2000; ++attempt) {
    HWND dialog = FindWindowW(L"#32770", L"ミモザ");
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    Sleep(10);
  }
  return nullptr;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 2) return 2;
  const wchar_t* way = arguments[1];
  HWND dialog = FindChatDialog();
  if (dialog == nullptr) return 1;
  // Posted, not sent: the input messages go through the dialog's own modal loop and its
  // keyboard interface, as real key presses do.
  if (std::wcscmp(way, L"cancel") == 0) {
    SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  } else if (std::wcscmp(way, L"esc") == 0) {
    PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  } else if (std::wcscmp(way, L"close") == 0) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  } else if (std::wcscmp(way, L"altf4") == 0) {
    // Context code (bit 29) set: F4 with Alt held, which the default handling turns into the
    // system menu's Close.
    PostMessageW(GetDlgItem(dialog, IDOK), WM_SYSKEYDOWN, VK_F4, 0x203E0001);
  } else {
    return 2;
  }
  return 0;
}
