// tests/app/module_directory_test.cpp: the executable's directory, from paths given directly and
// from this very program copied to awkward places and started there (see app_test_main.cpp for
// the child's side).
#include "app/module_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/app/test_support.h"

namespace mimoza {
namespace {

using namespace testing_support;

TEST(ModuleDirectoryTest, DirectoryLength) {
  const struct {
    std::wstring path;
    size_t length;
  } kCases[] = {
      {L"C:\\mimoza\\mimoza.exe", 10},
      {L"C:\\mimoza.exe", 3},
      {L"C:\\ソフト\\表.exe", 7},  // ソ and 表 end in byte 0x5C in code page 932
      {L"mimoza.exe", 0},
      {L"", 0},
      {L"\\\\server\\share\\a.exe", 15},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path.size());
    EXPECT_EQ(DirectoryLength(c.path.c_str(), c.path.size()), c.length);
  }
}

// StartedFrom: copies this program to directory\name, starts it to report its module directory
// and returns what it reported.
std::wstring StartedFrom(const std::wstring& directory, const std::wstring& name) {
  wchar_t self[kModulePathSize];
  GetModuleFileNameW(nullptr, self, kModulePathSize);
  std::wstring copy = directory + name;
  if (!CopyFileW(self, copy.c_str(), FALSE)) return L"(copy failed)";
  std::wstring report = directory + L"report.txt";
  std::wstring command = L"\"" + copy + L"\" --print-module-directory \"" + report + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return L"(start failed)";
  }
  WaitForSingleObject(process.hProcess, kWaitMilliseconds);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string bytes = ReadBytes(report);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

TEST(ModuleDirectoryTest, FileNameWhoseSecondByteIsABackslash) {
  std::wstring scratch = MakeScratchDirectory(L"module");
  std::wstring directory = scratch + L"ソフト\\";
  ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
  EXPECT_EQ(StartedFrom(directory, L"表.exe"), directory);
  RemoveTree(scratch);
}

// Over 256 bytes in code page 932, where a fixed 256-byte name buffer would cut it, yet short
// enough in UTF-16 for every platform function.
TEST(ModuleDirectoryTest, PathLongerThan256Bytes) {
  std::wstring scratch = MakeScratchDirectory(L"module");
  std::wstring directory = scratch;
  while (Cp932(directory).size() < 300) {
    directory += L"ミモザの花が咲いた黄色い季節の思い出\\";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
  }
  EXPECT_EQ(StartedFrom(directory, L"mimoza-long.exe"), directory);
  RemoveTree(scratch);
}

}  // namespace
}  // namespace mimoza
