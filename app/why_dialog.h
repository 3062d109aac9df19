// app/why_dialog.h: the "なぜ" window: a text -> a modal, resizable window that shows it read-only
// with scroll bars, above the chat dialog.
// Leaves this file: WhyDialog, WithCrLf. Tested by tests/app/chat_dialog_test.cpp against the
// real template.
#pragma once

#include <windows.h>

#include <string>

#include "app/window_base.h"

namespace mimoza {

// WithCrLf: text with every line end as CR LF, which a multi-line edit control needs to break a
// line there.
std::wstring WithCrLf(const std::wstring& text);

class WhyDialog : public WindowBase {
 public:
  explicit WhyDialog(const std::wstring& text);

  // Closing (the close box, Esc, Alt+F4) is the base's; this adds the text and the resizing.
  INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring text;  // with CR LF line ends
};

}  // namespace mimoza
