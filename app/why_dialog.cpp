// app/why_dialog.cpp: the why window's text, focus and resizing.
// Leaves this file: WithCrLf, WhyDialog's operations. Tested by tests/app/chat_dialog_test.cpp.
#include "app/why_dialog.h"

#include "resources/resource.h"

namespace mimoza {

std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
    out += text[i];
  }
  return out;
}

WhyDialog::WhyDialog(const std::wstring& theText) : text(WithCrLf(theText)) {}

INT_PTR WhyDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MIMOZA));
      SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      HWND edit = GetDlgItem(hwnd, IDC_WHY_TEXT);
      // A record of many keys may pass the edit control's default limit of what can be typed.
      SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
      SetWindowTextW(edit, text.c_str());
      // The focus goes to the text without selecting it all, the caret at its start, so the
      // arrow and page keys scroll it at once.
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, 0, 0);
      return FALSE;  // the focus is set
    }
    case WM_SIZE:
      MoveWindow(GetDlgItem(hwnd, IDC_WHY_TEXT), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return TRUE;
    default:
      return WindowBase::DialogProc(hwnd, message, wParam, lParam);
  }
}

}  // namespace mimoza
