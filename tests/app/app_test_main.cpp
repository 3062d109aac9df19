// tests/app/app_test_main.cpp: the entry point of app_test.exe. Besides running the tests it
// has one child mode, used by module_directory_test.cpp: "--print-module-directory FILE" writes
// ModuleDirectory of the program's own file to FILE as UTF-16 and exits.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <shellapi.h>  // needs windows.h first
// clang-format on

#include <cwchar>

#include "app/module_directory.h"
#include "tests/app/test_support.h"

int main(int argc, char** argv) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments != nullptr && count == 3 &&
      std::wcscmp(arguments[1], L"--print-module-directory") == 0) {
    const wchar_t* directory = mimoza::ModuleDirectory(GetModuleHandleW(nullptr));
    std::wstring text = directory != nullptr ? directory : L"(none)";
    bool written = mimoza::testing_support::WriteBytes(
        arguments[2], std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size()));
    return written ? 0 : 1;
  }
  LocalFree(arguments);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
