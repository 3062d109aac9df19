// tests/app/program_test.cpp: mimoza.exe as a user meets it: copied into a directory of its own,
// started from somewhere else, driven through its window from this process, and closed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/module_directory.h"
#include "resources/resource.h"
#include "tests/app/test_support.h"

namespace mimoza {
namespace {

using namespace testing_support;

// The program under test, relative to this one in the build tree.
std::wstring BuiltProgram() {
  wchar_t self[kModulePathSize];
  DWORD n = GetModuleFileNameW(nullptr, self, kModulePathSize);
  std::wstring path(self, n);
  return path.substr(0, DirectoryLength(path.c_str(), path.size())) + MIMOZA_EXE_FROM_TESTS;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home = MakeScratchDirectory(L"program");
    elsewhere = MakeScratchDirectory(L"elsewhere");
    ASSERT_TRUE(CopyFileW(BuiltProgram().c_str(), (home + L"mimoza.exe").c_str(), FALSE))
        << "cannot copy the program from the build tree";
  }

  void TearDown() override {
    if (process.hProcess != nullptr) {
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
      }
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    RemoveTree(home);
    RemoveTree(elsewhere);
  }

  // Start: runs the copy with another directory as its current one and waits for its dialog.
  HWND Start() {
    std::wstring program = home + L"mimoza.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        elsewhere.c_str(), &startup, &process)) {
      return nullptr;
    }
    return WaitForDialog(0, process.dwProcessId, nullptr);
  }

  // ExitCode: the program's exit code once it has ended, or STILL_ACTIVE when it does not.
  DWORD ExitCode() {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, kWaitMilliseconds) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &code);
    }
    return code;
  }

  std::wstring home;       // where the program and its data files lie
  std::wstring elsewhere;  // the directory it is started from
  PROCESS_INFORMATION process = {};
};

std::wstring Turn(HWND dialog, const std::wstring& line) {
  SetText(GetDlgItem(dialog, IDC_INPUT), line);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return Text(GetDlgItem(dialog, IDC_RESPONSE));
}

TEST_F(ProgramTest, LearningDialogueEndsWithThePairNextToTheProgram) {
  HWND dialog = Start();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Text(dialog), L"ミモザ");
  EXPECT_EQ(Turn(dialog, L"ミモザの花"), L"覚えていい？");
  EXPECT_EQ(Turn(dialog, L"うん"), L"何て言えばいい？");
  EXPECT_EQ(Turn(dialog, L"黄色くてふわふわ"), L"OK 学習した");
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(ExitCode(), 0u);

  std::string dictionary = ReadBytes(home + L"Dictionary.txt");
  std::string entry = "<KEY>" + Cp932(L"ミモザの花") + "</KEY>\r\n<ANS>" +
                      Cp932(L"黄色くてふわふわ") + "</ANS>\r\n";
  EXPECT_NE(dictionary.find(entry), std::string::npos) << dictionary;
  EXPECT_FALSE(FileExists(elsewhere + L"Dictionary.txt"));
}

TEST_F(ProgramTest, AnUnfinishedDialogueIsDropped) {
  HWND dialog = Start();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Turn(dialog, L"ミモザの葉"), L"覚えていい？");
  EXPECT_EQ(Turn(dialog, L"うん"), L"何て言えばいい？");
  SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(ExitCode(), 0u);
  EXPECT_EQ(ReadBytes(home + L"Dictionary.txt").find(Cp932(L"ミモザの葉")), std::string::npos);
}

TEST_F(ProgramTest, EscDropsAPendingDialogueAndThenCloses) {
  HWND dialog = Start();
  ASSERT_NE(dialog, nullptr);
  HWND input = GetDlgItem(dialog, IDC_INPUT);
  EXPECT_EQ(Turn(dialog, L"ミモザの実"), L"覚えていい？");
  EXPECT_EQ(Turn(dialog, L"うん"), L"何て言えばいい？");
  SetText(input, L"丸い");
  PostMessageW(input, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_TRUE(
      WaitUntil([&] { return Text(GetDlgItem(dialog, IDC_RESPONSE)) != L"何て言えばいい？"; }));
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_RESPONSE)), L"（学習をやめました）");
  EXPECT_EQ(Text(input), L"丸い");  // what was typed stays
  EXPECT_EQ(ReadBytes(home + L"Dictionary.txt").find(Cp932(L"ミモザの実")), std::string::npos);
  PostMessageW(input, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_EQ(ExitCode(), 0u);
}

}  // namespace
}  // namespace mimoza
