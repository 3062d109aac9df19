// app/chat_dialog.cpp: ChatDialog's message routing, submit steps and host operations.
// Leaves this file: ChatDialog's operations. Tested by tests/app/chat_dialog_test.cpp and
// tests/app/program_test.cpp.
#include "app/chat_dialog.h"

#include "app/wide_text.h"
#include "resources/resource.h"

namespace mimoza {

ChatDialog::ChatDialog() : conversation(*this) {}

// Routing table: one case per message; the notification code is looked at only for the
// response line, whose clicks (code 0) show the last response in full.
INT_PTR ChatDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MIMOZA));
      SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      conversation.OpenConversation();
      return TRUE;
    }
    case WM_DESTROY:
      return TRUE;
    case WM_CLOSE:
      // Cancel, Esc, the close box and Alt+F4 all end here, always with code 0.
      EndDialog(hwnd, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          SubmitInput(hwnd);
          break;
        case IDCANCEL:
          PostMessageW(hwnd, WM_CLOSE, 0, 0);
          break;
        case IDC_RESPONSE:
          if (HIWORD(wParam) == STN_CLICKED) conversation.ShowLastResponse();
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void ChatDialog::SubmitInput(HWND hwnd) {
  // One unit more than the line's byte limit: every unit gives at least one byte, so this is
  // always enough text to fill the line and to see where it must be cut.
  wchar_t typed[kTextBufferSize + 1] = {};
  UINT units = GetDlgItemTextW(hwnd, IDC_INPUT, typed, kTextBufferSize + 1);
  char line[kTextBufferSize] = {};
  if (Cp932FromWide(typed, units, line, kMaxLineBytes) == 0) return;
  // The box is cleared before the engine runs, so whatever the engine puts there stays.
  SetDlgItemTextW(hwnd, IDC_INPUT, L"");
  conversation.SubmitLine(line);
}

void ChatDialog::SetTitle(const char* text) {
  wchar_t wide[kWideTextSize];
  WideFromCp932(text, wide);
  SetWindowTextW(window, wide);
}

void ChatDialog::SetResponseLine(const char* text) {
  wchar_t wide[kWideTextSize];
  WideFromCp932(text, wide);
  SetDlgItemTextW(window, IDC_RESPONSE, wide);
}

void ChatDialog::SetInputText(const char* text) {
  wchar_t wide[kWideTextSize];
  WideFromCp932(text, wide);
  SetDlgItemTextW(window, IDC_INPUT, wide);
}

// The state as of the message being handled, not the live keyboard: Ctrl counts when it was
// down as the user pressed OK or Enter.
bool ChatDialog::IsControlKeyDown() { return (GetKeyState(VK_CONTROL) & 0x80) != 0; }

void ChatDialog::ShowInfoBox(const char* caption, const char* text) {
  wchar_t wideCaption[kWideTextSize];
  wchar_t wideText[kWideTextSize];
  WideFromCp932(caption, wideCaption);
  WideFromCp932(text, wideText);
  MessageBoxW(window, wideText, wideCaption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace mimoza
