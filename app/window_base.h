// app/window_base.h: the window-object framework: an object per window, bound to its handle
// through the window map, and the one dialog procedure the platform calls.
// Leaves this file: WindowBase, objectBeingCreated, StaticDialogProc.
// Tested by tests/app/chat_dialog_test.cpp (binding and unbinding around a real dialog).
#pragma once

#include <windows.h>

namespace mimoza {

// The base of window objects. The six virtual operations keep this slot order; the destructor is
// deliberately not virtual (objects are never deleted through a base pointer).
class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;
  // Destroys the bound window, if there still is one.
  ~WindowBase();

  virtual void EmptyHook();                                             // slot 0
  virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam,  // slot 1
                             LPARAM lParam);
  virtual int TrueHook();                                               // slot 2
  virtual void OnClose();                                               // slot 3
  virtual void OnPaint(HDC context, PAINTSTRUCT& paint);                // slot 4
  virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam,  // slot 5
                             LPARAM lParam);

  // RunModal: runs the dialog template in instance's resources for this object. Returns the
  // code given to EndDialog, or -1 when the dialog cannot be created.
  INT_PTR RunModal(HINSTANCE instance, LPCWSTR dialogTemplate, HWND owner);

  HINSTANCE instance = nullptr;  // whose resources the window is built from; set by RunModal
  HWND window = nullptr;         // bound at the window's first message, null after WM_NCDESTROY
  HWND parent = nullptr;         // owner given to RunModal
};

// The object whose dialog RunModal is starting; the first message of a new dialog binds to it.
// It keeps its value after the binding.
extern WindowBase* objectBeingCreated;

// StaticDialogProc: the dialog procedure handed to the platform. Finds (or, at the first message,
// binds) the window's object and passes the message to its DialogProc; unbinds at WM_NCDESTROY.
// Returns FALSE for a message of a window it cannot bind.
INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace mimoza
