// tests/terminal/state_file_test.cpp: the history file (and with it every file of the state
// directory) keeps to its rules whatever was done to it: mode 0600, a link planted where its new
// file goes is never followed, and a history that is a link is written through.
#include "terminal/common/state_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "terminal/common/history.h"
#include "tests/terminal/file_bytes.h"

namespace mimoza {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

class HistoryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mimoza-state-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work = pattern;
  }
  void TearDown() override { fs::remove_all(work); }

  // Load: the history at path, trimmed as a session start trims it.
  static std::vector<std::string> Load(const fs::path& path) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(LoadHistory(path.string(), &lines, &error)) << error;
    return lines;
  }

  fs::path work;
};

TEST_F(HistoryFile, ItsModeIsTheOwnersAlone) {
  const fs::path history = work / "history";
  WriteFile(history, "one\n");
  chmod(history.c_str(), 0644);
  std::string error;
  ASSERT_TRUE(AppendHistory(history.string(), "two", &error)) << error;
  EXPECT_EQ(Mode(history), 0600u);
  EXPECT_EQ(ReadFile(history), "one\ntwo\n");

  // Trimmed (a partial last line), the new file has the mode too.
  WriteFile(history, "one\ntw");
  chmod(history.c_str(), 0664);
  EXPECT_EQ(Load(history), std::vector<std::string>{"one"});
  EXPECT_EQ(ReadFile(history), "one\n");
  EXPECT_EQ(Mode(history), 0600u);
}

TEST_F(HistoryFile, APlantedLinkIsNeverFollowed) {
  const fs::path history = work / "history";
  const fs::path victim = work / "victim";
  WriteFile(victim, "precious\n");
  WriteFile(history, "one\npartial");
  fs::create_symlink(victim, work / "history.new");
  EXPECT_EQ(Load(history), std::vector<std::string>{"one"});
  EXPECT_EQ(ReadFile(victim), "precious\n");
  EXPECT_EQ(ReadFile(history), "one\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(work / "history.new")));
}

TEST_F(HistoryFile, AHistoryThatIsALinkIsWrittenThrough) {
  fs::create_directory(work / "kept");
  const fs::path real = work / "kept/lines";
  const fs::path history = work / "history";
  WriteFile(real, "one\ntwo\npartial");
  fs::create_symlink("kept/lines", history);
  EXPECT_EQ(Load(history), (std::vector<std::string>{"one", "two"}));
  std::string error;
  ASSERT_TRUE(AppendHistory(history.string(), "three", &error)) << error;
  EXPECT_TRUE(fs::is_symlink(history));
  EXPECT_EQ(ReadFile(real), "one\ntwo\nthree\n");
  EXPECT_EQ(Mode(real), 0600u);
}

}  // namespace
}  // namespace mimoza
