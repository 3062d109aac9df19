// app/window_base.cpp: WindowBase's default handling, RunModal and the static dialog procedure.
// Leaves this file: WindowBase's operations, objectBeingCreated, StaticDialogProc.
// Tested by tests/app/chat_dialog_test.cpp.
#include "app/window_base.h"

#include "app/window_map.h"

namespace mimoza {

WindowBase* objectBeingCreated = nullptr;

WindowBase::~WindowBase() {
  if (window != nullptr) DestroyWindow(window);
}

void WindowBase::EmptyHook() {}

// The handling of an ordinary (non-dialog) window. The program creates none, but a derived
// window class gets closing, painting and quitting from here.
LRESULT WindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      window = nullptr;
      PostQuitMessage(static_cast<int>(wParam));
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC context = BeginPaint(hwnd, &paint);
      OnPaint(context, paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_CLOSE:
      OnClose();
      DestroyWindow(hwnd);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

int WindowBase::TrueHook() { return 1; }

void WindowBase::OnClose() {}

void WindowBase::OnPaint(HDC, PAINTSTRUCT&) {}

INT_PTR WindowBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_CLOSE:
      EndDialog(hwnd, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR WindowBase::RunModal(HINSTANCE moduleInstance, LPCWSTR dialogTemplate, HWND owner) {
  parent = owner;
  instance = moduleInstance;
  objectBeingCreated = this;
  return DialogBoxParamW(moduleInstance, dialogTemplate, owner, StaticDialogProc, 0);
}

INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowBase* object = windowMap.Find(window);
  if (object == nullptr) {
    // The first message of any kind for a new dialog (WM_SETFONT comes before WM_INITDIALOG)
    // binds it to the object RunModal is starting.
    object = objectBeingCreated;
    if (object == nullptr) return FALSE;
    windowMap.Insert(window, object);
    object->window = window;
  }
  INT_PTR result = object->DialogProc(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    windowMap.Remove(window);
    object->window = nullptr;
  }
  return result;
}

}  // namespace mimoza
