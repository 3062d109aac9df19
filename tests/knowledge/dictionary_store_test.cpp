// tests/knowledge/dictionary_store_test.cpp: forget on the format's odd cases (golden plans and
// the rest of the file byte for byte), then on disk: the safe replace and its refusals, backup
// names and rotation, restore twice, owner and links kept, and the seed lock between processes.
#include "knowledge/dictionary_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

// Dump: a plan as one line: each entry "key@line" ("-" after it when the key goes, "none" for
// answers without a key), the answers that go "@line:text", "left N", and the keys that pool
// them "pooled by key@line".
std::string Dump(const ForgetPlan& plan) {
  const char* const kProblems[] = {
      "fine",      "past end",       "key line",        "inside answer",
      "no answer", "no such answer", "nothing learned", "unreadable"};
  if (plan.problem != ForgetFine) {
    return std::string(kProblems[plan.problem]) + " " + std::to_string(plan.line) + " " +
           std::to_string(plan.at);
  }
  std::string dump;
  for (const ForgottenEntry& entry : plan.entries) {
    if (!dump.empty()) dump += "; ";
    dump += entry.hasKey ? entry.key.text + "@" + std::to_string(entry.key.line) : "none";
    if (entry.keyGoes) dump += "-";
    for (const PlacedText& answer : entry.answers) {
      dump += " @" + std::to_string(answer.line) + ":" + answer.text;
    }
    dump += " left " + std::to_string(entry.answersLeft);
    for (const PlacedText& key : entry.poolers) {
      dump += " pooled by " + key.text + "@" + std::to_string(key.line);
    }
  }
  return dump;
}

// Each case: a file, what to forget ("last", or lines "L" and "L:C"), the plan's dump, and the
// file it leaves.
struct ForgetCase {
  const char* stored;
  std::vector<ForgetTarget> targets;  // empty: forget last
  const char* plan;
  const char* left;  // null: as the stored file (a problem changes nothing)
};

ForgetPlan Plan(const ForgetCase& c) {
  return c.targets.empty() ? PlanForgetLastIn(c.stored) : PlanForgetIn(c.stored, c.targets);
}

TEST(Forget, PlansOnTheOddCasesOfTheFormat) {
  const std::string k2 =
      "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<ANS>b</ANS>\r\n<KEY>j</KEY>\r\n<ANS>c</ANS>\r\n";
  const ForgetCase kCases[] = {
      // Several answers: one goes with its line; the key stays while an answer is left.
      {k2.c_str(),
       {{3, 0}},
       "k@1 @3:b left 1",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>j</KEY>\r\n<ANS>c</ANS>\r\n"},
      {k2.c_str(), {{2, 0}, {3, 0}}, "k@1- @2:a @3:b left 0", "<KEY>j</KEY>\r\n<ANS>c</ANS>\r\n"},
      // The same answer named twice goes once.
      {k2.c_str(),
       {{5, 0}, {5, 1}},
       "j@4- @5:c left 0",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<ANS>b</ANS>\r\n"},
      // Two answers on one line: the line stays while something is left on it.
      {"<KEY>k</KEY>\r\n<ANS>a</ANS><ANS>b</ANS>\r\n",
       {{2, 13}},  // "<ANS>b" starts at column 13
       "k@1 @2:b left 1",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      {"<KEY>k</KEY>\r\n<ANS>a</ANS><ANS>b</ANS>\r\n",
       {{2, 1}},
       "k@1 @2:a left 1",
       "<KEY>k</KEY>\r\n<ANS>b</ANS>\r\n"},
      {"<KEY>k</KEY>\r\n<ANS>a</ANS><ANS>b</ANS>\r\n", {{2, 25}}, "no such answer 2 2", nullptr},
      // A key without answers before an entry pools its answer: the plan names it.
      {"<KEY>x</KEY>\r\n<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>j</KEY>\r\n<ANS>c</ANS>\r\n",
       {{3, 0}},
       "k@2- @3:a left 0 pooled by x@1",
       "<KEY>x</KEY>\r\n<KEY>j</KEY>\r\n<ANS>c</ANS>\r\n"},
      // The same key text on two entries: only the entry named goes, and last takes the last.
      {"<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>k</KEY>\r\n<ANS>b</ANS>\r\n",
       {{4, 0}},
       "k@3- @4:b left 0",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      {"<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>k</KEY>\r\n<ANS>b</ANS>\r\n<ANS>c</ANS>\r\n",
       {},
       "k@3- @4:b @5:c left 0",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      // Last passes over the prompts and lists seeded after the pair; a prompt can be forgotten
      // by its line.
      {"<KEY><SMES1></KEY>\r\n<ANS>p</ANS>\r\n<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"
       "<KEY><SMES3></KEY>\r\n<ANS>OK</ANS>\r\n<KEY><YES></KEY>\r\n<ANS>y</ANS>\r\n",
       {},
       "k@3- @4:a left 0",
       "<KEY><SMES1></KEY>\r\n<ANS>p</ANS>\r\n<KEY><SMES3></KEY>\r\n<ANS>OK</ANS>\r\n"
       "<KEY><YES></KEY>\r\n<ANS>y</ANS>\r\n"},
      {"<KEY><SMES1></KEY>\r\n<ANS>p</ANS>\r\n<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n",
       {{2, 0}},
       "<SMES1>@1- @2:p left 0",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      {"<KEY><SMES1></KEY>\r\n<ANS>p</ANS>\r\n", {}, "nothing learned 0 0", nullptr},
      // A key and its one answer on one line leave no empty line; other lines keep LF alone,
      // a missing last line end, and stray text.
      {"<KEY>k</KEY><ANS>a</ANS>\r\n<KEY>j</KEY><ANS>b</ANS>",
       {{2, 0}},
       "j@2- @2:b left 0",
       "<KEY>k</KEY><ANS>a</ANS>\r\n"},
      {"<KEY>k</KEY>\n<ANS>a</ANS>\nnote\n<ANS>b</ANS>\n",
       {{2, 0}},
       "k@1 @2:a left 1",
       "<KEY>k</KEY>\nnote\n<ANS>b</ANS>\n"},
      // An answer opened inside another goes with it; answers before any key have no entry.
      {"<KEY>k</KEY>\r\n<ANS>x<ANS>y</ANS>\r\n", {{2, 1}}, "k@1- @2:x<ANS>y left 0", ""},
      {"<ANS>z</ANS>\r\n<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n",
       {{1, 0}},
       "none @1:z left 0",
       "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      // A dropped 0x1A before the answer: places and bytes are the stored ones.
      {"\x1A<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<ANS>b</ANS>\r\n",
       {{3, 0}},
       "k@1 @3:b left 1",
       "\x1A<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n"},
      // Lines that hold no answer.
      {k2.c_str(), {{6, 0}}, "past end 6 5", nullptr},
      {k2.c_str(), {{0, 0}}, "past end 0 5", nullptr},
      {k2.c_str(), {{1, 0}}, "key line 1 1", nullptr},
      {"<KEY>long\r\nkey</KEY>\r\n<ANS>a</ANS>\r\n", {{2, 0}}, "key line 2 1", nullptr},
      {"<KEY>k</KEY>\r\n<ANS>a\r\nb</ANS>\r\n", {{3, 0}}, "inside answer 3 2", nullptr},
      {"<KEY>k</KEY>\r\n\r\n<ANS>a</ANS>\r\n", {{2, 0}}, "no answer 2 0", nullptr},
      {"", {}, "nothing learned 0 0", nullptr},
  };
  for (const ForgetCase& c : kCases) {
    SCOPED_TRACE(c.stored);
    const ForgetPlan plan = Plan(c);
    EXPECT_EQ(Dump(plan), c.plan);
    if (c.left != nullptr) {
      EXPECT_EQ(plan.content, c.left) << "byte for byte";
    }
  }
}

// ---- On disk
// -------------------------------------------------------------------------------------

class Store : public testing::InTempDir {
 protected:
  static std::vector<std::string> Backups() {
    std::vector<BackupInfo> backups;
    EXPECT_EQ(ListBackups(&backups, true).status, StoreDone);
    std::vector<std::string> names;
    names.reserve(backups.size());
    for (const BackupInfo& backup : backups) names.push_back(backup.name);
    return names;
  }
  // Replace: the dictionary replaced by content as read now.
  static StoreResult Replace(const std::string& content, ReplaceOptions options = {}) {
    DictionaryLock lock;
    EXPECT_EQ(lock.Take().status, StoreDone);
    return ReplaceDictionary(lock, ReadCurrentDictionary().snapshot, content, options);
  }
};

const char kTwo[] = "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>j</KEY>\r\n<ANS>b</ANS>\r\n";

TEST_F(Store, ForgetReplacesTheFileAndKeepsABackup) {
  WriteBytes("Dictionary.txt", kTwo);
  const ForgetTarget target{4, 0};
  const ForgetPlan plan = PlanForget({&target, 1});
  ASSERT_EQ(plan.problem, ForgetFine);
  // Meanwhile a running Mimoza learns a pair: it is carried over.
  ASSERT_TRUE(AppendEntry("n", "m"));
  const StoreResult result = ApplyForget(plan, {});
  ASSERT_EQ(result.status, StoreDone);
  EXPECT_EQ(ReadBytes("Dictionary.txt"),
            "<KEY>k</KEY>\r\n<ANS>a</ANS>\r\n<KEY>n</KEY>\r\n<ANS>m</ANS>\r\n");
  EXPECT_EQ(result.carried, 28u);
  ASSERT_TRUE(IsBackupName(fs::path(result.backup).filename().string())) << result.backup;
  EXPECT_EQ(ReadBytes(result.backup.c_str()),
            std::string(kTwo) + "<KEY>n</KEY>\r\n<ANS>m</ANS>\r\n");
  EXPECT_EQ(fs::status("backups").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_FALSE(fs::exists("Dictionary.txt.lock"));
}

// A file changed other than by appends and a held lock each leave the dictionary as it was, and
// no backup behind (a full disk and a backups folder that cannot be made are tried through the
// commands, tests/terminal/store_commands_test.cpp).
TEST_F(Store, RefusalsLeaveTheDictionaryAsItWas) {
  WriteBytes("Dictionary.txt", kTwo);
  const ForgetTarget target{2, 0};
  const ForgetPlan plan = PlanForget({&target, 1});
  WriteBytes("Dictionary.txt", "<KEY>k</KEY>\r\n<ANS>A</ANS>\r\n");
  EXPECT_EQ(ApplyForget(plan, {}).status, StoreChanged);
  EXPECT_EQ(ReadBytes("Dictionary.txt"), "<KEY>k</KEY>\r\n<ANS>A</ANS>\r\n");

  WriteBytes("Dictionary.txt", kTwo);
  {
    DictionaryLock edit;
    ASSERT_EQ(edit.Take().status, StoreDone);
    const StoreResult busy = ApplyForget(PlanForget({&target, 1}), {});
    EXPECT_EQ(busy.status, StoreBusy);
    EXPECT_EQ(busy.holder, std::to_string(getpid()));
  }

  EXPECT_EQ(ReadBytes("Dictionary.txt"), kTwo);
  EXPECT_TRUE(Backups().empty());
  for (const auto& entry : fs::directory_iterator(".")) {
    EXPECT_EQ(entry.path().filename().string().find(".Dictionary.txt.new"), std::string::npos);
  }
}

TEST_F(Store, BackupNamesAreUniqueSortByTimeAndTheLastTenStay) {
  const struct {
    const char* name;
    bool ours;
  } kNames[] = {
      {"Dictionary-20240131-235959-000.txt", true},
      {"Dictionary-20240131-235959-012-restore.txt", true},
      {"Dictionary-20240131-235959-12.txt", false},
      {"Dictionary-20240131-2359590-000.txt", false},
      {"Dictionary-20240131-235959-000.txt.bak", false},
      {"Dictionary-20240131-235959-000-other.txt", false},
      {"../Dictionary-20240131-235959-000.txt", false},
      {"backups/Dictionary-20240131-235959-000.txt", false},
      {"Dictionary.txt", false},
      {"", false},
  };
  for (const auto& c : kNames) EXPECT_EQ(IsBackupName(c.name), c.ours) << c.name;

  // Eleven replacements, most within one second: each backup has a name of its own, and the
  // eleventh replaces the oldest.
  WriteBytes("Dictionary.txt", "0");
  std::vector<std::string> made;
  for (int i = 1; i <= 11; ++i) {
    const StoreResult result = Replace(std::to_string(i));
    ASSERT_EQ(result.status, StoreDone);
    made.push_back(fs::path(result.backup).filename().string());
  }
  std::vector<std::string> newestFirst(made.rbegin(), made.rend() - 1);
  EXPECT_EQ(Backups(), newestFirst);
  std::vector<BackupInfo> listed;
  ASSERT_EQ(ListBackups(&listed, true).status, StoreDone);
  EXPECT_EQ(ReadBytes(("backups/" + made[3]).c_str()), "3");
  EXPECT_EQ(listed.back().entries, 0);
}

TEST_F(Store, RestoreTwiceDoesNotUndoTheFirst) {
  WriteBytes("Dictionary.txt", kTwo);
  const ForgetTarget target{4, 0};
  ASSERT_EQ(ApplyForget(PlanForget({&target, 1}), {}).status, StoreDone);
  ASSERT_TRUE(AppendEntry("n", "m"));
  const std::string afterForget = ReadBytes("Dictionary.txt");

  RestorePlan plan = PlanRestore("");
  ASSERT_EQ(plan.result.status, StoreDone);
  EXPECT_FALSE(plan.same);
  ASSERT_EQ(plan.lost.size(), 1u);  // learned after the backup: not carried over
  EXPECT_EQ(plan.lost[0].first.text + "/" + plan.lost[0].second.text + "@" +
                std::to_string(plan.lost[0].second.line),
            "n/m@4");
  const StoreResult restored = ApplyRestore(plan, {});
  ASSERT_EQ(restored.status, StoreDone);
  EXPECT_EQ(ReadBytes("Dictionary.txt"), kTwo);
  EXPECT_NE(restored.backup.find("-restore.txt"), std::string::npos);
  EXPECT_EQ(ReadBytes(restored.backup.c_str()), afterForget) << "the restore's own backup";

  // The second takes the same backup, not the one the first restore made.
  const RestorePlan again = PlanRestore("");
  EXPECT_EQ(again.name, plan.name);
  EXPECT_TRUE(again.same);
  std::vector<BackupInfo> backups;
  ASSERT_EQ(ListBackups(&backups, false).status, StoreDone);
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_TRUE(backups[0].madeByRestore);
  EXPECT_FALSE(backups[1].madeByRestore);

  // Names that are not ours, and ours that are not there.
  EXPECT_TRUE(PlanRestore("../Dictionary.txt").notOurs);
  EXPECT_TRUE(PlanRestore("/etc/passwd").notOurs);
  const RestorePlan missing = PlanRestore("Dictionary-20000101-000000-000.txt");
  EXPECT_EQ(missing.result.status, StoreFailed);
  EXPECT_EQ(missing.result.error, ENOENT);
  EXPECT_FALSE(missing.notOurs);
}

// A link stays a link and the file it names is replaced; mode, owner and group are kept (the
// owner only where this process may give it: as root).
TEST_F(Store, LinksModeAndOwnerAreKept) {
  fs::create_directory("real");
  WriteBytes("real/words.txt", kTwo);
  chmod("real/words.txt", 0640);
  fs::create_symlink("real/words.txt", "Dictionary.txt");
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown("real/words.txt", 65534, 65534), 0);
  }
  ASSERT_EQ(Replace("<KEY>x</KEY>\r\n").status, StoreDone);
  EXPECT_TRUE(fs::is_symlink("Dictionary.txt"));
  EXPECT_EQ(ReadBytes("real/words.txt"), "<KEY>x</KEY>\r\n");
  struct stat st {};
  ASSERT_EQ(stat("real/words.txt", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  EXPECT_EQ(fs::directory_iterator("real")->path().filename(), "words.txt") << "nothing else";
}

// Sessions starting together on a new folder seed the title once.
TEST_F(Store, SessionsStartingTogetherSeedOnce) {
  int barrier[2];
  ASSERT_EQ(pipe(barrier), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 6; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      close(barrier[1]);
      char go = 0;
      static_cast<void>(read(barrier[0], &go, 1));  // all start at once
      Dictionary dictionary;
      char title[kLineBufferBytes + 1] = {};
      dictionary.LookupOrSeed(kTitleKey.key, kTitleKey.defaultText, ExactKey, title, kMaxLineBytes);
      _exit(title[0] != '\0' ? 0 : 1);
    }
    children.push_back(child);
  }
  close(barrier[0]);
  close(barrier[1]);  // the end of the pipe lets every child go
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(CountEntries(ReadBytes("Dictionary.txt")), 1u) << ReadBytes("Dictionary.txt");
}

}  // namespace
}  // namespace mimoza
