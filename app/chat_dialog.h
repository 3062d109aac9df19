// app/chat_dialog.h: the chat window: dialog messages -> the conversation engine, and the
// engine's host operations -> the dialog's controls. Keys the dialog manager would take (Esc)
// or ignore (F3, F4, Up and Down in the input box) are seen first, through a message filter.
// Leaves this file: ChatDialog. Tested by tests/app/chat_dialog_test.cpp against the real
// template, and end to end by tests/app/program_test.cpp.
#pragma once

#include <windows.h>

#include <string>

#include "app/input_history.h"
#include "app/last_turn.h"
#include "app/window_base.h"
#include "conversation/conversation.h"

namespace mimoza {

// Owns the platform-neutral engine and is its host. WindowBase comes first, so the window
// object's table of six virtual operations stays the primary one.
class ChatDialog : public WindowBase, public ConversationHost {
 public:
  ChatDialog();

  INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  void SetTitle(const char* text) override;
  void SetResponseLine(const char* text) override;
  void SetInputText(const char* text) override;
  bool IsControlKeyDown() override;
  void ShowInfoBox(const char* caption, const char* text) override;

  const Conversation& Engine() const { return conversation; }

 private:
  // SubmitInput: the OK button's steps: read the input box, ignore an empty line, clear the box,
  // then hand the line to the engine. The line joins the history Up walks.
  void SubmitInput(HWND hwnd);
  // PreviewKey: acts on a key pressed in target, a control of the dialog or the dialog itself,
  // before the dialog manager sees it. Returns whether it did; the dialog manager then does not.
  bool PreviewKey(HWND hwnd, HWND target, WPARAM key);
  // OnMenuItem: the items this dialog adds to its system menu. False for the system's own.
  bool OnMenuItem(HWND hwnd, WPARAM item);
  void AddMenuItems(HWND hwnd);
  // RecallLine: puts the older (or newer) line of the history in the input box.
  void RecallLine(HWND input, bool older);
  void ShowWhy(HWND hwnd);
  // TakeBack: forget (or restore), with its question in a Yes/No box captioned with its name,
  // and what it did in the response line.
  void TakeBack(HWND hwnd, bool forget);
  std::wstring LoadText(UINT id) const;

  Conversation conversation;
  LastTurn lastTurn;          // the core's record of the last turn, forget and restore
  InputHistory history;       // the lines submitted this run
  HHOOK keyFilter = nullptr;  // the thread's message filter, while the window lives
};

}  // namespace mimoza
