// tests/app/store_test.cpp: the dictionary store's Windows file calls under the real system (or
// Wine): the lock file made with CREATE_NEW, a forget replaced with MoveFileEx and kept as a
// backup, and a restore of that backup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "knowledge/dictionary_store.h"
#include "tests/app/test_support.h"

namespace mimoza {
namespace {

using namespace testing_support;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t here[MAX_PATH + 1];
    GetCurrentDirectoryW(MAX_PATH + 1, here);
    old = here;
    scratch = MakeScratchDirectory(L"store");
    SetCurrentDirectoryW(scratch.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryW(old.c_str());
    RemoveTree(scratch);
  }
  std::wstring old;
  std::wstring scratch;
};

TEST_F(StoreTest, ForgetKeepsABackupAndRestorePutsItBack) {
  const std::string kDictionary =
      "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>j</KEY>\r\n<ANS>b</ANS>\r\n";
  ASSERT_TRUE(WriteBytes(scratch + L"Dictionary.txt", kDictionary));

  {  // A second holder of the lock is told who holds it.
    DictionaryLock first;
    ASSERT_EQ(first.Take().status, StoreDone);
    DictionaryLock second;
    const StoreResult busy = second.Take();
    EXPECT_EQ(busy.status, StoreBusy);
    EXPECT_EQ(busy.holder, std::to_string(GetCurrentProcessId()));
  }

  const ForgetPlan plan = PlanForgetLast();
  ASSERT_EQ(plan.problem, ForgetFine);
  const StoreResult forgotten = ApplyForget(plan, {});
  ASSERT_EQ(forgotten.status, StoreDone) << forgotten.stage << " " << forgotten.error;
  EXPECT_EQ(ReadBytes(scratch + L"Dictionary.txt"), "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n");
  EXPECT_EQ(GetFileAttributesW((scratch + L"Dictionary.txt.lock").c_str()),
            INVALID_FILE_ATTRIBUTES);

  std::vector<BackupInfo> backups;
  ASSERT_EQ(ListBackups(&backups, true).status, StoreDone);
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].entries, 2);
  const RestorePlan restore = PlanRestore("");
  ASSERT_EQ(restore.result.status, StoreDone);
  ASSERT_EQ(ApplyRestore(restore, {}).status, StoreDone);
  EXPECT_EQ(ReadBytes(scratch + L"Dictionary.txt"), kDictionary);
  ASSERT_EQ(ListBackups(&backups, false).status, StoreDone);
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_TRUE(backups[0].madeByRestore);
}

}  // namespace
}  // namespace mimoza
