// app/chat_dialog.cpp: ChatDialog's message routing, submit steps, keys, system menu items and
// host operations, and the message filter that shows it keys before the dialog manager does.
// Leaves this file: ChatDialog's operations. FilterKeys and kPreviewKey are private.
// Tested by tests/app/chat_dialog_test.cpp and tests/app/program_test.cpp.
#include "app/chat_dialog.h"

#include "app/why_dialog.h"
#include "app/wide_text.h"
#include "app/window_map.h"
#include "conversation/messages.h"
#include "resources/resource.h"

namespace mimoza {

namespace {

// Sent by FilterKeys to a dialog of ours: wParam is the virtual key, lParam the window it was
// pressed in. The dialog's result (DWLP_MSGRESULT) is nonzero when it acted on the key.
constexpr UINT kPreviewKey = WM_APP + 0x40;

// FilterKeys: the thread's message filter. The modal loop of a dialog hands it each message
// before the dialog manager, which would turn Esc into IDCANCEL, the Cancel button's own
// command, and would pass F3 and F4 to a control that ignores them. A key pressed in a dialog of
// ours goes to that dialog first, and a key it acts on goes no further.
LRESULT CALLBACK FilterKeys(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX) {
    const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
    HWND root = msg.message == WM_KEYDOWN ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && windowMap.Find(root) != nullptr &&
        SendMessageW(root, kPreviewKey, msg.wParam, reinterpret_cast<LPARAM>(msg.hwnd)) != 0) {
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// WindowText: the whole text of a window.
std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

ChatDialog::ChatDialog() : conversation(*this), lastTurn(conversation) {}

// Routing table: one case per message; the notification code is looked at only for the
// response line, whose clicks (code 0) show the last response in full.
INT_PTR ChatDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MIMOZA));
      SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      AddMenuItems(hwnd);
      // Without the filter, F3, F4, Up and Down do nothing and Esc closes as it always did.
      keyFilter = SetWindowsHookExW(WH_MSGFILTER, FilterKeys, nullptr, GetCurrentThreadId());
      conversation.OpenConversation();
      return TRUE;
    }
    case WM_DESTROY:
      if (keyFilter != nullptr) UnhookWindowsHookEx(keyFilter);
      keyFilter = nullptr;
      return TRUE;
    case WM_CLOSE:
      // Cancel, Esc with no dialogue pending, the close box and Alt+F4 all end here, always with
      // code 0.
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
    case WM_SYSCOMMAND:
      // The system keeps the low four bits of the command for itself.
      return OnMenuItem(hwnd, wParam & 0xFFF0) ? TRUE : FALSE;
    case kPreviewKey:
      // A dialog answers through DWLP_MSGRESULT; FilterKeys reads it as the SendMessage result.
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT,
                        PreviewKey(hwnd, reinterpret_cast<HWND>(lParam), wParam) ? 1 : 0);
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
  // Up gives back the line as it was typed, even where the engine got a "?" or a shorter line.
  history.Remember(std::wstring(typed, units));
  // The box is cleared before the engine runs, so whatever the engine puts there stays.
  SetDlgItemTextW(hwnd, IDC_INPUT, L"");
  conversation.SubmitLine(line);
}

bool ChatDialog::PreviewKey(HWND hwnd, HWND target, WPARAM key) {
  // While a box or the why window of this dialog is open, the dialog is disabled: a key that
  // reaches it then was not pressed in it.
  if (!IsWindowEnabled(hwnd)) return false;
  switch (key) {
    case VK_ESCAPE:
      // With no dialogue to drop, Esc goes on to the dialog manager and closes the window.
      if (!conversation.CancelDialogue()) return false;
      SetResponseLine(Compose(LanguageJapanese, MsgDialogueDropped).c_str());
      return true;
    case VK_F3:
      ShowWhy(hwnd);
      return true;
    case VK_F4:
      TakeBack(hwnd, true);
      return true;
    case VK_UP:
    case VK_DOWN:
      if (target != GetDlgItem(hwnd, IDC_INPUT)) return false;
      RecallLine(target, key == VK_UP);
      return true;
    default:
      return false;
  }
}

bool ChatDialog::OnMenuItem(HWND hwnd, WPARAM item) {
  // As for keys: a disabled window's menu cannot be opened, so the command is not the user's.
  if (!IsWindowEnabled(hwnd)) return false;
  switch (item) {
    case IDM_WHY:
      ShowWhy(hwnd);
      return true;
    case IDM_FORGET:
      TakeBack(hwnd, true);
      return true;
    case IDM_RESTORE:
      TakeBack(hwnd, false);
      return true;
    default:
      return false;
  }
}

// The items go below the system's own, where a mouse user finds them without the template
// changing.
void ChatDialog::AddMenuItems(HWND hwnd) {
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  const struct {
    UINT item;
    UINT text;
  } kItems[] = {
      {IDM_WHY, IDS_WHY_ITEM}, {IDM_FORGET, IDS_FORGET_ITEM}, {IDM_RESTORE, IDS_RESTORE_ITEM}};
  for (const auto& item : kItems) {
    AppendMenuW(menu, MF_STRING, item.item, LoadText(item.text).c_str());
  }
}

void ChatDialog::RecallLine(HWND input, bool older) {
  std::wstring line;
  if (!(older ? history.Older(WindowText(input), &line) : history.Newer(&line))) return;
  SetWindowTextW(input, line.c_str());
  // The caret goes to the end of the line, where a shell leaves it.
  SendMessageW(input, EM_SETSEL, line.size(), static_cast<LPARAM>(line.size()));
}

void ChatDialog::ShowWhy(HWND hwnd) {
  WhyDialog why(WideFromCp932(lastTurn.WhyText()));
  why.RunModal(instance, MAKEINTRESOURCEW(IDD_WHY), hwnd);
}

void ChatDialog::TakeBack(HWND hwnd, bool forget) {
  const std::wstring caption = LoadText(forget ? IDS_FORGET_CAPTION : IDS_RESTORE_CAPTION);
  // No is the default button: Enter, pressed out of habit, changes nothing.
  const Confirm confirm = [&](const std::string& question) {
    return MessageBoxW(hwnd, WideFromCp932(question).c_str(), caption.c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
  };
  const std::string outcome = forget ? lastTurn.Forget(confirm) : lastTurn.Restore(confirm);
  // The engine reads Dictionary.txt afresh on every turn, so the next line already sees the
  // change; the response line says what it was (No leaves the line as it was).
  if (!outcome.empty()) SetDlgItemTextW(hwnd, IDC_RESPONSE, WideFromCp932(outcome).c_str());
}

std::wstring ChatDialog::LoadText(UINT id) const {
  wchar_t text[64] = {};
  int length = LoadStringW(instance, id, text, 64);
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
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
