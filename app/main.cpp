// app/main.cpp: process start-up: the executable's directory and a seeded generator -> the chat
// dialog, run modally until it is closed -> the exit code: 0, or 1 when the dialog cannot be made.
// Leaves this file: WinMain. Tested by scripts/test-windows (exit codes) and
// tests/app/program_test.cpp (data files next to the executable).
#include <windows.h>

#include "app/chat_dialog.h"
#include "app/module_directory.h"
#include "knowledge/knowledge.h"
#include "resources/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The data files are opened by their plain names, so they are looked for next to the
  // executable; when its directory cannot be had or set, the inherited one stays.
  if (const wchar_t* directory = mimoza::ModuleDirectory(instance)) {
    SetCurrentDirectoryW(directory);
  }
  mimoza::srand(GetTickCount());
  mimoza::ChatDialog dialog;
  // A dialog that could not be made ends the program with 1: whoever started it learns that it
  // never showed, where 0 would say the user closed it.
  return dialog.RunModal(instance, MAKEINTRESOURCEW(IDD_CHAT), nullptr) == -1 ? 1 : 0;
}
